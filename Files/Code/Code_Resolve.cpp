// Phase 2 of the ZBL compiler: name resolution (Code_Resolve, Files/Code/Code_Compile.h).
// A word before "(" is a call of a script, extension function or built-in; any other word is
// a resource, a constant or else a variable (a new user variable when unknown); numbers and
// strings become constant values; keywords and operators pass through.
//
// Needs: the function table, the constants (Code_Constant.h), the variable-name table.
#include <cstring>
#include <string>

#include "Files/Code/Code_Compile.h"
#include "Files/Code/Code_Constant.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Code_Variable.h"
#include "Platform/MemoryManager.h"

double Code_NumberValue(const char* text, int32_t length)
{
    double value = 0.0;
    if (!text) return value;
    bool hex = false;
    bool fraction = false;
    double weight = 0.1;
    const char* end = length < 0 ? nullptr : text + length;
    for (const char* p = text; end ? p < end : *p != 0; ++p) {
        char c = *p;
        if (hex) {
            int digit;
            if (c >= 'A' && c <= 'F') {
                digit = c - 'A' + 10;
            } else if (c >= 'a' && c <= 'f') {
                digit = c - 'a' + 10;
            } else {
                digit = c - 48;
            }
            value = value * 16.0 + digit;
        } else if (c == '$') {
            hex = true;
        } else if (c == '.') {
            fraction = true;
        } else if (fraction) {
            value += (c - 48) * weight;
            weight /= 10.0;
        } else {
            value = value * 10.0 + (c - 48);
        }
    }
    return value;
}

namespace {

// A new constant slot of the list (real 0); its index.
int32_t AddConstant(ResolvedTokenList* out)
{
    if (out->constantCount == out->constantCapacity) {
        int32_t capacity = out->constantCapacity < 16 ? 16 : out->constantCapacity + out->constantCapacity / 2;
        out->constants = static_cast<ScriptValue*>(MEM_RESIZE(out->constants, sizeof(ScriptValue) * size_t(capacity)));
        out->constantCapacity = capacity;
    }
    out->constants[out->constantCount] = Value_Real(0.0);
    return out->constantCount++;
}

} // namespace

bool Code_Resolve(CCode* code, const CodeTokenList* tokens, ResolvedTokenList* out)
{
    Code_ResolvedList_Free(out);
    if (tokens->count <= 0) return true;
    out->tokens = static_cast<ResolvedToken*>(MEM_ALLOC(sizeof(ResolvedToken) * size_t(tokens->count)));
    out->count = tokens->count;
    std::string name; // the current word, for the look-ups that take a terminated text
    QuitPoll poll;
    for (int32_t i = 0; i < tokens->count; ++i) {
        const CodeToken& t = tokens->tokens[i];
        if (poll.Stop()) {
            out->count = i;
            Code_Error_Set(code, t.position, kCompileStopped);
            return false;
        }
        ResolvedToken& r = out->tokens[i];
        r.kind = t.kind;
        r.id = 0;
        r.position = t.position;
        const char* text = t.length >= 0 ? tokens->source + t.position : nullptr;
        switch (t.kind) {
        case TOK_NAME: {
            name.assign(text, size_t(t.length));
            ScriptValue value = Value_Real(0.0);
            if (i + 1 < tokens->count && tokens->tokens[i + 1].kind == TOK_LPAREN) {
                int32_t id = -1;
                if (Code_Function_Find(name.c_str(), &id)) {
                    r.kind = TOK_FUNCTION;
                    r.id = id;
                } else {
                    r.kind = -1;
                    std::string message = "Unknown function or script: " + name;
                    Code_Error_Set(code, t.position, message.c_str());
                }
            } else if (Code_Constant_FindResource(name.c_str(), &value)) {
                r.kind = TOK_CONSTANT;
                r.id = AddConstant(out);
                out->constants[r.id] = value;
            } else {
                r.kind = TOK_VARIABLE;
                r.id = Code_Variable_Find(name.c_str());
            }
            break;
        }
        case TOK_NUMBER:
            r.kind = TOK_CONSTANT;
            r.id = AddConstant(out);
            out->constants[r.id] = Value_Real(Code_NumberValue(text, t.length));
            break;
        case TOK_STRING: {
            r.kind = TOK_CONSTANT;
            r.id = AddConstant(out);
            // A string constant's text, terminated (string bodies may hold any byte but 0).
            char* body = static_cast<char*>(MEM_ALLOC(size_t(t.length) + 1));
            std::memcpy(body, text, size_t(t.length));
            body[t.length] = 0;
            Value_SetStringOwned(&out->constants[r.id], body);
            break;
        }
        default: break;
        }
        if (Code_Error_Recorded()) return false;
    }
    return true;
}

void Code_ResolvedList_Free(ResolvedTokenList* list)
{
    for (int32_t i = 0; i < list->constantCount; ++i) Value_FreeString(&list->constants[i]);
    MEM_FREE(list->constants);
    MEM_FREE(list->tokens);
    list->tokens = nullptr;
    list->count = 0;
    list->constants = nullptr;
    list->constantCount = 0;
    list->constantCapacity = 0;
}
