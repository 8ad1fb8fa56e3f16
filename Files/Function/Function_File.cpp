// The file built-ins of the "File.." group: binary files and text files by handle (two tables
// of 31 usable slots each), the older single-file functions (slot 0 of the text table), file
// and folder operations, the find list, file names taken apart, programs and shell opens,
// the command line and the environment.
//
// Paths: every name goes through Files/Support/LoadSave.h. Reading takes the save area when the
// name opens there, else the program folder; writing always takes the save area (a file
// that exists only in the program folder is copied there before it is opened for reading
// and writing). Files read are held whole in memory (LoadSaveFile); files written are C
// streams opened through Function_FileHost.h (Linux/Function_FileM.cpp), which opens plain
// files only. Text written by the text functions has its line feeds written as CR LF, and
// the older file reads CR LF as one line feed, as the text streams of the Windows runner did,
// so files move between the two unchanged. A write, flush or close of such a stream that
// fails is said once for the file on stderr (File_SayWriteFailed); the built-ins whose result
// is 0 by the design keep it. file_copy writes its copy beside the destination and renames it
// into place when whole.
//
// Needs: the file layer (File.h, LoadSave.h), the error reporter, the debug console, the
// program starter (Timing.h). Errors are reported non-fatally; a refused call returns 0 or
// the empty text.
//
// Index: [SECTION] Helpers, Binary files, Text files, Older file, Files and folders,
//        Find list, Names, Programs and environment, Registration
#include "Files/Function/Function_File.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "Files/Base/Console.h"
#include "Files/Base/RealConvert.h"
#include "Files/Base/Value.h"
#include "Files/Code/Code_Builtin.h"
#include "Files/Code/Code_Error.h"
#include "Files/Function/Function_FileHost.h"
#include "Files/Support/File.h"
#include "Files/Support/LoadSave.h"
#include "Files/Support/Timing.h"
#include "Platform/MemoryManager.h"

