// Variable access by scope for the machine's push and pop, and the with-loop records.
#include "Files/Code/VM_Internal.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "Files/Code/Code_Variable.h"
#include "Files/Code/Code_World.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Code/Variable_List.h"
#include "Platform/MemoryManager.h"

char g_VMMessage[1024];
int32_t g_VMWithDepth = 0;

uint32_t g_VMLocalOrder = 0;

// ---- Locals ----

namespace {

VMLocal* SlotOfId(int32_t frame, int32_t id)
{
    const VMFrame& f = VM_Frame(frame);
    int32_t slot = f.prog ? f.prog->SlotOf(id) : -1;
    return slot >= 0 ? VM_FrameSlots(f) + slot : nullptr;
}

} // namespace

bool VM_LocalGet(int32_t frame, int32_t id, int32_t index, ScriptValue* out)
{
    g_ArrayError.error = 0;
    if (VMLocal* l = SlotOfId(frame, id)) {
        if (l->v.value.kind == VM_UNSET) return CVariableList::GetMissing(out);
        const ScriptValue* e = CVariableList::Element(&l->v, index);
        if (!e) {
            Value_SetReal(out, 0.0);
            return false;
        }
        Value_Copy(out, e);
        return true;
    }
    CVariableList* extra = VM_Frame(frame).extra;
    if (extra) return extra->Get(id, index, out);
    return CVariableList::GetMissing(out);
}

bool VM_LocalSet(int32_t frame, int32_t id, int32_t index, const ScriptValue* value)
{
    g_ArrayError.error = 0;
    if (VMLocal* l = SlotOfId(frame, id)) {
        if (l->v.value.kind == VM_UNSET) {
            l->v.value = Value_Real(0.0);
            l->order = ++g_VMLocalOrder;
        }
        ScriptValue* slot = CVariableList::Slot(&l->v, index);
        if (!slot) return false;
        Value_Copy(slot, value);
        return true;
    }
    VMFrame& f = VM_Frame(frame);
    if (!f.extra) f.extra = new CVariableList();
    return f.extra->Set(id, index, value);
}

namespace {
std::vector<std::unique_ptr<CVariableList>> g_frameLists; // one per level asked for, reused
}

void VM_FreeFrameLocalsLists() { g_frameLists.clear(); }

CVariableList* VM_FrameLocalsList(const VMFrame& f, int32_t level)
{
    if (level < 0) level = 0;
    while (int32_t(g_frameLists.size()) <= level) g_frameLists.push_back(std::make_unique<CVariableList>());
    CVariableList* list = g_frameLists[size_t(level)].get();
    list->Clear();
    // Oldest first: each goes to the head of its chains, as the variables of a list made one
    // write at a time.
    std::vector<std::pair<uint32_t, int32_t>> made;
    const int32_t count = f.prog ? f.prog->LocalCount() : 0;
    const VMLocal* slots = VM_FrameSlots(f);
    for (int32_t i = 0; i < count; ++i)
        if (slots[i].v.value.kind != VM_UNSET) made.emplace_back(slots[i].order, i);
    std::sort(made.begin(), made.end());
    for (const auto& m : made) list->InsertCopy(f.prog->localIds[size_t(m.second)], &slots[m.second].v);
    if (f.extra) {
        std::vector<const CVariable*> extra;
        for (const CVariable* v = f.extra->All(); v; v = v->nextAll) extra.push_back(v);
        for (size_t i = extra.size(); i-- > 0;) list->InsertCopy(extra[i]->id, extra[i]);
    }
    return list;
}

void VM_FreeFrameLocals(VMFrame& f)
{
    const int32_t count = f.prog ? f.prog->LocalCount() : 0;
    if (count > 0) {
        VMLocal* slots = VM_FrameSlots(f);
        for (int32_t i = 0; i < count; ++i) {
            VMLocal& l = slots[i];
            if (l.v.rowCount) {
                CVariableList::ReleaseContents(&l.v); // the text too
            } else if (l.v.value.kind == VALUE_STRING) {
                MEM_FREE(l.v.value.text);
            }
            l.v.value.kind = VM_UNSET;
        }
    }
    if (f.extra) {
        delete f.extra;
        f.extra = nullptr;
    }
}

