// The test assembler (Files/Code/VM_Assembler.h): two passes, the first places labels, the
// second writes words.
#include "Files/Code/VM_Assembler.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "Files/Base/Console.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/VM_Format.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Platform/MemoryManager.h"

namespace {

struct Line {
    int number;
    std::string label;
    std::string op;      // mnemonic with suffixes
    std::string operand; // the rest
};

struct Fail {
    std::string text;
};

std::string Trim(const std::string& s)
{
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}

// Splits off a comment (';' outside a string literal, or '#' first on the line).
std::string StripComment(const std::string& s)
{
    std::string t = Trim(s);
    if (!t.empty() && t[0] == '#') return "";
    bool quoted = false;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && quoted) {
            ++i;
        } else if (s[i] == '"') {
            quoted = !quoted;
        } else if (s[i] == ';' && !quoted) {
            return s.substr(0, i);
        }
    }
    return s;
}

int TypeOfLetter(char c)
{
    switch (c) {
    case 'd': return VMT_REAL;
    case 'f': return VMT_FLOAT;
    case 'i': return VMT_INT;
    case 'l': return VMT_LONG;
    case 'b': return VMT_BOOL;
    case 'v': return VMT_VAR;
    case 's': return VMT_STRING;
    case 'e': return VMT_SHORT;
    default: return -1;
    }
}

int64_t ParseInt(const std::string& s, const char* what)
{
    std::string t = Trim(s);
    if (t.empty()) throw Fail{std::string("missing ") + what};
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(t.c_str(), &end, 0);
    if (errno || *end) throw Fail{"bad " + std::string(what) + " '" + t + "'"};
    return v;
}

double ParseReal(const std::string& s)
{
    std::string t = Trim(s);
    char* end = nullptr;
    double v = std::strtod(t.c_str(), &end);
    if (t.empty() || *end) throw Fail{"bad number '" + t + "'"};
    return v;
}

std::string ParseString(const std::string& s)
{
    std::string t = Trim(s);
    if (t.size() < 2 || t.front() != '"' || t.back() != '"') throw Fail{"expected a quoted string"};
    std::string out;
    for (size_t i = 1; i + 1 < t.size(); ++i) {
        char c = t[i];
        if (c == '\\' && i + 2 < t.size()) {
            char n = t[++i];
            out += n == 'n' ? '\n' : n == 't' ? '\t' : n == 'r' ? '\r' : n;
        } else {
            out += c;
        }
    }
    return out;
}

// A variable reference: the operand word and the word's 16-bit field.
void ParseVariable(const std::string& s, uint32_t& operand, uint32_t& field)
{
    std::string t = Trim(s);
    bool indexed = false;
    if (t.size() > 2 && t.compare(t.size() - 2, 2, "[]") == 0) {
        indexed = true;
        t.resize(t.size() - 2);
    }
    std::string scope, name = t;
    size_t dot = t.rfind('.');
    if (dot != std::string::npos) {
        scope = t.substr(0, dot);
        name = t.substr(dot + 1);
    }
    if (name.empty()) throw Fail{"missing variable name"};
    int32_t id;
    if (name[0] == '@') {
        id = int32_t(ParseInt(name.substr(1), "variable id"));
    } else {
        id = Code_Variable_Find(name.c_str());
    }
    operand = uint32_t(id) & VMREF_ID_MASK;
    if (!indexed) operand |= VMREF_NO_INDEX;
    field = 0;
    int32_t sc;
    if (scope.empty()) {
        sc = SCOPE_PLAIN;
    } else if (scope == "stack") {
        return; // scope popped: bit 29 clear
    } else if (scope == "stack+100000") {
        operand |= VMREF_INSTANCE; // popped, an instance id written as an offset
        return;
    } else if (scope == "self") {
        sc = SCOPE_SELF;
    } else if (scope == "other") {
        sc = SCOPE_OTHER;
    } else if (scope == "all") {
        sc = SCOPE_ALL;
    } else if (scope == "noone") {
        sc = SCOPE_NOONE;
    } else if (scope == "global") {
        sc = SCOPE_GLOBAL;
    } else if (scope == "local") {
        sc = SCOPE_LOCAL;
    } else {
        sc = int32_t(ParseInt(scope, "scope"));
    }
    operand |= VMREF_SCOPE_IN_WORD;
    if (sc >= SCOPE_INSTANCE_BASE) {
        operand |= VMREF_INSTANCE;
        sc -= SCOPE_INSTANCE_BASE;
    }
    if (sc < -32768 || sc > 32767) throw Fail{"scope out of range"};
    field = uint32_t(sc) & 0xFFFF;
}

