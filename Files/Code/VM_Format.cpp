// Byte-code format helpers, VMBuffer, the game's string table and the disassembler.
#include "Files/Code/VM_Format.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "Files/Base/Console.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/VM.h"
#include "Files/Code/VM_Debug.h"
#include "Platform/MemoryManager.h"

namespace {

std::vector<char*> g_strings;

void PadTo(std::string& line, size_t column)
{
    if (line.size() < column) line.append(column - line.size(), ' ');
}

void AppendF(std::string& line, const char* format, ...) __attribute__((format(printf, 2, 3)));
void AppendF(std::string& line, const char* format, ...)
{
    char buf[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    line += buf;
}

} // namespace

int32_t VM_TypeSize(int32_t type)
{
    switch (type) {
    case VMT_REAL:
    case VMT_LONG: return 8;
    case VMT_FLOAT:
    case VMT_INT:
    case VMT_BOOL:
    case VMT_VAR:
    case VMT_STRING: return 4;
    default: return 0;
    }
}

const char* VM_OpcodeName(uint32_t opcode)
{
    switch (opcode) {
#define VM_OPCODE_NAME(e, v, n) \
    case v: return n;
        VM_OPCODES(VM_OPCODE_NAME)
#undef VM_OPCODE_NAME
    default: return "unknown";
    }
}

const char* VM_TypeSuffix(int32_t type)
{
    static const char* const suffixes[16] = {".d", ".f", ".i", ".l", ".b", ".v", ".s", "", "",
                                             "",   "",   "",   "",   "",   "",   ".e"};
    return type >= 0 && type < 16 ? suffixes[type] : "";
}

int32_t VM_InstructionSize(uint32_t word)
{
    return 4 + (VM_HasOperand(VM_Opcode(word)) ? VM_TypeSize(VM_Type1(word)) : 0);
}

VMBuffer::VMBuffer(const uint8_t* data, int32_t size)
{
    if (size > 0) {
        m_pData = static_cast<uint8_t*>(MEM_ALLOC(uint32_t(size)));
        std::memcpy(m_pData, data, size_t(size));
        m_size = size;
    }
}

VMBuffer::~VMBuffer()
{
    Invalidate();
    VM_UnregisterUnit(this);
    for (int32_t i = 0; i < m_stringCount; ++i) MEM_FREE(m_ppStrings[i]);
    MEM_FREE(m_ppStrings);
    MEM_FREE(m_pData);
}

void VMBuffer::Invalidate()
{
    VM_ReleaseProgram(this);
    m_prepareState = 0;
}

int32_t VMBuffer::AddString(const char* text)
{
    // The pool grows by half when full (its block's size is its capacity), so that a unit with
    // many strings does not copy the pool once per string.
    size_t capacity = MemoryManager::GetSize(m_ppStrings) / sizeof(char*);
    if (size_t(m_stringCount) + 1 > capacity) {
        capacity = capacity < 8 ? 8 : capacity + capacity / 2;
        m_ppStrings = static_cast<char**>(MEM_RESIZE(m_ppStrings, sizeof(char*) * capacity));
    }
    m_ppStrings[m_stringCount] = text ? MEM_STRDUP(text) : nullptr;
    m_hasPool = 1;
    return m_stringCount++;
}

const char* VMBuffer::GetString(int32_t index) const
{
    if (m_hasPool) return index >= 0 && index < m_stringCount ? m_ppStrings[index] : nullptr;
    return VM_StringTable_Get(index);
}

void VM_StringTable_Set(int32_t count)
{
    VM_StringTable_Free();
    g_strings.assign(size_t(count > 0 ? count : 0), nullptr);
}

void VM_StringTable_SetEntry(int32_t index, const char* text)
{
    if (index < 0 || size_t(index) >= g_strings.size()) return;
    MEM_FREE(g_strings[size_t(index)]);
    g_strings[size_t(index)] = text ? MEM_STRDUP(text) : nullptr;
}

int32_t VM_StringTable_Count() { return int32_t(g_strings.size()); }

const char* VM_StringTable_Get(int32_t index)
{
    return index >= 0 && size_t(index) < g_strings.size() ? g_strings[size_t(index)] : nullptr;
}

void VM_StringTable_Free()
{
    for (char* s : g_strings) MEM_FREE(s);
    g_strings.clear();
}

int32_t VM_Disassemble(tagIConsole* console, const VMBuffer* code, int32_t offset)
{
    if (!code || offset < 0 || offset + 4 > code->m_size) return code ? code->m_size : 0;
    const uint8_t* p = code->m_pData + offset;
    uint32_t word = VM_Load32(p);
    uint32_t op = VM_Opcode(word);
    int32_t size = VM_InstructionSize(word);
    int32_t avail = code->m_size - offset;
    int32_t shown = size < avail ? size : avail;

    std::string line;
    AppendF(line, "%08x : ", uint32_t(offset));
    for (int32_t i = 0; i < shown; ++i) AppendF(line, "%02x", p[i]);
    PadTo(line, 36);
    line += VM_OpcodeName(op);
    if ((op & 0xA0) == 0) {
        line += VM_TypeSuffix(VM_Type1(word));
        line += VM_TypeSuffix(VM_Type2(word));
    } else if ((op & 0x80) && !(op & 0x20)) {
        line += VM_TypeSuffix(VM_Type1(word));
    }
    PadTo(line, 46);

    if (VM_HasOperand(op)) {
        const uint8_t* operand = p + 4;
        bool whole = size <= avail;
        switch (VM_Type1(word)) {
        case VMT_REAL:
            if (whole) {
                double d;
                std::memcpy(&d, operand, 8);
                AppendF(line, "%f", d);
            }
            break;
        case VMT_FLOAT:
            if (whole) {
                float f;
                std::memcpy(&f, operand, 4);
                AppendF(line, "%f", double(f));
            }
            break;
        case VMT_INT:
            if (whole) {
                int32_t i;
                std::memcpy(&i, operand, 4);
                const BuiltinFunction* row = op == VMOP_CALL && i >= 0 && i < FUNCTION_SCRIPT_BASE
                                                 ? Function_Get(i)
                                                 : nullptr;
                if (row) {
                    AppendF(line, "%s", row->name);
                } else {
                    AppendF(line, "%d", i);
                }
            }
            break;
        case VMT_LONG:
            if (whole) {
                int64_t l;
                std::memcpy(&l, operand, 8);
                AppendF(line, "%" PRId64, l);
            }
            break;
        case VMT_BOOL:
            if (whole) line += VM_Load32(operand) ? "true" : "false";
            break;
        case VMT_VAR:
            if (whole) {
                AppendF(line, "$%s$", Code_Variable_GetName(int32_t(VM_Load32(operand) & VMREF_ID_MASK)));
            }
            break;
        case VMT_STRING:
            if (whole) {
                const char* s = code->GetString(int32_t(VM_Load32(operand)));
                AppendF(line, "\"%s\"", s ? s : "");
            }
            break;
        case VMT_SHORT: AppendF(line, "%d", VM_FieldSigned(word)); break;
        default: break;
        }
    } else if (VM_IsBranchForm(op)) {
        AppendF(line, "0x%08x", uint32_t(offset + 4 * VM_BranchOffset(word)));
    }
    line += "\n";
    console->Output("%s", line.c_str());
    return offset + size;
}

void VM_DisassembleAll(tagIConsole* console, const VMBuffer* code)
{
    if (!code) return;
    for (int32_t offset = 0; offset < code->m_size;) offset = VM_Disassemble(console, code, offset);
}