namespace {

using namespace zbargs;

// [SECTION] Helpers

constexpr int32_t kSlots = 32; // slot 0 of each table is not a handle

void Report(const char* message) { Code_Error_Report(message, false); }

std::string Resolved(const std::string& path) { return path.empty() ? path : File_Resolve(path.c_str()); }

// A whole file at a mapped path as an in-memory file; null when it does not open. With text
// set a leading UTF-8 byte-order mark is skipped.
LoadSaveFile* MemoryFileAt(const std::string& path, bool text)
{
    if (path.empty()) return nullptr;
    int32_t size = 0;
    uint8_t* data = File_ReadAll(Resolved(path).c_str(), &size);
    if (!data) return nullptr;
    auto* file = static_cast<LoadSaveFile*>(MEM_ALLOC_CLEAR(sizeof(LoadSaveFile)));
    file->data = data;
    file->size = size;
    if (text && size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) file->position = 3;
    return file;
}

// An in-memory file over a copy of bytes.
LoadSaveFile* MemoryFileOf(const char* bytes, size_t length)
{
    auto* file = static_cast<LoadSaveFile*>(MEM_ALLOC_CLEAR(sizeof(LoadSaveFile)));
    file->data = static_cast<uint8_t*>(MEM_ALLOC(length + 1));
    if (length) std::memcpy(file->data, bytes, length);
    file->data[length] = 0;
    file->size = int32_t(length);
    return file;
}

// Opens a save-area path for writing after making its folders; a failure (but a refused
// name's) is said once on stderr.
FILE* OpenForWriting(const std::string& path, const char* mode)
{
    if (path.empty()) return nullptr;
    const std::string host = Resolved(path);
    if (!LoadSave_MakeFoldersFor(host)) return nullptr;
    FILE* stream = FileHost_Open(host.c_str(), mode);
    if (!stream) File_SayWriteFailed(host.c_str(), errno);
    return stream;
}

// A write, flush or close of a stream that failed: said once for the file (errno holds why).
void SayStreamFailed(const std::string& path) { File_SayWriteFailed(Resolved(path).c_str(), errno); }

// Closes a stream written to; a close that fails (the last bytes not written) is said.
void CloseWritten(FILE* stream, const std::string& path)
{
    if (stream && std::fclose(stream) != 0) SayStreamFailed(path);
}

// Writes text as a text stream does: each line feed as CR LF. False when a write failed.
bool WriteText(FILE* stream, const char* text, size_t length)
{
    bool ok = true;
    size_t start = 0;
    for (size_t i = 0; i < length; i++) {
        if (text[i] != '\n') continue;
        if (i > start) ok &= std::fwrite(text + start, 1, i - start, stream) == i - start;
        ok &= std::fwrite("\r\n", 1, 2, stream) == 2;
        start = i + 1;
    }
    if (length > start) ok &= std::fwrite(text + start, 1, length - start, stream) == length - start;
    return ok;
}
bool WriteText(FILE* stream, const char* text) { return WriteText(stream, text, std::strlen(text)); }

// "%10.4f" independent of the locale.
std::string FormatFixed10_4(double x)
{
    std::string s(size_t(Real_FixedLength(x, 4)) + 1, '\0');
    Real_FormatFixed(s.data(), s.size(), x, 4);
    s.pop_back();
    if (s.size() < 10) s.insert(0, 10 - s.size(), ' ');
    return s;
}

// [SECTION] Binary files

struct BinaryFile {
    std::string name;             // as the game gave it
    std::string path;             // mapped path
    int32_t mode = 0;             // 0 read, 1 write, 2 read and write
    LoadSaveFile* memory = nullptr; // mode 0
    FILE* stream = nullptr;       // modes 1 and 2
    bool lastWasWrite = false;    // mode 2: a seek must separate a write from a read
};

BinaryFile g_binary[kSlots];
bool g_binaryOpen[kSlots];

void ReleaseBinary(BinaryFile& f)
{
    if (f.memory) LoadSave_FClose(f.memory);
    CloseWritten(f.stream, f.path);
    f = BinaryFile();
}

// The open record of a handle argument, or null with "File is not opened." reported.
BinaryFile* OpenBinary(int32_t handle)
{
    if (handle < 1 || handle >= kSlots || !g_binaryOpen[handle]) {
        Report("File is not opened.");
        return nullptr;
    }
    return &g_binary[handle];
}

// Before a read (write) on a stream that was last written (read): C streams need a seek
// between the two directions.
void SwitchDirection(BinaryFile& f, bool write)
{
    if (f.stream && f.lastWasWrite != write) FileHost_Seek(f.stream, 0, SEEK_CUR);
    f.lastWasWrite = write;
}

// A file that exists only in the program folder is copied into the save area, so it can be
// changed there. True when the save-area path now holds the file (or nothing needed doing).
bool CopyBundleToSave(const char* name, const std::string& savePath)
{
    if (LoadSave_SaveFileExists(name) || !LoadSave_BundleFileExists(name)) return true;
    int32_t size = 0;
    uint8_t* data = LoadSave_ReadBundleFile(name, &size);
    if (!data) return false;
    // Whole or not at all: a copy cut short would hide the program folder's file.
    const bool ok = LoadSave_ReplaceFile(Resolved(savePath), data, size);
    MEM_FREE(data);
    return ok;
}

ZB_BUILTIN(F_FileBinOpen)
{
    Value_SetReal(result, -1.0);
    int32_t handle = 1;
    while (handle < kSlots && g_binaryOpen[handle]) handle++;
    if (handle >= kSlots) {
        Report("Cannot open another file (maximum exceeded).");
        return;
    }
    BinaryFile& f = g_binary[handle];
    ReleaseBinary(f);

    const char* name = ArgText(argc, args, 0);
    int32_t mode = ArgRound(argc, args, 1);
    std::string savePath = LoadSave_SavePathOf(name);
    if (mode == 0) {
        f.path = LoadSave_ReadPathOf(name);
        if (f.path.empty()) f.path = savePath;
        f.memory = MemoryFileAt(f.path, false);
    } else {
        // Writes go to the save area only.
        f.path = savePath;
        if (mode == 1) {
            f.stream = OpenForWriting(f.path, "wb");
        } else if (!f.path.empty() && CopyBundleToSave(name, f.path)) {
            std::string host = Resolved(f.path);
            if (!File_CanRead(host.c_str())) {
                f.stream = OpenForWriting(f.path, "w+b");
            } else if (!(f.stream = FileHost_Open(host.c_str(), "r+b"))) {
                File_SayWriteFailed(host.c_str(), errno);
            }
        }
        if (mode != 1) mode = 2;
    }
    if (!f.memory && !f.stream) {
        Console_Debug()->Output("Error opening binary file %s\n", name);
        f = BinaryFile();
        return;
    }
    f.name = name;
    f.mode = mode;
    g_binaryOpen[handle] = true;
    Value_SetReal(result, double(handle));
}

ZB_BUILTIN(F_FileBinRewrite)
{
    Value_SetReal(result, 0.0);
    int32_t handle = ArgRound(argc, args, 0);
    if (handle < 1 || handle >= kSlots || !g_binaryOpen[handle]) {
        Report("Trying to rewrite unopened file.");
        return;
    }
    BinaryFile& f = g_binary[handle];
    if (f.stream) {
        // Emptied in place; the handle keeps its mode and is at position 0.
        if (!FileHost_Truncate(f.stream)) SayStreamFailed(f.path);
        f.lastWasWrite = false;
        return;
    }
    // A file opened for reading becomes an empty file in the save area, open for writing.
    std::string savePath = LoadSave_SavePathOf(f.name.c_str());
    FILE* stream = OpenForWriting(savePath, "w+b");
    if (!stream) {
        Console_Debug()->Output("Error opening binary file %s\n", f.name.c_str());
        return;
    }
    LoadSave_FClose(f.memory);
    f.memory = nullptr;
    f.stream = stream;
    f.path = savePath;
    f.mode = 1;
    f.lastWasWrite = false;
}

ZB_BUILTIN(F_FileBinClose)
{
    Value_SetReal(result, 0.0);
    int32_t handle = ArgRound(argc, args, 0);
    if (handle < 1 || handle >= kSlots || !g_binaryOpen[handle]) {
        Report("Trying to close unopened file.");
        return;
    }
    ReleaseBinary(g_binary[handle]);
    g_binaryOpen[handle] = false;
}

ZB_BUILTIN(F_FileBinSize)
{
    Value_SetReal(result, 0.0);
    BinaryFile* f = OpenBinary(ArgRound(argc, args, 0));
    if (!f) return;
    if (f->memory) {
        Value_SetReal(result, double(f->memory->size));
        return;
    }
    int64_t at = FileHost_Tell(f->stream);
    FileHost_Seek(f->stream, 0, SEEK_END);
    int64_t size = FileHost_Tell(f->stream);
    FileHost_Seek(f->stream, at, SEEK_SET);
    Value_SetReal(result, double(size < 0 ? 0 : size));
}

ZB_BUILTIN(F_FileBinPosition)
{
    Value_SetReal(result, 0.0);
    BinaryFile* f = OpenBinary(ArgRound(argc, args, 0));
    if (!f) return;
    int64_t at = f->memory ? LoadSave_FTell(f->memory) : FileHost_Tell(f->stream);
    Value_SetReal(result, double(at < 0 ? 0 : at));
}

ZB_BUILTIN(F_FileBinSeek)
{
    Value_SetReal(result, 0.0);
    BinaryFile* f = OpenBinary(ArgRound(argc, args, 0));
    if (!f) return;
    int32_t position = ArgRound(argc, args, 1);
    if (position < 0) position = 0;
    if (f->memory) {
        LoadSave_FSeek(f->memory, position, 0);
    } else {
        FileHost_Seek(f->stream, position, SEEK_SET);
        f->lastWasWrite = false;
    }
}

ZB_BUILTIN(F_FileBinReadByte)
{
    Value_SetReal(result, 0.0);
    BinaryFile* f = OpenBinary(ArgRound(argc, args, 0));
    if (!f) return;
    int32_t byte = -1;
    if (f->mode == 0 && f->memory) {
        if (!LoadSave_FEof(f->memory)) byte = LoadSave_FGetC(f->memory);
    } else if (f->mode == 2 && f->stream) {
        SwitchDirection(*f, false);
        int c = std::fgetc(f->stream);
        if (c != EOF) byte = c;
    }
    if (byte < 0) {
        Report("Error reading byte.");
        return;
    }
    Value_SetReal(result, double(byte));
}

ZB_BUILTIN(F_FileBinWriteByte)
{
    Value_SetReal(result, 0.0);
    BinaryFile* f = OpenBinary(ArgRound(argc, args, 0));
    if (!f || f->mode == 0 || !f->stream) return;
    SwitchDirection(*f, true);
    if (std::fputc(int(uint32_t(ArgRound(argc, args, 1)) & 0xFFu), f->stream) == EOF) SayStreamFailed(f->path);
}

// [SECTION] Text files

enum : int32_t { TEXT_FREE = 0, TEXT_READING = 1, TEXT_WRITING = 2 };

struct TextFile {
    std::string path;
    int32_t state = TEXT_FREE;
    LoadSaveFile* reader = nullptr; // TEXT_READING
    FILE* writer = nullptr;         // TEXT_WRITING
};

// Slots 1..31 belong to the handle functions; slot 0 is the older file.
TextFile g_text[kSlots];

void ReleaseText(TextFile& t)
{
    if (t.reader) LoadSave_FClose(t.reader);
    CloseWritten(t.writer, t.path);
    t = TextFile();
}

// The first free text handle, or 0 with the error reported.
int32_t FreeTextHandle()
{
    for (int32_t h = 1; h < kSlots; h++)
        if (g_text[h].state == TEXT_FREE) return h;
    Report("Cannot open another file (maximum exceeded).");
    return 0;
}

// The reader of a handle open for reading, or null with the error reported.
LoadSaveFile* TextReader(int32_t handle)
{
    if (handle < 1 || handle >= kSlots || g_text[handle].state != TEXT_READING || !g_text[handle].reader) {
        Report("File is not opened for reading.");
        return nullptr;
    }
    return g_text[handle].reader;
}

TextFile* TextWriter(int32_t handle)
{
    if (handle < 1 || handle >= kSlots || g_text[handle].state != TEXT_WRITING || !g_text[handle].writer) {
        Report("File not opened for writing.");
        return nullptr;
    }
    return &g_text[handle];
}

// Writes text to a file open for writing; a write that fails is said once.
void WriteTo(TextFile* t, const char* text)
{
    if (t && !WriteText(t->writer, text)) SayStreamFailed(t->path);
}

// The rest of the line: bytes up to a CR or LF (left unread) or the end.
std::string ReadLineBody(LoadSaveFile* f)
{
    int32_t start = f->position;
    while (f->position < f->size && f->data[f->position] != '\r' && f->data[f->position] != '\n') f->position++;
    return std::string(reinterpret_cast<const char*>(f->data) + start, size_t(f->position - start));
}

// Bytes up to and including the next line feed, or to the end.
std::string ReadLineWhole(LoadSaveFile* f)
{
    int32_t start = f->position;
    while (f->position < f->size) {
        if (f->data[f->position++] == '\n') break;
    }
    return std::string(reinterpret_cast<const char*>(f->data) + start, size_t(f->position - start));
}

ZB_BUILTIN(F_FileTextOpenRead)
{
    Value_SetReal(result, -1.0);
    int32_t handle = FreeTextHandle();
    if (!handle) return;
    const ScriptValue& name = ArgOrZero(argc, args, 0);
    if (!Value_IsString(&name)) {
        Console_Debug()->Output("ERROR!!! :: wrong type for filename\n");
        return;
    }
    std::string path = LoadSave_ReadPathOf(Value_Text(&name));
    LoadSaveFile* reader = MemoryFileAt(path, true);
    if (!reader) {
        Console_Debug()->Output("ERROR!!! :: Failed to open file: %s\n", Value_Text(&name));
        return;
    }
    TextFile& t = g_text[handle];
    t.path = path;
    t.reader = reader;
    t.state = TEXT_READING;
    Value_SetReal(result, double(handle));
}

void OpenTextForWriting(ScriptValue* result, const char* name, const char* mode)
{
    Value_SetReal(result, -1.0);
    int32_t handle = FreeTextHandle();
    if (!handle) return;
    std::string path = LoadSave_SavePathOf(name);
    FILE* stream = OpenForWriting(path, mode);
    if (!stream) return;
    TextFile& t = g_text[handle];
    t.path = path;
    t.writer = stream;
    t.state = TEXT_WRITING;
    Value_SetReal(result, double(handle));
}

ZB_BUILTIN(F_FileTextOpenWrite) { OpenTextForWriting(result, ArgText(argc, args, 0), "w"); }
ZB_BUILTIN(F_FileTextOpenAppend) { OpenTextForWriting(result, ArgText(argc, args, 0), "a+"); }

ZB_BUILTIN(F_FileTextOpenFromString)
{
    Value_SetReal(result, -1.0);
    int32_t handle = FreeTextHandle();
    if (!handle) return;
    const ScriptValue& text = ArgOrZero(argc, args, 0);
    if (!Value_IsString(&text)) {
        Console_Debug()->Output("ERROR!!! :: wrong type for filename\n");
        return;
    }
    // The text is the data the reading functions read.
    const char* s = Value_Text(&text);
    TextFile& t = g_text[handle];
    t.path = s;
    t.reader = MemoryFileOf(s, std::strlen(s));
    t.state = TEXT_READING;
    Value_SetReal(result, double(handle));
}

ZB_BUILTIN(F_FileTextClose)
{
    Value_SetReal(result, 0.0);
    int32_t handle = ArgRound(argc, args, 0);
    if (handle < 1 || handle >= kSlots) {
        Report("Trying to close unexisting text file.");
        return;
    }
    ReleaseText(g_text[handle]);
}

ZB_BUILTIN(F_FileTextReadString)
{
    Value_SetString(result, "");
    if (LoadSaveFile* f = TextReader(ArgRound(argc, args, 0))) SetText(result, ReadLineBody(f));
}

ZB_BUILTIN(F_FileTextReadReal)
{
    Value_SetReal(result, 0.0);
    LoadSaveFile* f = TextReader(ArgRound(argc, args, 0));
    if (!f) return;
    double x = 0.0;
    LoadSave_FReadReal(f, &x);
    Value_SetReal(result, x);
}

ZB_BUILTIN(F_FileTextReadln)
{
    Value_SetString(result, "");
    if (LoadSaveFile* f = TextReader(ArgRound(argc, args, 0))) SetText(result, ReadLineWhole(f));
}

ZB_BUILTIN(F_FileTextEof)
{
    Value_SetReal(result, 0.0);
    if (LoadSaveFile* f = TextReader(ArgRound(argc, args, 0))) Value_SetReal(result, LoadSave_FEof(f) ? 1.0 : 0.0);
}

ZB_BUILTIN(F_FileTextEoln)
{
    Value_SetReal(result, 0.0);
    if (LoadSaveFile* f = TextReader(ArgRound(argc, args, 0))) Value_SetReal(result, LoadSave_FEoln(f) ? 1.0 : 0.0);
}

ZB_BUILTIN(F_FileTextWriteString)
{
    Value_SetReal(result, 0.0);
    if (TextFile* t = TextWriter(ArgRound(argc, args, 0))) WriteTo(t, ArgText(argc, args, 1));
}

ZB_BUILTIN(F_FileTextWriteReal)
{
    Value_SetReal(result, 0.0);
    TextFile* t = TextWriter(ArgRound(argc, args, 0));
    if (!t) return;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%g ", ArgReal(argc, args, 1));
    WriteTo(t, buffer);
}

ZB_BUILTIN(F_FileTextWriteln)
{
    Value_SetReal(result, 0.0);
    if (TextFile* t = TextWriter(ArgRound(argc, args, 0))) WriteTo(t, "\n");
}

// [SECTION] Older file (slot 0 of the text table)

TextFile& Older() { return g_text[0]; }

// Reads a file as a text stream does: CR LF becomes LF.
LoadSaveFile* OpenOlderReader(const std::string& path)
{
    LoadSaveFile* f = MemoryFileAt(path, false);
    if (!f) return nullptr;
    int32_t out = 0;
    for (int32_t i = 0; i < f->size; i++) {
        if (f->data[i] == '\r' && i + 1 < f->size && f->data[i + 1] == '\n') continue;
        f->data[out++] = f->data[i];
    }
    f->data[out] = 0;
    f->size = out;
    return f;
}

ZB_BUILTIN(F_FileOpenRead)
{
    Value_SetReal(result, 0.0);
    ReleaseText(Older());
    std::string path = LoadSave_ReadPathOf(ArgText(argc, args, 0));
    if (path.empty() || !File_Exists(Resolved(path).c_str())) return;
    if (LoadSaveFile* f = OpenOlderReader(path)) {
        Older().path = path;
        Older().reader = f;
        Older().state = TEXT_READING;
    }
}

void OpenOlderWriter(const char* name, const char* mode)
{
    ReleaseText(Older());
    std::string path = LoadSave_SavePathOf(name);
    if (FILE* f = OpenForWriting(path, mode)) {
        Older().path = path;
        Older().writer = f;
        Older().state = TEXT_WRITING;
    }
}

ZB_BUILTIN(F_FileOpenWrite)
{
    Value_SetReal(result, 0.0);
    OpenOlderWriter(ArgText(argc, args, 0), "w+");
}
ZB_BUILTIN(F_FileOpenAppend)
{
    Value_SetReal(result, 0.0);
    OpenOlderWriter(ArgText(argc, args, 0), "a+");
}
ZB_BUILTIN(F_FileClose)
{
    Value_SetReal(result, 0.0);
    ReleaseText(Older());
}

LoadSaveFile* OlderReader(const char* message)
{
    if (Older().state != TEXT_READING || !Older().reader) {
        Report(message);
        return nullptr;
    }
    return Older().reader;
}
TextFile* OlderWriter()
{
    if (Older().state != TEXT_WRITING || !Older().writer) {
        Report("File not opened for writing.");
        return nullptr;
    }
    return &Older();
}

ZB_BUILTIN(F_FileEof)
{
    Value_SetReal(result, 0.0);
    if (LoadSaveFile* f = OlderReader("File is not opened for reading.")) Value_SetReal(result, LoadSave_FEof(f) ? 1.0 : 0.0);
}

ZB_BUILTIN(F_FileReadString)
{
    Value_SetString(result, "");
    LoadSaveFile* f = OlderReader("File not opened for reading.");
    if (!f) return;
    SetText(result, ReadLineBody(f));
    if (f->position < f->size) f->position++; // the one line-end character is read and dropped
}

ZB_BUILTIN(F_FileReadReal)
{
    Value_SetReal(result, 0.0);
    LoadSaveFile* f = OlderReader("File not opened for reading.");
    if (!f) return;
    double x = 0.0;
    LoadSave_FReadReal(f, &x);
    Value_SetReal(result, x);
}

ZB_BUILTIN(F_FileReadln)
{
    Value_SetString(result, "");
    if (LoadSaveFile* f = OlderReader("File not opened for reading.")) SetText(result, ReadLineWhole(f));
}

ZB_BUILTIN(F_FileWriteString)
{
    Value_SetReal(result, 0.0);
    WriteTo(OlderWriter(), ArgText(argc, args, 0));
}
ZB_BUILTIN(F_FileWriteReal)
{
    Value_SetReal(result, 0.0);
    if (TextFile* t = OlderWriter()) WriteTo(t, FormatFixed10_4(ArgReal(argc, args, 0)).c_str());
}
ZB_BUILTIN(F_FileWriteln)
{
    Value_SetReal(result, 0.0);
    WriteTo(OlderWriter(), "\n");
}

// [SECTION] Files and folders

ZB_BUILTIN(F_FileExists)
{
    const char* name = ArgText(argc, args, 0);
    Value_SetReal(result, LoadSave_GameFileExists(name) ? 1.0 : 0.0);
}

ZB_BUILTIN(F_FileDelete)
{
    Value_SetReal(result, 0.0);
    const char* name = ArgText(argc, args, 0);
    if (!LoadSave_SaveFileExists(name)) return;
    FileHost_Delete(Resolved(LoadSave_SavePathOf(name)).c_str());
}

ZB_BUILTIN(F_FileRename)
{
    Value_SetReal(result, 0.0);
    const char* from = ArgText(argc, args, 0);
    if (!LoadSave_SaveFileExists(from)) return;
    std::string to = LoadSave_SavePathOf(ArgText(argc, args, 1));
    if (to.empty()) return;
    FileHost_Rename(Resolved(LoadSave_SavePathOf(from)).c_str(), Resolved(to).c_str());
}

ZB_BUILTIN(F_FileCopy)
{
    Value_SetReal(result, -1.0);
    const char* source = ArgText(argc, args, 0);
    std::string from = Resolved(LoadSave_ReadPathOf(source));
    FILE* in = from.empty() ? nullptr : FileHost_Open(from.c_str(), "rb");
    if (!in) {
        Console_Debug()->Output("Unable to open source file %s\n", source);
        return;
    }
    File_LockForReading(in); // never another runner's file half-written in place
    std::string to = Resolved(LoadSave_SavePathOf(ArgText(argc, args, 1)));
    if (!to.empty() && FileHost_SameFile(from.c_str(), to.c_str())) {
        // Writing the destination would empty the source: it already is the copy.
        std::fclose(in);
        Value_SetReal(result, 0.0);
        return;
    }
    // The copy is written beside the destination and renamed into place when whole.
    FileReplace out;
    if (to.empty() || !out.Open(to.c_str())) {
        if (!to.empty()) File_SayWriteFailed(to.c_str(), errno);
        std::fclose(in);
        return;
    }
    bool written = true;
    char block[4096];
    for (size_t n; written && (n = std::fread(block, 1, sizeof block, in)) > 0;) written = out.Write(block, int64_t(n));
    int error = errno;
    const bool read = !std::ferror(in);
    std::fclose(in);
    if (written && read) {
        written = out.Commit();
        error = errno;
    }
    if (!written) File_SayWriteFailed(to.c_str(), error);
    if (written && read) Value_SetReal(result, 0.0);
}

bool IsFolder(const std::string& path) { return !path.empty() && File_DirectoryExists(path.c_str()); }

ZB_BUILTIN(F_DirectoryExists)
{
    const char* name = ArgText(argc, args, 0);
    Value_SetReal(result, IsFolder(LoadSave_SavePathOf(name)) || IsFolder(LoadSave_BundlePathOf(name)) ? 1.0 : 0.0);
}

ZB_BUILTIN(F_DirectoryCreate)
{
    Value_SetReal(result, 0.0);
    std::string path = LoadSave_SavePathOf(ArgText(argc, args, 0));
    if (!path.empty()) File_CreateDirectory(path.c_str());
}

// The attribute bits of a name (save area first, then the program folder); -1 when neither
// has it.
int32_t AttributesOfName(const char* name)
{
    for (const std::string& path : {LoadSave_SavePathOf(name), LoadSave_BundlePathOf(name)}) {
        if (path.empty()) continue;
        int32_t bits = FileHost_Attributes(Resolved(path).c_str());
        if (bits >= 0) return bits & FILE_ATTR_MASK;
    }
    return -1;
}

ZB_BUILTIN(F_FileAttributes)
{
    Value_SetReal(result, 0.0);
    const ScriptValue& name = ArgOrZero(argc, args, 0);
    if (!Value_IsString(&name)) return;
    int32_t bits = AttributesOfName(Value_Text(&name));
    if (bits < 0) return;
    // The file's bits when it has every attribute asked for (none asked: always).
    int32_t wanted = ArgTrunc(argc, args, 1) & FILE_ATTR_MASK;
    if ((bits & wanted) == wanted) Value_SetReal(result, double(bits));
}

// [SECTION] Find list

struct FindList {
    bool active = false;
    size_t position = 0;
    std::vector<std::string> names;
};
FindList g_find;

bool AsciiLess(const std::string& a, const std::string& b)
{
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; i++) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return x < y;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

// Appends the entries of a mapped pattern's folder that match its name part and the mask.
void FindIn(const std::string& pattern, int32_t mask, std::unordered_set<std::string>* seen)
{
    if (pattern.empty()) return;
    size_t slash = pattern.rfind('/');
    std::string folder = slash == std::string::npos ? std::string(".") : pattern.substr(0, slash + 1);
    std::string namePattern = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    if (namePattern.empty()) return;
    std::vector<FileHostEntry> entries;
    if (!FileHost_ListFolder(File_Resolve(folder.c_str()).c_str(), &entries)) return;
    std::sort(entries.begin(), entries.end(),
              [](const FileHostEntry& a, const FileHostEntry& b) { return AsciiLess(a.name, b.name); });
    for (const FileHostEntry& e : entries) {
        if (!File_WildcardMatch(namePattern.c_str(), e.name.c_str())) continue;
        int32_t bits = e.attributes & FILE_ATTR_MASK;
        bool take = (bits & FILE_ATTR_DIRECTORY) ? (mask & FILE_ATTR_DIRECTORY) != 0
                                                 : (mask & ~FILE_ATTR_DIRECTORY) == 0 || (mask & bits) != 0;
        if (!take || !seen->insert(e.name).second) continue;
        g_find.names.push_back(e.name);
    }
}

void FindClear()
{
    g_find.active = false;
    g_find.position = 0;
    g_find.names.clear();
    g_find.names.shrink_to_fit();
}

ZB_BUILTIN(F_FileFindFirst)
{
    Value_SetString(result, "");
    FindClear();
    const char* pattern = ArgText(argc, args, 0);
    int32_t mask = ArgTrunc(argc, args, 1);
    std::unordered_set<std::string> seen;
    FindIn(LoadSave_SavePathOf(pattern), mask, &seen);
    FindIn(LoadSave_BundlePathOf(pattern), mask, &seen);
    if (g_find.names.empty()) return;
    g_find.active = true;
    g_find.position = 0;
    SetText(result, g_find.names[0]);
}

ZB_BUILTIN(F_FileFindNext)
{
    Value_SetString(result, "");
    if (!g_find.active) return;
    if (g_find.position < g_find.names.size()) g_find.position++;
    if (g_find.position < g_find.names.size()) SetText(result, g_find.names[g_find.position]);
}

ZB_BUILTIN(F_FileFindClose)
{
    Value_SetReal(result, 0.0);
    if (g_find.active) FindClear();
}

// [SECTION] Names

// Takes a new string from the file layer.
ZB_BUILTIN(F_FilenameName) { SetOwnedText(result, File_ExtractName(ArgText(argc, args, 0))); }
ZB_BUILTIN(F_FilenamePath) { SetOwnedText(result, File_ExtractDir(ArgText(argc, args, 0))); }
ZB_BUILTIN(F_FilenameDir)
{
    char* dir = File_ExtractDir(ArgText(argc, args, 0));
    size_t n = std::strlen(dir);
    if (n > 0 && (dir[n - 1] == '\\' || dir[n - 1] == '/')) dir[n - 1] = 0;
    SetOwnedText(result, dir);
}
ZB_BUILTIN(F_FilenameDrive) { SetOwnedText(result, File_ExtractDrive(ArgText(argc, args, 0))); }
ZB_BUILTIN(F_FilenameExt) { SetOwnedText(result, File_ExtractExt(ArgText(argc, args, 0))); }

ZB_BUILTIN(F_FilenameChangeExt)
{
    Value_SetString(result, "");
    // A missing argument (not a string) gives the empty text; an empty text is a text.
    if (argc < 2 || !Value_IsString(&args[0]) || !Value_IsString(&args[1])) return;
    std::string name = ArgText(args, 0);
    const char* ext = ArgText(args, 1);
    // Only a dot of the name part counts: "dir.v2\save" has no extension.
    size_t dot = name.rfind('.');
    size_t separator = name.find_last_of("\\/");
    if (dot != std::string::npos && (separator == std::string::npos || dot > separator))
        SetText(result, name.substr(0, dot) + ext);
    else
        SetText(result, name + "." + ext);
}

// [SECTION] Programs and environment

ZB_BUILTIN(F_ExecuteProgram)
{
    Value_SetReal(result, 0.0);
    const char* program = ArgText(argc, args, 0);
    bool wait = ArgReal(argc, args, 2) >= 0.5;
    if (!File_ExecuteProgram(program, ArgText(argc, args, 1), nullptr, wait)) {
        Console_Debug()->Output("Cannot execute %s\n", program);
        Value_SetReal(result, -1.0);
    }
}

ZB_BUILTIN(F_ExecuteShell)
{
    Value_SetReal(result, 0.0);
    const char* file = ArgText(argc, args, 0);
    if (!File_ShellExecute(file, ArgText(argc, args, 1), nullptr)) {
        Console_Debug()->Output("Cannot execute %s\n", file);
        Value_SetReal(result, -1.0);
    }
}

ZB_BUILTIN(F_ParameterCount) { Value_SetReal(result, double(FileHost_CommandLine().size())); }

ZB_BUILTIN(F_ParameterString)
{
    Value_SetString(result, "");
    int32_t n = ArgRound(argc, args, 0);
    std::vector<std::string> parameters = FileHost_CommandLine();
    if (n >= 1 && size_t(n) <= parameters.size()) SetText(result, parameters[size_t(n) - 1]);
}

ZB_BUILTIN(F_EnvironmentGetVariable)
{
    Value_SetString(result, "");
    const char* name = ArgText(argc, args, 0);
    if (!*name) return;
    if (const char* value = std::getenv(name)) Value_SetString(result, value);
}

} // namespace