uint32_t OpcodeOf(const std::string& name)
{
#define VM_OPCODE_LOOKUP(e, v, n) \
    if (name == n) return v;
    VM_OPCODES(VM_OPCODE_LOOKUP)
#undef VM_OPCODE_LOOKUP
    throw Fail{"unknown instruction '" + name + "'"};
}

struct Assembler {
    std::vector<uint32_t> words;
    std::vector<int32_t> debug; // pairs
    std::map<std::string, int32_t> labels;
    VMBuffer* code = nullptr;
    int32_t pos = -1; // source position of .pos, -1 = none yet

    void Emit(uint32_t w) { words.push_back(w); }
    void Emit64(uint64_t v)
    {
        Emit(uint32_t(v));
        Emit(uint32_t(v >> 32));
    }
    int32_t Offset() const { return int32_t(words.size() * 4); }

    int32_t Target(const std::string& s, bool place)
    {
        std::string t = Trim(s);
        if (!place) return 0;
        auto it = labels.find(t);
        if (it == labels.end()) throw Fail{"unknown label '" + t + "'"};
        return it->second;
    }

    void Instruction(const Line& l, bool place)
    {
        if (l.op == ".word") {
            Emit(uint32_t(ParseInt(l.operand, "word")));
            return;
        }
        if (l.op == ".pos") {
            pos = int32_t(ParseInt(l.operand, "position"));
            return;
        }
        // name.t1.t2
        std::string name = l.op;
        int t1 = 0, t2 = 0;
        size_t dot = name.find('.');
        if (dot != std::string::npos) {
            std::string suffix = name.substr(dot + 1);
            name = name.substr(0, dot);
            size_t dot2 = suffix.find('.');
            std::string s1 = suffix.substr(0, dot2);
            std::string s2 = dot2 == std::string::npos ? "" : suffix.substr(dot2 + 1);
            if (s1.size() != 1 || TypeOfLetter(s1[0]) < 0) throw Fail{"bad type suffix"};
            t1 = TypeOfLetter(s1[0]);
            if (!s2.empty()) {
                if (s2.size() != 1 || TypeOfLetter(s2[0]) < 0) throw Fail{"bad type suffix"};
                t2 = TypeOfLetter(s2[0]);
            }
        }
        uint32_t op = OpcodeOf(name);
        if (pos >= 0) {
            debug.push_back(Offset());
            debug.push_back(pos);
        }
        int32_t here = Offset();
        switch (op) {
        case VMOP_B:
        case VMOP_BT:
        case VMOP_BF:
        case VMOP_PUSHENV:
        case VMOP_POPENV: {
            if (op == VMOP_POPENV && Trim(l.operand) == "leave") {
                Emit((VMOP_POPENV << 24) | (VM_WITH_LEAVE_TYPES << 16));
                return;
            }
            int32_t target = Target(l.operand, place);
            int32_t words = (target - here) / 4;
            Emit((op << 24) | (uint32_t(words) & 0xFFFFFF));
            return;
        }
        case VMOP_PUSH:
            if (t1 == VMT_SHORT) {
                Emit(VM_Word(op, t1, t2, uint32_t(ParseInt(l.operand, "value"))));
                return;
            }
            if (t1 == VMT_VAR) {
                uint32_t operand, field;
                ParseVariable(l.operand, operand, field);
                Emit(VM_Word(op, t1, t2, field));
                Emit(operand);
                return;
            }
            Emit(VM_Word(op, t1, t2, 0));
            switch (t1) {
            case VMT_REAL: {
                double d = ParseReal(l.operand);
                uint64_t bits;
                std::memcpy(&bits, &d, 8);
                Emit64(bits);
                break;
            }
            case VMT_FLOAT: {
                float f = float(ParseReal(l.operand));
                uint32_t bits;
                std::memcpy(&bits, &f, 4);
                Emit(bits);
                break;
            }
            case VMT_INT: Emit(uint32_t(ParseInt(l.operand, "int"))); break;
            case VMT_LONG: Emit64(uint64_t(ParseInt(l.operand, "long"))); break;
            case VMT_BOOL: {
                std::string t = Trim(l.operand);
                Emit(t == "true" ? 1 : t == "false" ? 0 : uint32_t(ParseInt(t, "bool")));
                break;
            }
            case VMT_STRING:
                Emit(place ? uint32_t(code->AddString(ParseString(l.operand).c_str())) : 0);
                break;
            default: break; // types without an operand
            }
            return;
        case VMOP_POP:
            if (t1 == VMT_SHORT) {
                std::string t = Trim(l.operand);
                size_t sp = t.find_first_of(" \t");
                int64_t n = ParseInt(t.substr(0, sp), "N");
                int64_t d = sp == std::string::npos ? 0 : ParseInt(t.substr(sp), "D");
                Emit(VM_Word(op, t1, t2, (uint32_t(n) & 0xFF) | ((uint32_t(d) & 0xFF) << 8)));
                return;
            }
            if (t1 == VMT_VAR || t1 == VMT_INT) {
                uint32_t operand, field;
                ParseVariable(l.operand, operand, field);
                Emit(VM_Word(op, t1, t2, field));
                Emit(operand);
                return;
            }
            Emit(VM_Word(op, t1, t2, 0));
            if (VM_HasOperand(op)) {
                for (int32_t i = 0; i < VM_TypeSize(t1); i += 4) Emit(0);
            }
            return;
        case VMOP_CALL: {
            std::string t = Trim(l.operand);
            size_t sp = t.find_first_of(" \t");
            std::string fn = t.substr(0, sp);
            int64_t argc = sp == std::string::npos ? 0 : ParseInt(t.substr(sp), "argument count");
            int32_t id = -1;
            if (!fn.empty() && (std::isdigit(static_cast<unsigned char>(fn[0])) || fn[0] == '-')) {
                id = int32_t(ParseInt(fn, "function id"));
            } else if (place && !Code_Function_Find(fn.c_str(), &id)) {
                throw Fail{"unknown function '" + fn + "'"};
            }
            Emit(VM_Word(op, t1 ? t1 : VMT_INT, t2, uint32_t(argc)));
            Emit(uint32_t(id));
            return;
        }
        case VMOP_BREAK: {
            std::string t = Trim(l.operand);
            Emit(VM_Word(op, 15, 15, t.empty() ? 0 : uint32_t(ParseInt(t, "field"))));
            return;
        }
        case VMOP_DUP: {
            std::string t = Trim(l.operand);
            Emit(VM_Word(op, t1, t2, t.empty() ? 0 : uint32_t(ParseInt(t, "count"))));
            return;
        }
        default:
            Emit(VM_Word(op, t1, t2, 0));
            if (VM_HasOperand(op)) {
                for (int32_t i = 0; i < VM_TypeSize(t1); i += 4) Emit(0);
            }
            return;
        }
    }
};

} // namespace

