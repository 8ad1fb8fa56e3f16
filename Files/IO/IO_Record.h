// Input record and playback files ("-record FILE", "-playback FILE"): one fixed record of
// 2,939 bytes per step, no header, little-endian, fields in this order:
//   keyboard_lastchar u16 | keyboard_string 1025 x u16 | keyboard_lastkey i32 | keyboard_key i32
//   | key down [256] | key released [256] | key pressed [256] | mouse_lastbutton [5] i32
//   | mouse_button [5] i32 | mouse down [15] | mouse released [15] | mouse pressed [15]
//   | wheel up [5] | wheel down [5] | screen cursor x, y i32 | mouse x i32 | mouse y i32
// The record is the step layer after the update; playing it back restores those fields.
//
// Needs the step layer (IO_Input.h) and the C library's files (no Linux/ file).
#pragma once

#include <cstdint>

struct IO_StepLayer;

constexpr int32_t IO_RECORD_SIZE = 2939;

// Writes the recorded fields of step into out, field by field.
void IO_Record_Encode(const IO_StepLayer& step, uint8_t* out);
// Restores the recorded fields of step from a record. The typed text always ends at unit
// 1024, whatever the record holds; the other fields are taken as they are (the readers check
// their ranges).
void IO_Record_Decode(const uint8_t* in, IO_StepLayer& step);

// Opens the file of a run: for playback to read ("rb"), else to write ("w+b"); a file already
// open is closed first. False (and neither mode on) when it cannot be opened, or is not a
// plain file; errno then says why.
bool IO_Record_Open(const char* name, bool playback);
void IO_Record_Close();
bool IO_Record_Recording();
bool IO_Record_PlayingBack();
// Appends one record and flushes it (recording only).
void IO_Record_WriteStep(const IO_StepLayer& step);
// Reads the next whole record into step; false at the end of the file (a record cut short at
// the end counts as the end), and step is then left alone.
bool IO_Record_ReadStep(IO_StepLayer& step);