// [SECTION] Registration

void Function_File_CloseAll()
{
    for (int32_t i = 0; i < kSlots; i++) {
        ReleaseBinary(g_binary[i]);
        g_binaryOpen[i] = false;
        ReleaseText(g_text[i]);
    }
    FindClear();
    Function_Ini_CloseAll();
}

// Shutdown's name for the closer.
void File_CloseAll() { Function_File_CloseAll(); }

void Function_File_Init()
{
    Function_File_CloseAll();

    Function_Add("file_bin_open", F_FileBinOpen, 2);
    Function_Add("file_bin_rewrite", F_FileBinRewrite, 1);
    Function_Add("file_bin_close", F_FileBinClose, 1);
    Function_Add("file_bin_size", F_FileBinSize, 1);
    Function_Add("file_bin_position", F_FileBinPosition, 1);
    Function_Add("file_bin_seek", F_FileBinSeek, 2);
    Function_Add("file_bin_read_byte", F_FileBinReadByte, 1);
    Function_Add("file_bin_write_byte", F_FileBinWriteByte, 2);

    Function_Add("file_text_open_from_string", F_FileTextOpenFromString, 1);
    Function_Add("file_text_open_read", F_FileTextOpenRead, 1);
    Function_Add("file_text_open_write", F_FileTextOpenWrite, 1);
    Function_Add("file_text_open_append", F_FileTextOpenAppend, 1);
    Function_Add("file_text_close", F_FileTextClose, 1);
    Function_Add("file_text_read_string", F_FileTextReadString, 1);
    Function_Add("file_text_read_real", F_FileTextReadReal, 1);
    Function_Add("file_text_readln", F_FileTextReadln, 1);
    Function_Add("file_text_eof", F_FileTextEof, 1);
    Function_Add("file_text_eoln", F_FileTextEoln, 1);
    Function_Add("file_text_write_string", F_FileTextWriteString, 2);
    Function_Add("file_text_write_real", F_FileTextWriteReal, 2);
    Function_Add("file_text_writeln", F_FileTextWriteln, 1);

    Function_Add("file_open_read", F_FileOpenRead, 1);
    Function_Add("file_open_write", F_FileOpenWrite, 1);
    Function_Add("file_open_append", F_FileOpenAppend, 1);
    Function_Add("file_close", F_FileClose, 0);
    Function_Add("file_read_string", F_FileReadString, 0);
    Function_Add("file_read_real", F_FileReadReal, 0);
    Function_Add("file_readln", F_FileReadln, 0);
    Function_Add("file_write_string", F_FileWriteString, 1);
    Function_Add("file_write_real", F_FileWriteReal, 1);
    Function_Add("file_writeln", F_FileWriteln, 0);
    Function_Add("file_eof", F_FileEof, 0);

    Function_Add("file_exists", F_FileExists, 1);
    Function_Add("file_delete", F_FileDelete, 1);
    Function_Add("file_rename", F_FileRename, 2);
    Function_Add("file_copy", F_FileCopy, 2);
    Function_Add("directory_exists", F_DirectoryExists, 1);
    Function_Add("directory_create", F_DirectoryCreate, 1);
    Function_Add("file_find_first", F_FileFindFirst, 2);
    Function_Add("file_find_next", F_FileFindNext, 0);
    Function_Add("file_find_close", F_FileFindClose, 0);
    Function_Add("file_attributes", F_FileAttributes, 2);
    Function_Add("filename_name", F_FilenameName, 1);
    Function_Add("filename_path", F_FilenamePath, 1);
    Function_Add("filename_dir", F_FilenameDir, 1);
    Function_Add("filename_drive", F_FilenameDrive, 1);
    Function_Add("filename_ext", F_FilenameExt, 1);
    Function_Add("filename_change_ext", F_FilenameChangeExt, 2);
    Function_Add("execute_program", F_ExecuteProgram, 3);
    Function_Add("execute_shell", F_ExecuteShell, 2);
    Function_Add("parameter_count", F_ParameterCount, 0);
    Function_Add("parameter_string", F_ParameterString, 1);
    Function_Add("environment_get_variable", F_EnvironmentGetVariable, 1);

    Function_Ini_Register();
}