bool VM_Assemble(const char* text, VMBuffer** codeOut, VMBuffer** debugOut, std::string* error)
{
    if (codeOut) *codeOut = nullptr;
    if (debugOut) *debugOut = nullptr;
    std::vector<Line> lines;
    const char* p = text ? text : "";
    int number = 0;
    while (*p) {
        const char* e = std::strchr(p, '\n');
        std::string raw = e ? std::string(p, size_t(e - p)) : std::string(p);
        p = e ? e + 1 : p + raw.size();
        ++number;
        std::string s = Trim(StripComment(raw));
        Line l{number, "", "", ""};
        size_t colon = s.find(':');
        if (colon != std::string::npos && s.find('"') > colon &&
            s.find_first_of(" \t") > colon) {
            l.label = Trim(s.substr(0, colon));
            s = Trim(s.substr(colon + 1));
        }
        size_t sp = s.find_first_of(" \t");
        l.op = s.substr(0, sp);
        l.operand = sp == std::string::npos ? "" : Trim(s.substr(sp));
        if (!l.label.empty() || !l.op.empty()) lines.push_back(l);
    }

    Assembler a;
    a.code = new VMBuffer();
    int current = 0;
    try {
        for (int pass = 0; pass < 2; ++pass) {
            a.words.clear();
            a.debug.clear();
            a.pos = -1;
            for (const Line& l : lines) {
                current = l.number;
                if (!l.label.empty()) {
                    if (pass == 0) {
                        if (!a.labels.emplace(l.label, a.Offset()).second) throw Fail{"label defined twice"};
                    }
                }
                if (!l.op.empty()) a.Instruction(l, pass == 1);
            }
        }
    } catch (const Fail& f) {
        if (error) *error = "line " + std::to_string(current) + ": " + f.text;
        delete a.code;
        return false;
    }
    VMBuffer* code = a.code;
    code->m_size = int32_t(a.words.size() * 4);
    if (code->m_size) {
        code->m_pData = static_cast<uint8_t*>(MEM_ALLOC(uint32_t(code->m_size)));
        std::memcpy(code->m_pData, a.words.data(), size_t(code->m_size));
    }
    code->UseOwnPool();
    if (codeOut) {
        *codeOut = code;
    } else {
        delete code;
    }
    if (debugOut && !a.debug.empty()) {
        *debugOut = new VMBuffer(reinterpret_cast<const uint8_t*>(a.debug.data()), int32_t(a.debug.size() * 4));
    }
    return true;
}

VMBuffer* VM_Assemble(const char* text)
{
    VMBuffer* code = nullptr;
    std::string error;
    if (!VM_Assemble(text, &code, nullptr, &error)) {
        Console_Output("VM_Assemble: %s\n", error.c_str());
        return nullptr;
    }
    return code;
}