// ---- Access by scope ----

bool VM_ReadVariable(CInstance* self, CInstance* other, int32_t frame, int32_t scope, int32_t id, int32_t index,
                     ScriptValue* out)
{
    g_ArrayError.error = 0;
    bool ok;
    switch (scope) {
    case SCOPE_LOCAL: ok = VM_LocalGet(frame, id, index, out); break;
    case SCOPE_PLAIN:
        ok = Variable_Global_IsDeclared(id) ? Variable_Global_Get(id, index, out)
                                            : Variable_Local_Get(self, id, index, out);
        break;
    case SCOPE_GLOBAL: ok = Variable_Global_Get(id, index, out); break;
    case SCOPE_NOONE: Value_SetReal(out, 0.0); return true;
    case SCOPE_OTHER: ok = Variable_Local_Get(other, id, index, out); break;
    case SCOPE_SELF: ok = Variable_Local_Get(self, id, index, out); break;
    default: ok = Variable_Scope_Get(scope, id, index, out); break;
    }
    if (ok) return true;
    const char* name = Code_Variable_GetName(id);
    if (g_ArrayError.error) {
        std::snprintf(g_VMMessage, sizeof g_VMMessage,
                      "Push :: Execution Error - Variable Index [%d,%d] out of range [%d,%d] - %d.%s(%d,%d)",
                      g_ArrayError.row, g_ArrayError.column, g_ArrayError.rowCount, g_ArrayError.rowLength,
                      scope, name, id, index);
    } else {
        std::snprintf(g_VMMessage, sizeof g_VMMessage, "Push :: Execution Error - Variable Get %d.%s(%d, %d)",
                      scope, name, id, index);
    }
    return false;
}

bool VM_WriteVariable(CInstance* self, CInstance* other, int32_t frame, int32_t scope, int32_t id, int32_t index,
                      const ScriptValue* value)
{
    g_ArrayError.error = 0;
    bool ok;
    switch (scope) {
    case SCOPE_LOCAL: ok = VM_LocalSet(frame, id, index, value); break;
    case SCOPE_PLAIN:
        ok = Variable_Global_IsDeclared(id) ? Variable_Global_Set(id, index, value)
                                            : Variable_Local_Set(self, id, index, value);
        break;
    case SCOPE_GLOBAL: ok = Variable_Global_Set(id, index, value); break;
    case SCOPE_NOONE: return true;
    case SCOPE_OTHER: ok = Variable_Local_Set(other, id, index, value); break;
    case SCOPE_SELF: ok = Variable_Local_Set(self, id, index, value); break;
    default: ok = Variable_Scope_Set(scope, id, index, value); break;
    }
    if (g_ArrayError.error || !ok) {
        VM_WriteFailed(id);
        return false;
    }
    return true;
}

ScriptValue* VM_VariableStorage(CInstance* self, CInstance* other, int32_t frame, int32_t scope, int32_t id,
                                int32_t index)
{
    if (scope != SCOPE_LOCAL) return Variable_Scope_Storage(self, other, scope, id, index);
    if (VMLocal* l = SlotOfId(frame, id)) {
        return l->v.value.kind == VM_UNSET ? nullptr : CVariableList::ElementAt(&l->v, index);
    }
    CVariableList* extra = VM_Frame(frame).extra;
    CVariable* v = extra ? extra->Find(id) : nullptr;
    return v ? CVariableList::ElementAt(v, index) : nullptr;
}

