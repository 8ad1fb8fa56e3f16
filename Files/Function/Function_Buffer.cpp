// The 24 buffer built-in functions ("Buffers.."): scripts' access to the binary buffers of
// Files/Buffer/IBuffer.h by their index in the buffer table.
//
// Common rules, in order: the result is preset; a wrong argument count reports "Illegal
// argument count"; an argument of the wrong kind "Illegal argument type" (numbers are reals,
// names and texts strings; buffer_write's value may be either); numbers are truncated toward
// zero; a buffer index naming no buffer reports "Illegal Buffer Index". Every report is a
// non-fatal run-time error, after which the function returns its preset result.
//
// Needs the buffer table, the built-in table, the error reporter. No Linux/ file.
#include "Files/Function/Function_Buffer.h"

#include "Files/Base/QuitRequest.h"
#include "Files/Base/RealConvert.h"
#include "Files/Base/Value.h"
#include "Files/Buffer/IBuffer.h"
#include "Files/Code/Code_Builtin.h"
#include "Files/Code/Code_Error.h"
#include "Files/Function/Function_Registrars.h"
#include "Files/Object/Instance.h"

namespace {

using namespace zbargs;

// Argument kinds: R a real, S a string, A anything.
bool Check(int32_t argc, const ScriptValue* args, const char* kinds, const char* prefix = nullptr)
{
    int32_t want = 0;
    while (kinds[want]) ++want;
    if (argc != want) {
        Code_Error_Report(prefix ? "buffer_create: Illegal argument count" : "Illegal argument count", false);
        return false;
    }
    for (int32_t i = 0; i < want; ++i) {
        const bool isString = args[i].kind == VALUE_STRING;
        if ((kinds[i] == 'R' && isString) || (kinds[i] == 'S' && !isString)) {
            Code_Error_Report(prefix ? "buffer_create: Illegal argument type" : "Illegal argument type", false);
            return false;
        }
    }
    return true;
}

IBuffer* BufferArg(const ScriptValue* args, int32_t i)
{
    IBuffer* b = Buffer_Get(ArgTrunc(args, i));
    if (!b) Code_Error_Report("Illegal Buffer Index", false);
    return b;
}

ZB_BUILTIN(F_BufferCreate)
{
    SetReal(result, -1);
    if (!Check(argc, args, "RRR", "buffer_create")) return;
    const int32_t size = ArgTrunc(args, 0), type = ArgTrunc(args, 1), alignment = ArgTrunc(args, 2);
    if (size < 1 || size > kBufferMaxSize) {
        Code_Error_Report("buffer_create: Illegal size", false);
        return;
    }
    if (alignment < 1 || alignment > kBufferMaxAlignment) {
        Code_Error_Report("buffer_create: Illegal alignment size", false);
        return;
    }
    SetReal(result, Buffer_Create(size, type, alignment));
}

ZB_BUILTIN(F_BufferDelete)
{
    SetReal(result, 0);
    if (!Check(argc, args, "R")) return;
    Buffer_Free(ArgTrunc(args, 0)); // an index naming no buffer is ignored
}

ZB_BUILTIN(F_BufferWrite)
{
    SetReal(result, -1);
    if (!Check(argc, args, "RRA")) return;
    if (IBuffer* b = BufferArg(args, 0)) SetReal(result, b->Write(ArgTrunc(args, 1), &args[2]));
}

ZB_BUILTIN(F_BufferRead)
{
    SetReal(result, 0);
    if (!Check(argc, args, "RR")) return;
    if (IBuffer* b = BufferArg(args, 0)) b->Read(ArgTrunc(args, 1), result);
}

ZB_BUILTIN(F_BufferPeek)
{
    SetReal(result, 0);
    if (!Check(argc, args, "RRR")) return;
    if (IBuffer* b = BufferArg(args, 0)) b->Peek(ArgTrunc(args, 1), ArgTrunc(args, 2), result);
}

ZB_BUILTIN(F_BufferPoke)
{
    SetReal(result, 0);
    if (!Check(argc, args, "RRRR")) return;
    if (IBuffer* b = BufferArg(args, 0)) b->Poke(ArgTrunc(args, 1), ArgTrunc(args, 2), &args[3]);
}

ZB_BUILTIN(F_BufferSeek)
{
    SetReal(result, -1);
    if (!Check(argc, args, "RRR")) return;
    if (IBuffer* b = BufferArg(args, 0)) SetReal(result, b->Seek(ArgTrunc(args, 1), ArgTrunc(args, 2)));
}

ZB_BUILTIN(F_BufferSave)
{
    SetReal(result, 0);
    if (!Check(argc, args, "RS")) return;
    if (IBuffer* b = BufferArg(args, 0)) b->Save(ArgText(args, 1), 0, -1);
}

ZB_BUILTIN(F_BufferSaveExt)
{
    SetReal(result, 0);
    if (!Check(argc, args, "RSRR")) return;
    if (IBuffer* b = BufferArg(args, 0)) b->Save(ArgText(args, 1), ArgTrunc(args, 2), ArgTrunc(args, 3));
}

ZB_BUILTIN(F_BufferLoad)
{
    SetReal(result, -1);
    if (!Check(argc, args, "S")) return;
    IBuffer* b = new Buffer_Standard();
    if (!b->Load(ArgText(args, 0), 0, -1, 0)) {
        delete b;
        Code_Error_Report("Cannot load buffer file", false);
        return;
    }
    SetReal(result, Buffer_Add(b));
}

ZB_BUILTIN(F_BufferLoadExt)
{
    SetReal(result, 0);
    if (!Check(argc, args, "RSR")) return;
    if (IBuffer* b = BufferArg(args, 0)) b->Load(ArgText(args, 1), 0, -1, ArgTrunc(args, 2));
}

ZB_BUILTIN(F_BufferCopy)
{
    SetReal(result, 0);
    if (!Check(argc, args, "RRRRR")) return;
    const int32_t from = ArgTrunc(args, 0), to = ArgTrunc(args, 3);
    IBuffer* s = Buffer_Get(from);
    IBuffer* d = Buffer_Get(to);
    if (!s || !d) {
        Code_Error_Report("Illegal Source Buffer Index", false);
        return;
    }
    if (from == to) {
        Code_Error_Report("Source and Destination buffers can't be the same", false);
        return;
    }
    s->Copy(ArgTrunc(args, 1), ArgTrunc(args, 2), d, ArgTrunc(args, 4));
}

ZB_BUILTIN(F_BufferFill)
{
    SetReal(result, 0);
    if (!Check(argc, args, "RRRRR")) return;
    if (IBuffer* b = BufferArg(args, 0))
        b->Fill(ArgTrunc(args, 1), ArgTrunc(args, 4), ArgTrunc(args, 2), &args[3], -1, true);
}

ZB_BUILTIN(F_BufferGetSize)
{
    SetReal(result, -1);
    if (!Check(argc, args, "R")) return;
    if (IBuffer* b = BufferArg(args, 0)) SetReal(result, b->Size());
}

ZB_BUILTIN(F_BufferTell)
{
    SetReal(result, -1);
    if (!Check(argc, args, "R")) return;
    if (IBuffer* b = BufferArg(args, 0)) SetReal(result, b->Tell());
}

ZB_BUILTIN(F_BufferResize)
{
    SetReal(result, 0);
    if (!Check(argc, args, "RR")) return;
    if (IBuffer* b = BufferArg(args, 0)) b->Resize(ArgTrunc(args, 1));
}

ZB_BUILTIN(F_BufferMD5)
{
    Value_SetStringOwned(result, nullptr);
    if (!Check(argc, args, "RRR")) return;
    if (IBuffer* b = BufferArg(args, 0)) b->MD5(result, ArgTrunc(args, 1), ArgTrunc(args, 2));
}

ZB_BUILTIN(F_BufferSHA1)
{
    Value_SetStringOwned(result, nullptr);
    if (!Check(argc, args, "RRR")) return;
    if (IBuffer* b = BufferArg(args, 0)) b->SHA1(result, ArgTrunc(args, 1), ArgTrunc(args, 2));
}

ZB_BUILTIN(F_BufferBase64Encode)
{
    SetReal(result, -1);
    if (!Check(argc, args, "RRR")) return;
    if (IBuffer* b = BufferArg(args, 0)) b->Base64Encode(result, ArgTrunc(args, 1), ArgTrunc(args, 2));
}

ZB_BUILTIN(F_BufferBase64Decode)
{
    SetReal(result, -1);
    if (!Check(argc, args, "S")) return;
    IBuffer* b = new Buffer_Standard();
    if (!b->Base64Decode(ArgText(args, 0), 0, -1)) {
        delete b;
        if (!QuitRequest_Pending()) Code_Error_Report("Cannot load buffer file", false); // not when a quit stopped it
        return;
    }
    SetReal(result, Buffer_Add(b));
}

ZB_BUILTIN(F_BufferBase64DecodeExt)
{
    SetReal(result, 0);
    if (!Check(argc, args, "RSR")) return;
    if (IBuffer* b = BufferArg(args, 0)) b->Base64Decode(ArgText(args, 1), ArgTrunc(args, 2), -1);
}

ZB_BUILTIN(F_BufferSizeOf)
{
    SetReal(result, -1);
    if (!Check(argc, args, "R")) return;
    SetReal(result, Buffer_SizeOfType(ArgTrunc(args, 0)));
}

ZB_BUILTIN(F_BufferGetSurface)
{
    SetReal(result, -1);
    Code_Error_Report("Error in buffer_get_surface(): Not yet implemented.", false);
}

ZB_BUILTIN(F_BufferSetSurface)
{
    SetReal(result, -1);
    Code_Error_Report("Error in buffer_set_surface(): Not yet implemented.", false);
}

} // namespace

