// Breakpoints, stepping, source lines and the machine-state record (Files/Code/VM_Debug.h).
#include "Files/Base/RealConvert.h"
#include "Files/Code/VM_Internal.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "Files/Buffer/IBuffer.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/Code_World.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Code/Variable_List.h"

volatile int32_t g_VMHookActive = 0;

namespace {

// ---- Units and addresses ----
struct Unit {
    uint32_t base;
    VMBuffer* code;
};
std::vector<Unit> g_units; // ascending base
uint32_t g_nextAddress = 0x00010000u;

// ---- Breakpoints ----
struct Breakpoint {
    uint32_t word;
    uint32_t address; // 0xFFFFFFFF = free
};
Breakpoint g_table[VM_BREAKPOINT_SLOTS];
bool g_set = false; // between SetBreakpoints and RestoreBreakpoints

// ---- Stepping ----
bool g_stepping = false;
bool g_breakNow = false;
int32_t g_stepLine = -1;
const char* g_stepSource = nullptr;
void (*g_breakHook)() = nullptr;
int32_t g_breaks = 0;

void UpdateHook() { g_VMHookActive = (g_stepping || g_breakNow) ? 1 : 0; }

// The op of an instruction start of code, preparing the unit when needed; null otherwise.
VMOp* OpAt(VMBuffer* code, int32_t offset)
{
    if (!code || offset < 0 || offset >= code->m_size || (offset & 3)) return nullptr;
    if (!VM_Prepare(code)) return nullptr;
    VMProgram* p = code->m_pProgram;
    int32_t i = p->opAt[size_t(offset / 4)];
    if (i < 0 || i >= int32_t(p->ops.size()) - 1) return nullptr;
    return &p->ops[size_t(i)];
}

void Patch(const Breakpoint& b, bool on)
{
    int32_t offset;
    VMBuffer* code = VM_FindUnit(b.address, &offset);
    VMOp* op = code && code->m_prepareState == 1 ? OpAt(code, offset) : nullptr;
    if (!op) return;
    const void* const* table = VM_HandlerTable();
    VMProgram* prog = code->m_pProgram;
    if (on) VM_Unfuse(prog, prog->IndexOf(op)); // a group must not run past the breakpoint
    op->h = on ? table[VMI_BREAKPOINT] : table[op->code];
}

void ClearTable()
{
    for (Breakpoint& b : g_table) b = Breakpoint{0, 0xFFFFFFFFu};
}

} // namespace

void VM_Init()
{
    if (const char* d = std::getenv("ZB_DISASM")) VM_SetDisassembleUnits(d[0] && d[0] != '0');
    ClearTable();
    g_set = false;
    g_stepping = g_breakNow = false;
    g_stepLine = -1;
    g_stepSource = nullptr;
    UpdateHook();
}

void VM_RegisterUnit(VMBuffer* code)
{
    if (!code) return;
    if (code->m_address == 0) {
        uint64_t span = (uint64_t(code->m_size) + 4 + 15) & ~uint64_t(15);
        if (uint64_t(g_nextAddress) + span >= 0xFFFFFFF0ull) return; // out of addresses: not debuggable
        code->m_address = g_nextAddress;
        g_nextAddress += uint32_t(span);
    }
    auto it = std::lower_bound(g_units.begin(), g_units.end(), code->m_address,
                               [](const Unit& u, uint32_t a) { return u.base < a; });
    if (it != g_units.end() && it->base == code->m_address) return;
    g_units.insert(it, Unit{code->m_address, code});
}

void VM_Debug_UnitPrepared(VMBuffer* code)
{
    VM_RegisterUnit(code);
    if (g_set && code->m_address) {
        // A unit prepared while breakpoints are in: patch its own.
        for (const Breakpoint& b : g_table) {
            if (b.address != 0xFFFFFFFFu && b.address >= code->m_address &&
                b.address < code->m_address + uint32_t(code->m_size))
                Patch(b, true);
        }
    }
}

