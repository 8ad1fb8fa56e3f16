// A reader of typed buffer entries with a sticky failure: once a read fails (nothing left, a
// string without its end) every later read is skipped and answers 0 or leaves its field, and
// ok stays false. The saved-game readers read a whole record this way and test ok once.
//
// Needs the buffer entries (IBuffer.h), the conversions and the memory manager. No Linux/ file.
#pragma once

#include <cstdint>

#include "Files/Base/RealConvert.h"
#include "Files/Buffer/IBuffer.h"
#include "Platform/MemoryManager.h"

struct BufferReader {
    IBuffer* buffer;
    bool ok = true;

    double Number(int32_t type)
    {
        double d = 0;
        if (ok && !Buffer_ReadNumber(buffer, type, &d)) ok = false;
        return d;
    }
    // s32, truncated toward zero.
    int32_t Int() { return Real_TruncToInt32(Number(eBuffer_S32)); }
    // s32 flag: anything but 0 (NaN included) is 1.
    uint8_t Flag() { return Number(eBuffer_S32) != 0 ? 1 : 0; }
    float Float() { return float(Number(eBuffer_F32)); }
    uint32_t U32()
    {
        const double d = Number(eBuffer_U32);
        return d >= 0 && d < 4294967296.0 ? uint32_t(d) : 0;
    }
    // A count of records that follow: 0 or more.
    int32_t Count()
    {
        const double d = Number(eBuffer_S32);
        if (!ok || !(d >= 0 && d <= 2147483647.0)) {
            ok = false;
            return 0;
        }
        return int32_t(d);
    }
    // A string entry into *field (its old text freed; the null marker reads as null).
    void Text(char** field)
    {
        if (!ok) return;
        bool good = true;
        char* t = Buffer_ReadString(buffer, &good);
        if (!good) {
            ok = false;
            MEM_FREE(t);
            return;
        }
        MEM_FREE(*field);
        *field = t;
    }
};
