// What the virtual machine offers the remote debugger and the error reporter: breakpoints,
// single-stepping by source line, the mapping from a byte-code offset to a source line, and
// the machine-state record the debugger sends to its peer.
//
// Code addresses: every unit of code the machine knows gets a synthetic 32-bit address (units
// never overlap; table units get theirs in table order when the table is filled); an
// instruction's address is its unit's address plus its byte offset. Breakpoints are accepted
// only at instruction starts inside a known unit. A breakpoint is patched into the unit's
// prepared form, never into the byte code: the instruction under it still runs exactly as
// without it.
#pragma once

#include <cstdint>

class CInstance;
class CVariableList;
class IBuffer;
class VMBuffer;

constexpr int32_t VM_BREAKPOINT_SLOTS = 256; // entries 0..254 are used by adding
constexpr int32_t VM_BREAKPOINT_NONE = 255;

// Gives code an address (once) and makes it known; a unit is forgotten when destroyed.
void VM_RegisterUnit(VMBuffer* code);
void VM_UnregisterUnit(VMBuffer* code);
// The unit whose addresses hold address, and the byte offset in it; null when none.
VMBuffer* VM_FindUnit(uint32_t address, int32_t* offset);

// Breakpoint table.
void VM_Debug_ClearBreakpoints();
// The entry now holding address; VM_BREAKPOINT_NONE when the table is full or the address is
// not an instruction start of a known unit.
int32_t VM_Debug_AddBreakpoint(uint32_t address);
int32_t VM_Debug_RemoveBreakpoint(uint32_t address);
void VM_Debug_SetBreakpoints();
void VM_Debug_RestoreBreakpoints();
// The entry's address (0xFFFFFFFF when free) and saved instruction word.
uint32_t VM_Debug_BreakpointAddress(int32_t entry);
uint32_t VM_Debug_BreakpointWord(int32_t entry);

// Stepping: on, it remembers the running code's line and source (with no code running it is
// cleared instead) and stops before the first instruction on another line or in another
// unit; a break request stops before the next instruction. A stop calls the break hook.
void VM_Debug_SetStepping(bool on);
bool VM_Debug_GetStepping();
void VM_Debug_RequestBreak();
void VM_Debug_SetBreakHook(void (*hook)());
// Stops taken so far (breakpoints and step stops).
int32_t VM_Debug_BreakCount();

// Source lines of byte-code offsets.
struct VMLineEntry {
    bool valid;
    int32_t offset;
    int32_t position;
};
// The last pair whose offset is not above offset (invalid when none, or no debug info).
VMLineEntry VM_FindLineEntry(const VMBuffer* debugInfo, int32_t offset);
// Line ends among the source's bytes 1..position (a line feed, a carriage return, the pair CR LF
// once: as Files/Code/Code_Error.h counts them), so from 0; -1 without a pair.
int32_t VM_LineOfPosition(const VMLineEntry& entry, const char* source);

// The machine-state record (u32 0xFFFFFFFF when no code runs).
void VM_WriteDebugState(IBuffer* buffer);
void VM_WriteVariables(IBuffer* buffer, CVariableList* list);
void VM_WriteInstance(IBuffer* buffer, CInstance* instance);