void VM_UnregisterUnit(VMBuffer* code)
{
    if (!code || code->m_address == 0) return;
    auto it = std::lower_bound(g_units.begin(), g_units.end(), code->m_address,
                               [](const Unit& u, uint32_t a) { return u.base < a; });
    if (it != g_units.end() && it->code == code) g_units.erase(it);
}

VMBuffer* VM_FindUnit(uint32_t address, int32_t* offset)
{
    auto it = std::upper_bound(g_units.begin(), g_units.end(), address,
                               [](uint32_t a, const Unit& u) { return a < u.base; });
    if (it == g_units.begin()) return nullptr;
    --it;
    uint32_t off = address - it->base;
    if (off >= uint32_t(it->code->m_size)) return nullptr;
    *offset = int32_t(off);
    return it->code;
}

void VM_Debug_ClearBreakpoints()
{
    if (g_set) VM_Debug_RestoreBreakpoints();
    ClearTable();
}

int32_t VM_Debug_AddBreakpoint(uint32_t address)
{
    int32_t offset;
    VMBuffer* code = VM_FindUnit(address, &offset);
    if (!OpAt(code, offset)) return VM_BREAKPOINT_NONE;
    for (int32_t i = 0; i < VM_BREAKPOINT_NONE; ++i)
        if (g_table[i].address == address) return i;
    for (int32_t i = 0; i < VM_BREAKPOINT_NONE; ++i) {
        if (g_table[i].address == 0xFFFFFFFFu) {
            g_table[i].address = address;
            g_table[i].word = VM_Load32(code->m_pData + offset);
            if (g_set) Patch(g_table[i], true);
            return i;
        }
    }
    return VM_BREAKPOINT_NONE;
}

int32_t VM_Debug_RemoveBreakpoint(uint32_t address)
{
    for (int32_t i = 0; i < VM_BREAKPOINT_NONE; ++i) {
        if (g_table[i].address == address) {
            if (g_set) Patch(g_table[i], false);
            g_table[i] = Breakpoint{0, 0xFFFFFFFFu};
            return i;
        }
    }
    return VM_BREAKPOINT_NONE;
}

void VM_Debug_SetBreakpoints()
{
    for (const Breakpoint& b : g_table)
        if (b.address != 0xFFFFFFFFu) Patch(b, true);
    g_set = true;
}

void VM_Debug_RestoreBreakpoints()
{
    for (int32_t i = VM_BREAKPOINT_SLOTS - 1; i >= 0; --i)
        if (g_table[i].address != 0xFFFFFFFFu) Patch(g_table[i], false);
    g_set = false;
}

uint32_t VM_Debug_BreakpointAddress(int32_t entry)
{
    return entry >= 0 && entry < VM_BREAKPOINT_SLOTS ? g_table[entry].address : 0xFFFFFFFFu;
}

uint32_t VM_Debug_BreakpointWord(int32_t entry)
{
    return entry >= 0 && entry < VM_BREAKPOINT_SLOTS ? g_table[entry].word : 0;
}

// ---- Stepping ----

void VM_Debug_SetStepping(bool on)
{
    VMFrameInfo f;
    if (on && VM_GetFrame(0, &f)) {
        g_stepping = true;
        g_stepSource = f.source;
        g_stepLine = VM_LineOfPosition(VM_FindLineEntry(f.debugInfo, f.offset), f.source);
    } else {
        g_stepping = false;
        g_stepSource = nullptr;
        g_stepLine = -1;
    }
    UpdateHook();
}

bool VM_Debug_GetStepping() { return g_stepping; }

void VM_Debug_RequestBreak()
{
    g_breakNow = true;
    UpdateHook();
}

void VM_Debug_SetBreakHook(void (*hook)()) { g_breakHook = hook; }
int32_t VM_Debug_BreakCount() { return g_breaks; }

