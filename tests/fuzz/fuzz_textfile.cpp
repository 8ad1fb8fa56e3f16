// libFuzzer target: the text-file built-ins on arbitrary bytes. The input's first 32 bytes
// choose the reading calls; the rest is the file: read through file_text_open_from_string,
// through file_text_open_read (byte-order mark) and through the older file (file_open_read,
// which reads CR LF as one line end). The walks must always reach the end, never return
// a line end from file_text_read_string, and a readln result must end in a line feed unless
// it reached the end. The file-name pattern matcher also runs on halves of the data.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "Files/Base/Value.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Function.h"
#include "Files/Function/Function_File.h"
#include "Files/Support/File.h"
#include "Files/Support/LoadSave.h"
#include "Platform/MemoryManager.h"

namespace {

struct Result {
    ScriptValue v = Value_Real(0.0);
    ~Result() { Value_FreeString(&v); }
    std::string Text() const { return Value_Text(&v); }
};

void Call(const char* name, std::initializer_list<ScriptValue> args, Result* out)
{
    int32_t id = -1;
    if (!Code_Function_Find(name, &id)) std::abort();
    std::vector<ScriptValue> a(args);
    Function_Get(id)->f(&out->v, nullptr, nullptr, int32_t(a.size()), a.data());
}

std::string g_folder;
bool g_hasZero = false; // script texts end at a zero byte: a line holding one comes back cut

void RemoveFolder() { File_DeleteTree(g_folder.c_str()); }

void Setup()
{
    if (!g_folder.empty()) return;
    Code_Error_SetShowErrors(false);
    Code_Error_SetLogSuppressed(true);
    Function_File_Init();
    char pattern[] = "/tmp/zb_fuzz_textfile_XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    g_folder = pattern;
    std::atexit(RemoveFolder);
    LoadSave_SetFolders(g_folder.c_str(), g_folder.c_str(), g_folder.c_str());
}

// Walks one handle (0: the older file) with the chosen calls until the end.
void Walk(double handle, const uint8_t* ops, size_t nops)
{
    const ScriptValue h = Value_Real(handle);
    const bool older = handle == 0;
    for (size_t step = 0; step < 1000000; step++) {
        Result eof;
        Call(older ? "file_eof" : "file_text_eof", older ? std::initializer_list<ScriptValue>{}
                                                         : std::initializer_list<ScriptValue>{h}, &eof);
        if (eof.v.real != 0) return;
        Result r;
        switch (ops[step % nops] % 4) {
        case 0: {
            Call(older ? "file_read_string" : "file_text_read_string",
                 older ? std::initializer_list<ScriptValue>{} : std::initializer_list<ScriptValue>{h}, &r);
            std::string s = r.Text();
            if (s.find('\n') != std::string::npos || (!older && s.find('\r') != std::string::npos)) std::abort();
            if (!older) { // the line end is left: step over it so the walk moves on
                Result l;
                Call("file_text_readln", {h}, &l);
            }
            break;
        }
        case 1: {
            Call(older ? "file_readln" : "file_text_readln",
                 older ? std::initializer_list<ScriptValue>{} : std::initializer_list<ScriptValue>{h}, &r);
            std::string s = r.Text();
            Result after;
            Call(older ? "file_eof" : "file_text_eof", older ? std::initializer_list<ScriptValue>{}
                                                             : std::initializer_list<ScriptValue>{h}, &after);
            if (!g_hasZero && after.v.real == 0 && (s.empty() || s.back() != '\n')) std::abort();
            break;
        }
        case 2:
            Call(older ? "file_read_real" : "file_text_read_real",
                 older ? std::initializer_list<ScriptValue>{} : std::initializer_list<ScriptValue>{h}, &r);
            if (!older) Call("file_text_eoln", {h}, &r);
            // A number that was not there moves nothing: step over one line so the walk ends.
            {
                Result l;
                Call(older ? "file_readln" : "file_text_readln",
                     older ? std::initializer_list<ScriptValue>{} : std::initializer_list<ScriptValue>{h}, &l);
            }
            break;
        default:
            if (!older) Call("file_text_eoln", {h}, &r);
            {
                Result l;
                Call(older ? "file_readln" : "file_text_readln",
                     older ? std::initializer_list<ScriptValue>{} : std::initializer_list<ScriptValue>{h}, &l);
            }
            break;
        }
    }
    std::abort(); // the walk never ended
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20)) return 0;
    Setup();
    uint8_t ops[32] = {0};
    size_t nops = size < 32 ? size : 32;
    std::memcpy(ops, data, nops);
    if (nops == 0) nops = 1;
    const char* body = reinterpret_cast<const char*>(data) + (size < 32 ? size : 32);
    size_t length = size < 32 ? 0 : size - 32;
    g_hasZero = std::memchr(body, 0, length) != nullptr;

    // From a string (cut at a zero byte, as script texts are).
    std::string text(body, length);
    ScriptValue s{VALUE_STRING, const_cast<char*>(text.c_str()), 0.0};
    Result handle;
    Call("file_text_open_from_string", {s}, &handle);
    if (handle.v.real < 1) std::abort();
    Walk(handle.v.real, ops, nops);
    Result closed;
    Call("file_text_close", {handle.v}, &closed);

    // From a file: the text functions and the older file.
    std::string path = g_folder + "/fuzz.txt";
    if (!File_WriteAll(path.c_str(), body, int64_t(length))) std::abort();
    ScriptValue name{VALUE_STRING, const_cast<char*>(path.c_str()), 0.0};
    Result fh;
    Call("file_text_open_read", {name}, &fh);
    if (fh.v.real < 1) std::abort();
    Walk(fh.v.real, ops, nops);
    Call("file_text_close", {fh.v}, &closed);
    Result opened;
    Call("file_open_read", {name}, &opened);
    Walk(0, ops, nops);
    Call("file_close", {}, &closed);

    // Patterns.
    std::string a = text.substr(0, text.size() / 2).c_str(), b = text.substr(text.size() / 2).c_str();
    File_WildcardMatch(a.c_str(), b.c_str());
    File_WildcardMatch(b.c_str(), a.c_str());
    if (!File_WildcardMatch("*", b.c_str())) std::abort();
    return 0;
}