void Function_Buffer_Init()
{
    Function_Add("buffer_create", F_BufferCreate, 3);
    Function_Add("buffer_delete", F_BufferDelete, 1);
    Function_Add("buffer_write", F_BufferWrite, 3);
    Function_Add("buffer_read", F_BufferRead, 2);
    Function_Add("buffer_peek", F_BufferPeek, 3);
    Function_Add("buffer_poke", F_BufferPoke, 4);
    Function_Add("buffer_seek", F_BufferSeek, 3);
    Function_Add("buffer_save", F_BufferSave, 2);
    Function_Add("buffer_save_ext", F_BufferSaveExt, 4);
    Function_Add("buffer_load", F_BufferLoad, 1);
    Function_Add("buffer_load_ext", F_BufferLoadExt, 3);
    Function_Add("buffer_copy", F_BufferCopy, 5);
    Function_Add("buffer_fill", F_BufferFill, 5);
    Function_Add("buffer_get_size", F_BufferGetSize, 1);
    Function_Add("buffer_tell", F_BufferTell, 1);
    Function_Add("buffer_resize", F_BufferResize, 2);
    Function_Add("buffer_md5", F_BufferMD5, 3);
    Function_Add("buffer_sha1", F_BufferSHA1, 3);
    Function_Add("buffer_base64_encode", F_BufferBase64Encode, 3);
    Function_Add("buffer_base64_decode", F_BufferBase64Decode, 1);
    Function_Add("buffer_base64_decode_ext", F_BufferBase64DecodeExt, 3);
    Function_Add("buffer_sizeof", F_BufferSizeOf, 1);
    Function_Add("buffer_get_surface", F_BufferGetSurface, 5);
    Function_Add("buffer_set_surface", F_BufferSetSurface, 5);
}

void InitFunctions_Buffers() { Function_Buffer_Init(); }