void VM_WriteFailed(int32_t id)
{
    if (g_ArrayError.error) {
        std::snprintf(g_VMMessage, sizeof g_VMMessage, "Pop :: Execution Error - Variable index out of range %s",
                      Code_Variable_GetName(id));
    } else {
        std::snprintf(g_VMMessage, sizeof g_VMMessage, "Pop :: Execution Error - Variable set problem %s",
                      Code_Variable_GetName(id));
    }
}

// ---- With-loops ----
// Each record keeps the ids of the instances still to visit, in visiting order, in one shared
// array; an instance that no longer exists when its turn comes is skipped.
namespace {

struct WithRecord {
    int32_t start; // first id of this record in g_ids
    int32_t next;  // next id to visit
    CInstance* savedSelf;
    CInstance* savedOther;
};

std::vector<WithRecord> g_withs;
std::vector<int32_t> g_ids;

void Depth() { g_VMWithDepth = int32_t(g_withs.size()); }

void Candidates(int32_t scope, std::vector<CInstance*>& out)
{
    static std::vector<CInstance*> all;
    all.clear();
    Code_World().instancesOf(scope, true, &all);
    for (CInstance* i : all)
        if (Code_World().isLive(i)) out.push_back(i);
}

} // namespace

bool VM_WithStart(int32_t scope, CInstance** self, CInstance** other, bool* error)
{
    *error = false;
    if (scope == SCOPE_LOCAL || scope == SCOPE_GLOBAL) {
        std::snprintf(g_VMMessage, sizeof g_VMMessage, "%s",
                      scope == SCOPE_LOCAL ? "Cannot use local in with statement" : "Cannot use global in with statement");
        *error = true;
        return false;
    }
    WithRecord r{int32_t(g_ids.size()), int32_t(g_ids.size()), *self, *other};
    g_withs.push_back(r);
    Depth();
    if (scope == SCOPE_SELF || scope == SCOPE_PLAIN) {
        *other = *self;
        return true;
    }
    if (scope == SCOPE_OTHER) {
        CInstance* t = *self;
        *self = *other;
        *other = t;
        return true;
    }
    if (scope >= SCOPE_INSTANCE_BASE) {
        CInstance* i = Code_World().find(scope);
        if (!i || !Code_World().isLive(i)) return false;
        *other = *self;
        *self = i;
        return true;
    }
    if (scope != SCOPE_ALL && scope < 0) return false; // noone and unknown scopes
    static std::vector<CInstance*> found;
    found.clear();
    Candidates(scope, found);
    if (found.empty()) return false;
    size_t c = found.size();
    // Two or fewer are visited in list order; three or more from the last back to the first.
    CInstance* first;
    if (c <= 2) {
        first = found[0];
        for (size_t k = 1; k < c; ++k) g_ids.push_back(Code_World().id(found[k]));
    } else {
        first = found[c - 1];
        for (size_t k = c - 1; k-- > 0;) g_ids.push_back(Code_World().id(found[k]));
    }
    *other = *self;
    *self = first;
    return true;
}

bool VM_WithNext(CInstance** self, CInstance** other)
{
    if (g_withs.empty()) return false;
    WithRecord& r = g_withs.back();
    while (r.next < int32_t(g_ids.size())) {
        CInstance* i = Code_World().find(g_ids[size_t(r.next++)]);
        if (i) {
            *self = i;
            return true;
        }
    }
    VM_WithLeave(self, other);
    return false;
}

void VM_WithLeave(CInstance** self, CInstance** other)
{
    if (g_withs.empty()) return;
    WithRecord r = g_withs.back();
    g_withs.pop_back();
    Depth();
    g_ids.resize(size_t(r.start));
    *self = r.savedSelf;
    *other = r.savedOther;
}

void VM_WithUnwind(int32_t depth)
{
    if (depth < 0) depth = 0;
    while (int32_t(g_withs.size()) > depth) {
        g_ids.resize(size_t(g_withs.back().start));
        g_withs.pop_back();
    }
    Depth();
}
