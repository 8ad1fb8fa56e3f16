// A small assembler from text to byte code, for tests, benchmarks and hand-made units. Its
// syntax is the disassembler's, one instruction per line:
//
//   ; comment (also # at the start of a line)
//   label:                        a label at the current offset (may share a line)
//   .word 0x12345678              a raw word
//   .pos 17                       following instructions map to source position 17 (debug
//                                 pairs are made for each instruction after a .pos)
//   push.d 1.5 | push.f 0.1 | push.i 100000 | push.l 5000000000 | push.b true
//   push.s "text"                 \n \t \" \\ escapes; the text goes into the unit's pool
//   push.e -2                     the short push (field holds the value)
//   push.v self.x                 a variable reference: [scope.]name[[]]
//   pop.v.i global.score          scope: self other all noone global local, a number (an
//   pop.i.v local.a[]             object index; 100000 and more an instance id), stack (popped
//                                 from the stack), stack+100000 (popped, an instance id written
//                                 as an offset); no scope: a plain name (-6); a trailing []
//                                 takes the array index from the stack
//   pop.e.v 4 0                   the stack shuffle: N and D in 4-byte words
//   dup.i 1                       the count field (default 0)
//   call.i name 2                 a built-in, script or extension name, or a number; argc
//   b label | bt label | bf label | pushenv label | popenv label | popenv leave
//   break 65535                   the field (default 0)
//   add.i.v, conv.v.b, ret.v, exit.i, popz.v, ...
//
// Names resolve through the variable-name table (Code_Variable_Find) and Code_Function_Find,
// so built-in rows and scripts must be registered first.
#pragma once

#include <string>

class VMBuffer;

// Assembles text. On success code (and debug, when asked for and .pos was used) receive new
// buffers owned by the caller; on failure both are null and error holds "line N: reason".
bool VM_Assemble(const char* text, VMBuffer** code, VMBuffer** debug, std::string* error);
// Convenience: the code buffer, or null (the error goes to the log console).
VMBuffer* VM_Assemble(const char* text);
