// Phase 1 of the ZBL compiler: the lexer (Code_Tokenize, Files/Code/Code_Compile.h). It knows
// keywords, numbers, strings, operators and comments, nothing of names.
//
// The scanner works on a copy of the text followed by three blanks; a string that is never
// closed runs to the end of that copy. Words have no length limit. Tokens point into the copy
// (the list keeps it) instead of carrying texts of their own.
#include <cstring>

#include "Files/Code/Code_Compile.h"
#include "Files/Code/Code_Error.h"
#include "Platform/MemoryManager.h"

namespace {

struct Keyword {
    const char* word;
    int32_t kind;
};

const Keyword kKeywords[] = {
    {"begin", TOK_BEGIN},   {"end", TOK_CLOSE},       {"if", TOK_IF},           {"then", TOK_THEN},
    {"else", TOK_ELSE},     {"while", TOK_WHILE},     {"do", TOK_DO},           {"for", TOK_FOR},
    {"until", TOK_UNTIL},   {"repeat", TOK_REPEAT},   {"exit", TOK_EXIT},       {"break", TOK_BREAK},
    {"continue", TOK_CONTINUE}, {"with", TOK_WITH},   {"return", TOK_RETURN},   {"switch", TOK_SWITCH},
    {"case", TOK_CASE},     {"default", TOK_DEFAULT}, {"var", TOK_VAR},         {"globalvar", TOK_GLOBALVAR},
    {"and", TOK_LAND},      {"or", TOK_LOR},          {"not", TOK_NOT},         {"div", TOK_DIV},
    {"mod", TOK_MOD},       {"xor", TOK_LXOR},
};

struct TwoChar {
    char a, b;
    int32_t kind;
};

const TwoChar kTwoChar[] = {
    {':', '=', TOK_ASSIGN},     {'+', '=', TOK_ADD_ASSIGN}, {'-', '=', TOK_SUB_ASSIGN},
    {'*', '=', TOK_MUL_ASSIGN}, {'/', '=', TOK_DIV_ASSIGN}, {'&', '&', TOK_LAND},
    {'&', '=', TOK_AND_ASSIGN}, {'|', '|', TOK_LOR},        {'|', '=', TOK_OR_ASSIGN},
    {'<', '=', TOK_LE},         {'<', '>', TOK_NE},         {'<', '<', TOK_SHL},
    {'=', '=', TOK_EQ},         {'!', '=', TOK_NE},         {'^', '^', TOK_LXOR},
    {'^', '=', TOK_XOR_ASSIGN}, {'>', '=', TOK_GE},         {'>', '>', TOK_SHR},
};

int32_t OneChar(char c)
{
    switch (c) {
    case '{': return TOK_BEGIN;
    case '}': return TOK_CLOSE;
    case '=': return TOK_ASSIGN;
    case '(': return TOK_LPAREN;
    case ')': return TOK_RPAREN;
    case ';': return TOK_SEMICOLON;
    case ',': return TOK_COMMA;
    case '[': return TOK_LBRACKET;
    case ']': return TOK_RBRACKET;
    case '.': return TOK_DOT;
    case ':': return TOK_COLON;
    case '!': return TOK_NOT;
    case '<': return TOK_LT;
    case '>': return TOK_GT;
    case '+': return TOK_PLUS;
    case '-': return TOK_MINUS;
    case '*': return TOK_STAR;
    case '/': return TOK_SLASH;
    case '%': return TOK_MOD;
    case '|': return TOK_BOR;
    case '&': return TOK_BAND;
    case '^': return TOK_BXOR;
    case '~': return TOK_BNOT;
    default: return TOK_INVALID;
    }
}

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHex(char c) { return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// The scanner over one text: the text plus three blanks.
class Scanner {
public:
    Scanner(const char* text, CodeTokenList* list)
    {
        size_t n = std::strlen(text);
        if (n > 0x7FFFFFF0u) MemoryManager::OutOfMemory(); // beyond what one block holds
        list->source = static_cast<char*>(MEM_ALLOC(n + 4));
        std::memcpy(list->source, text, n);
        std::memcpy(list->source + n, "   ", 4);
        m_buffer = list->source;
        m_length = int32_t(n + 3);
    }

    void Next(CodeToken* t)
    {
        const char* s = m_buffer;
        t->length = -1;
        t->kind = TOK_INVALID;
        // 1. Blanks (every byte whose signed value is 32 or less) and comments.
        for (;;) {
            while (m_pos < m_length && static_cast<signed char>(s[m_pos]) <= 32) ++m_pos;
            if (m_pos + 1 < m_length && s[m_pos] == '/' && s[m_pos + 1] == '/') {
                m_pos += 2;
                while (m_pos < m_length && s[m_pos] != '\r' && s[m_pos] != '\n') ++m_pos;
                if (m_pos < m_length) ++m_pos;
                continue;
            }
            if (m_pos + 1 < m_length && s[m_pos] == '/' && s[m_pos + 1] == '*') {
                m_pos += 2;
                while (m_pos < m_length && !(s[m_pos] == '*' && m_pos + 1 < m_length && s[m_pos + 1] == '/')) ++m_pos;
                m_pos = m_pos < m_length ? m_pos + 2 : m_length;
                continue;
            }
            break;
        }
        t->position = m_pos;
        if (m_pos >= m_length) {
            t->kind = TOK_END;
            return;
        }
        char c = s[m_pos];
        int32_t start = m_pos;
        // 2. Words.
        if (IsLetter(c)) {
            while (m_pos < m_length && (IsLetter(s[m_pos]) || IsDigit(s[m_pos]))) ++m_pos;
            int32_t n = m_pos - start;
            t->kind = TOK_NAME;
            if (n >= 2 && n <= 9) {
                for (const Keyword& k : kKeywords) {
                    if (std::strlen(k.word) == size_t(n) && std::memcmp(k.word, s + start, size_t(n)) == 0) {
                        t->kind = k.kind;
                        break;
                    }
                }
            }
            t->length = n;
            return;
        }
        // 3. Decimal numbers.
        if (IsDigit(c) || (c == '.' && IsDigit(s[m_pos + 1]))) {
            bool dot = false;
            while (m_pos < m_length && (IsDigit(s[m_pos]) || (s[m_pos] == '.' && !dot))) {
                if (s[m_pos] == '.') dot = true;
                ++m_pos;
            }
            t->kind = TOK_NUMBER;
            t->length = m_pos - start;
            return;
        }
        // 4. Hexadecimal numbers.
        if (c == '$') {
            ++m_pos;
            while (m_pos < m_length && IsHex(s[m_pos])) ++m_pos;
            t->kind = TOK_NUMBER;
            t->length = m_pos - start;
            return;
        }
        // 5. Strings, without escapes, across lines.
        if (c == '"' || c == '\'') {
            ++m_pos;
            int32_t body = m_pos;
            while (m_pos < m_length && s[m_pos] != c) ++m_pos;
            t->kind = TOK_STRING;
            t->position = body;
            if (m_pos < m_length) {
                t->length = m_pos - body;
                ++m_pos;
            } else {
                // Unclosed: the rest of the copy less its last blank.
                t->length = m_length - 1 - body;
            }
            return;
        }
        // 6. Two-character operators.
        if (m_pos + 1 < m_length) {
            for (const TwoChar& op : kTwoChar) {
                if (op.a == c && op.b == s[m_pos + 1]) {
                    t->kind = op.kind;
                    m_pos += 2;
                    return;
                }
            }
        }
        // 7. One-character operators; 8. anything else is no symbol.
        t->kind = OneChar(c);
        ++m_pos;
    }

private:
    const char* m_buffer;
    int32_t m_length = 0;
    int32_t m_pos = 0;
};

void Append(CodeTokenList* list, const CodeToken& t)
{
    if (list->count == list->capacity) {
        int32_t capacity = list->capacity < 16 ? 16 : list->capacity + list->capacity / 2;
        list->tokens = static_cast<CodeToken*>(MEM_RESIZE(list->tokens, sizeof(CodeToken) * size_t(capacity)));
        list->capacity = capacity;
    }
    list->tokens[list->count++] = t;
}

} // namespace

bool Code_Tokenize(CCode* code, CodeTokenList* list)
{
    Code_Error_ClearRecorded();
    Code_TokenList_Free(list);
    const char* text = code->GetText();
    if (!text) return true;
    Scanner scanner(text, list);
    QuitPoll poll;
    for (;;) {
        CodeToken t;
        scanner.Next(&t);
        Append(list, t);
        if (poll.Stop()) {
            Code_Error_Set(code, t.position, kCompileStopped);
            return false;
        }
        if (t.kind == TOK_INVALID) {
            Code_Error_Set(code, t.position, "Unexpected symbol.");
            return false;
        }
        if (t.kind == TOK_END) return true;
    }
}

void Code_TokenList_Free(CodeTokenList* list)
{
    MEM_FREE(list->tokens);
    MEM_FREE(list->source);
    list->tokens = nullptr;
    list->source = nullptr;
    list->count = 0;
    list->capacity = 0;
}