void VM_Debug_BreakHit(VMProgram*, const VMOp*)
{
    ++g_breaks;
    if (g_breakHook) g_breakHook();
}

void VM_DebugHook(VMProgram* prog, const VMOp* pc)
{
    if (g_stepping) {
        VMFrameInfo f;
        if (VM_GetFrame(0, &f)) {
            int32_t line = VM_LineOfPosition(VM_FindLineEntry(f.debugInfo, int32_t(pc->off)), f.source);
            if (line != g_stepLine || f.source != g_stepSource) {
                g_breakNow = true;
                g_stepping = false;
            }
        }
    }
    if (g_breakNow) {
        g_breakNow = false;
        UpdateHook();
        VM_Debug_BreakHit(prog, pc);
    }
    UpdateHook();
}

// ---- Lines ----

VMLineEntry VM_FindLineEntry(const VMBuffer* debugInfo, int32_t offset)
{
    VMLineEntry found{false, 0, 0};
    if (!debugInfo || !debugInfo->m_pData) return found;
    int32_t pairs = debugInfo->m_size / 8;
    for (int32_t i = 0; i < pairs; ++i) {
        int32_t off = VM_Get<int32_t>(debugInfo->m_pData + 8 * i);
        if (off > offset) break;
        found = VMLineEntry{true, off, VM_Get<int32_t>(debugInfo->m_pData + 8 * i + 4)};
    }
    return found;
}

int32_t VM_LineOfPosition(const VMLineEntry& entry, const char* source)
{
    if (!entry.valid) return -1;
    const char* s = source ? source : "";
    int32_t p = entry.position;
    if (p < 0) return -1;
    const int32_t n = int32_t(strnlen(s, size_t(p) + 1)); // the text's length, when it ends by p
    if (p > n) p = n - 1;
    if (p < 0) return -1;
    // The line ends among bytes 1 to p, counted as reports count them (index 0 is not counted).
    SourceLines lines(s);
    lines.MoveTo(p + 1);
    const bool first = s[0] == '\n' || (s[0] == '\r' && s[1] != '\n');
    return lines.Line() - 1 - (first ? 1 : 0);
}

// ---- The machine-state record ----
namespace {

void U32(IBuffer* b, uint32_t v) { Buffer_WriteNumber(b, eBuffer_U32, double(v)); }
void F32(IBuffer* b, double v) { Buffer_WriteNumber(b, eBuffer_F32, v); }

void LengthString(IBuffer* b, const char* text)
{
    const char* t = text ? text : "";
    U32(b, uint32_t(std::strlen(t) + 1));
    Buffer_WriteString(b, t);
}

double Getter(CInstance* instance, const char* name, int32_t index)
{
    int32_t id = Variable_BuiltIn_Find(name);
    const BuiltinVariable* row = Variable_BuiltIn_Row(id);
    if (!instance || !row || !row->get) return 0.0;
    ScriptValue v = Value_Real(0.0);
    bool ok = row->get(instance, index, &v);
    double r = ok && v.kind == VALUE_REAL ? v.real : 0.0;
    Value_FreeString(&v);
    return r;
}

uint32_t AsU32(double x) { return uint32_t(uint64_t(Real_TruncToInt64(x))); }

} // namespace

void VM_WriteVariables(IBuffer* buffer, CVariableList* list)
{
    int32_t at = buffer->Tell();
    U32(buffer, 0);
    uint32_t count = 0;
    if (list) {
        for (int32_t b = 0; b < 64; ++b) {
            for (CVariable* v = list->Bucket(b); v; v = v->nextBucket) {
                U32(buffer, uint32_t(v->id));
                U32(buffer, uint32_t(v->value.kind));
                if (v->value.kind == VALUE_STRING) {
                    LengthString(buffer, v->value.text);
                } else {
                    Buffer_WriteNumber(buffer, eBuffer_F64, v->value.real);
                }
                ++count;
            }
        }
    }
    int32_t end = buffer->Tell();
    buffer->Seek(eSeek_Start, at);
    U32(buffer, count);
    buffer->Seek(eSeek_Start, end);
}

