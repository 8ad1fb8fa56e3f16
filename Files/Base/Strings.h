// Small text services used everywhere: building a string from up to ten pieces, 8-bit <->
// UTF-16 copies for the window layer, and the trim that `real` applies before converting
// text. Every block handed out comes from the memory manager and belongs to the caller.
// Backed by Files/Base/Strings.cpp; no host library.
#pragma once

#include <cstdint>

// Builds the concatenation of the non-empty sources into the block of dest (resized; its
// old text is replaced, not appended to) and returns it; the caller stores the result back
// into its variable. Sources may be dest itself or lie inside dest's block: they are read
// before dest is released. When every source is null or empty the result is null and dest
// is left as it is (still owned by the caller).
char* String_Concat(char* dest, const char* s1 = nullptr, const char* s2 = nullptr,
                    const char* s3 = nullptr, const char* s4 = nullptr, const char* s5 = nullptr,
                    const char* s6 = nullptr, const char* s7 = nullptr, const char* s8 = nullptr,
                    const char* s9 = nullptr, const char* s10 = nullptr);

// A new UTF-16 copy, one code unit per byte (bytes read as Latin-1, 0x00-0xFF), terminated.
// Null gives null.
char16_t* String_ToWide(const char* text);
// A new 8-bit copy holding the low byte of each code unit, terminated. Null gives null.
char* String_FromWide(const char16_t* text);

// Sets *var to a copy of source with every byte below 33 (read as a signed byte: control
// characters, the space and every byte from 0x80 up) cut from both ends; a blank or empty
// source gives an empty string. The block in *var is reused when it is large enough, else
// replaced. A null source frees *var and sets it to null.
void VCL_Trim(char** var, const char* source);
