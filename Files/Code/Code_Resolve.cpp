// Phase 2 of the ZBL compiler: name resolution (Code_Resolve, Files/Code/Code_Compile.h).
// A word before "(" is a call of a script, extension function or built-in; any other word is
// a resource, a constant or else a variable (a new user variable when unknown); numbers and
// strings become constant values; keywords and operators pass through.
//
// Needs: the function table, the constants (Code_Constant.h), the variable-name table.
#include <string>

#include "Files/Code/Code_Compile.h"
#include "Files/Code/Code_Constant.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Code_Variable.h"
#include "Platform/MemoryManager.h"

double Code_NumberValue(const char* text)
{
    double value = 0.0;
    if (!text) return value;
    bool hex = false;
    bool fraction = false;
    double weight = 0.1;
    for (const char* p = text; *p; ++p) {
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

bool Code_Resolve(CCode* code, const CodeTokenList* tokens, ResolvedTokenList* out)
{
    Code_ResolvedList_Free(out);
    if (tokens->count <= 0) return true;
    out->tokens = static_cast<ResolvedToken*>(MEM_ALLOC_CLEAR(sizeof(ResolvedToken) * size_t(tokens->count)));
    out->count = tokens->count;
    for (int32_t i = 0; i < tokens->count; ++i) {
        const CodeToken& t = tokens->tokens[i];
        ResolvedToken& r = out->tokens[i];
        r.kind = t.kind;
        r.id = 0;
        r.value = Value_Real(0.0);
        r.position = t.position;
        switch (t.kind) {
        case TOK_NAME:
            if (i + 1 < tokens->count && tokens->tokens[i + 1].kind == TOK_LPAREN) {
                int32_t id = -1;
                if (Code_Function_Find(t.text, &id)) {
                    r.kind = TOK_FUNCTION;
                    r.id = id;
                } else {
                    r.kind = -1;
                    std::string message = std::string("Unknown function or script: ") + (t.text ? t.text : "");
                    Code_Error_Set(code, t.position, message.c_str());
                }
            } else if (Code_Constant_FindResource(t.text, &r.value)) {
                r.kind = TOK_CONSTANT;
            } else {
                r.kind = TOK_VARIABLE;
                r.id = Code_Variable_Find(t.text);
            }
            break;
        case TOK_NUMBER:
            r.kind = TOK_CONSTANT;
            r.value = Value_Real(Code_NumberValue(t.text));
            break;
        case TOK_STRING:
            r.kind = TOK_CONSTANT;
            Value_SetString(&r.value, t.text ? t.text : "");
            break;
        default: break;
        }
        if (Code_Error_Recorded()) return false;
    }
    return true;
}

void Code_ResolvedList_Free(ResolvedTokenList* list)
{
    for (int32_t i = 0; i < list->count; ++i) Value_FreeString(&list->tokens[i].value);
    MEM_FREE(list->tokens);
    list->tokens = nullptr;
    list->count = 0;
}