void VM_WriteInstance(IBuffer* buffer, CInstance* instance)
{
    // u = an unsigned 32-bit entry, f = a float entry; the values come from the getters of
    // the built-in variables of those names.
    struct Field {
        const char* name;
        char type;
        int32_t index;
    };
    static const Field kHead[] = {
        {"x", 'f', 0},           {"y", 'f', 0},           {"direction", 'f', 0},
        {"friction", 'f', 0},    {"gravity", 'f', 0},     {"gravity_direction", 'f', 0},
        {"hspeed", 'f', 0},      {"vspeed", 'f', 0},      {"speed", 'f', 0},
        {"xprevious", 'f', 0},   {"yprevious", 'f', 0},   {"sprite_index", 'u', 0},
        {"image_alpha", 'f', 0}, {"image_angle", 'f', 0}, {"image_blend", 'u', 0},
        {"image_index", 'f', 0}, {"image_number", 'u', 0}, {"image_speed", 'f', 0},
        {"image_xscale", 'f', 0}, {"image_yscale", 'f', 0},
    };
    static const Field kTail[] = {
        {"path_index", 'u', 0},        {"path_position", 'f', 0}, {"path_positionprevious", 'f', 0},
        {"path_endaction", 'u', 0},    {"path_scale", 'f', 0},    {"path_speed", 'f', 0},
        {"path_orientation", 'f', 0},  {"phy_active", 'u', 0},    {"phy_fixed_rotation", 'u', 0},
        {"phy_angular_velocity", 'f', 0}, {"phy_linear_velocity_x", 'f', 0},
        {"phy_linear_velocity_y", 'f', 0}, {"phy_speed_x", 'f', 0}, {"phy_speed_y", 'f', 0},
        {"phy_position_x", 'f', 0},    {"phy_position_y", 'f', 0}, {"phy_rotation", 'f', 0},
        {"phy_bullet", 'u', 0},        {"phy_com_x", 'f', 0},     {"phy_com_y", 'f', 0},
        {"phy_dynamic", 'u', 0},       {"phy_kinematic", 'u', 0}, {"phy_inertia", 'f', 0},
        {"phy_mass", 'f', 0},          {"phy_sleeping", 'u', 0},  {"timeline_index", 'u', 0},
        {"timeline_running", 'u', 0},  {"timeline_speed", 'f', 0}, {"timeline_position", 'f', 0},
        {"timeline_loop", 'u', 0},
    };
    auto write = [&](const Field& f) {
        double v = Getter(instance, f.name, f.index);
        if (f.type == 'u') {
            U32(buffer, AsU32(v));
        } else {
            F32(buffer, v);
        }
    };
    U32(buffer, instance ? uint32_t(Code_World().id(instance)) : 0u);
    U32(buffer, instance ? uint32_t(Code_World().objectIndex(instance)) : 0u);
    for (const Field& f : kHead) write(f);
    for (int32_t a = 0; a < 12; ++a) write(Field{"alarm", 'u', a});
    for (const Field& f : kTail) write(f);
}

void VM_WriteDebugState(IBuffer* buffer)
{
    VMFrameInfo f;
    if (!VM_GetFrame(0, &f)) {
        U32(buffer, 0xFFFFFFFFu);
        return;
    }
    U32(buffer, f.code ? f.code->m_address : 0u);
    U32(buffer, uint32_t(f.offset));
    U32(buffer, f.self ? uint32_t(Code_World().id(f.self)) : 0u);
    U32(buffer, f.other ? uint32_t(Code_World().id(f.other)) : 0u);
    VM_WriteVariables(buffer, f.locals);
    VM_WriteVariables(buffer, Variable_Global_List());
    VM_WriteInstance(buffer, f.self);
}
