// ScriptValue: the one value type of ZBL, shared by the compiler, both executors, every
// built-in function and variable, the constants, the data structures and the asynchronous
// maps. Kind, text and real are separate fields (never overlaid).
//
// Ownership: a string value (kind 1) owns its text, a zero-terminated UTF-8 block from the
// memory manager, or holds null (the empty string as written by an empty constant). Any other
// kind owns nothing: its text is not looked at. Copying a value copies its text; releasing a
// value frees its text and leaves the kind as it was.
#pragma once

#include <cstddef>
#include <cstdint>

enum : int32_t { VALUE_REAL = 0, VALUE_STRING = 1 };

struct ScriptValue {
    int32_t kind; // 0 real, 1 string; other kinds own nothing
    char* text;   // owned when kind is 1; may be null
    double real;  // meaningful when kind is 0
};

// Frees the text of a string value and clears the pointer; the kind is kept.
void Value_FreeString(ScriptValue* value);
// dst := copy of src (dst's old text freed first; the copy has its own text).
void Value_Copy(ScriptValue* dst, const ScriptValue* src);
// dst := src without copying: the text moves; src becomes real 0.
void Value_Move(ScriptValue* dst, ScriptValue* src);
void Value_SetReal(ScriptValue* value, double real);
// A string holding a copy of text (null stays null).
void Value_SetString(ScriptValue* value, const char* text);
// A string taking ownership of text (a memory-manager block or null).
void Value_SetStringOwned(ScriptValue* value, char* text);
// dst := src, a string whose text block dst holds too instead of a copy (see
// MemoryManager::Share) when the block has no second holder yet; otherwise (and for any other
// kind) as Value_Copy. Either way dst sees src's value as it is now.
void Value_Share(ScriptValue* dst, const ScriptValue* src);
// value (a string) := value + the n bytes at add, written at the end of value's own text: its
// block grows by doubling, and the memory manager keeps the text's length, so a run of appends
// costs the total length, not its square. A block shared with another holder is copied first,
// so the other holder keeps the old text. add may lie inside value's text. The result always
// has a text of its own (never null), as a concatenation has.
void Value_Append(ScriptValue* value, const char* add, size_t n);

// A sum of texts built for its store (x = x + a + b ... and x += a, both executors): its first
// part left is x's text as the read of x left it (a second holder of x's block, see
// MemoryManager::Share, or a copy), and the parts after it are gathered in one block of the
// sum's own, acc (null for none). Both are memory-manager blocks or null, owned by the sum;
// a sum never writes into left, so left keeps x's old bytes whatever x does meanwhile.
// acc + the n bytes at add, grown as Value_Append grows a text; the new acc.
char* Value_SumAdd(char* acc, const char* add, size_t n);
// The sum's text in a block of its own (never null): left + acc; left and acc are let go.
char* Value_SumJoin(char* left, char* acc);
// w := left + acc where w's text lies, when w still holds left (a string value holding the
// block that left shares, or both without text): left's share ends and acc is appended and
// freed, so storing the sum costs acc's length, not x's. False, and nothing done, otherwise.
bool Value_SumStore(ScriptValue* w, char* left, char* acc);

inline ScriptValue Value_Real(double real) { return ScriptValue{VALUE_REAL, nullptr, real}; }
inline bool Value_IsString(const ScriptValue* value) { return value->kind == VALUE_STRING; }
// The text of a string value, "" for a null text or another kind.
inline const char* Value_Text(const ScriptValue* value)
{
    return value->kind == VALUE_STRING && value->text ? value->text : "";
}
