// PNG reading and writing: one decoder that turns a PNG file held in memory into 32-bit
// pixels (bytes B, G, R, A: 0xAARRGGBB words, rows top first), and write_png_file, which
// writes pixels given as bytes R, G, B, A into a PNG file in the save area.
//
// Backed by Linux/Graphics_PNGM.cpp (libpng).
#pragma once

#include <cstdint>
#include <cstddef>
#include <string>

// The largest image the decoder reads: at most GR_PNG_MAX_SIDE pixels a side and
// GR_PNG_MAX_BYTES bytes of decoded pixels (4 a pixel). Texture pages of the game file are
// decoded here too, so no page may pass these.
constexpr uint32_t GR_PNG_MAX_SIDE = 16384;
constexpr uint64_t GR_PNG_MAX_BYTES = 256ull * 1024 * 1024;

// Decodes into a new memory-manager block of w * h words (the caller frees it); null on
// failure, with w and h set to -1. Every colour type and bit depth gives 4 bytes a pixel.
uint32_t* GR_PNG_DecodeToBlock(const void* data, uint32_t size, int32_t* w, int32_t* h);

// The decode record: while a decoded image exists, a further call returns it again; every
// successful decode is followed by GR_PNG_Free before the next one.
void* GR_PNG_Decode(const void* data, uint32_t size, int32_t* w, int32_t* h);
void GR_PNG_Free();

// Writes pixels (bytes R, G, B, A, width * 4 bytes a row) to the file; true when written.
// The file is written beside its name and renamed into place when whole, so a write that
// fails leaves the earlier picture as it was; the failure is said once on stderr.
bool write_png_file(const char* name, const void* pixels, int32_t width, int32_t height);

// Says that the picture meant for the file name was not written, and why, for a writer that
// had no picture to give write_png_file: the same "runner: cannot write PATH: WHY" line on
// stderr as a write that failed (once a path), PATH mapped as write_png_file maps it.
void GR_PNG_SayNotWritten(const char* name, const char* why);

// How write_png_file turns a file name into a full path ("" refuses it): LoadSave_SavePathOf
// (the save area, or an allowed file) unless another mapper is installed (tests).
using GR_SavePathMapper = std::string (*)(const char* name);
void GR_PNG_SetSavePathMapper(GR_SavePathMapper mapper);
