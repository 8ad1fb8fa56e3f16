// The variable-name table (Files/Code/Code_Variable.h). A name-to-index map beside the array
// keeps lookups constant-time; the order of the names is the id order.
#include "Files/Code/Code_Variable.h"

#include <deque>
#include <string>

#include "Files/Code/Variable_BuiltIn.h"
#include "Platform/NameIndex.h"

namespace {

std::deque<std::string> g_names; // a deque: names never move, so their texts stay valid
NameIndex g_index{NameIndex::kUntracked}; // name -> index in g_names (a compile adds what it does not find)

} // namespace

int32_t Code_Variable_Find(const char* name)
{
    if (!name) return -1;
    int32_t b = Variable_BuiltIn_Find(name);
    if (b >= 0) return b;
    return Code_Variable_FindOrAdd(name);
}

int32_t Code_Variable_FindOrAdd(const char* name)
{
    if (!name) return -1;
    const int32_t found = g_index.Find(name);
    if (found >= 0) return VARIABLE_USER_BASE + found;
    int32_t index = int32_t(g_names.size());
    g_names.emplace_back(name);
    g_index.Add(name, index);
    return VARIABLE_USER_BASE + index;
}

int32_t Code_Variable_FindUser(const char* name)
{
    if (!name) return -1;
    const int32_t found = g_index.Find(name);
    return found < 0 ? -1 : VARIABLE_USER_BASE + found;
}

const char* Code_Variable_GetUserName(int32_t id)
{
    int64_t i = int64_t(id) - VARIABLE_USER_BASE;
    if (i < 0 || i >= int64_t(g_names.size())) return "<unknown variable>";
    return g_names[size_t(i)].c_str();
}

const char* Code_Variable_GetName(int32_t id)
{
    if (id < VARIABLE_USER_BASE) return Variable_BuiltIn_GetName(id);
    return Code_Variable_GetUserName(id);
}

int32_t Code_Variable_Count() { return int32_t(g_names.size()); }

void Code_Variable_Free()
{
    g_index.Clear();
    g_names.clear();
    NameGeneration::Advance(); // the ids given so far name other variables from now on
}
