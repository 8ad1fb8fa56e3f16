// The constant table and the resource lookups (Files/Code/Code_Constant.h).
#include "Files/Code/Code_Constant.h"

#include <cctype>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "Files/Base/Console.h"
#include "Files/Base/Strings.h"
#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_World.h"
#include "Platform/MemoryManager.h"
#include "Platform/NameIndex.h"

namespace {

struct BuiltinConstant {
    const char* name;
    double value;
};

const BuiltinConstant kBuiltins[] = {
#include "Files/Code/Code_ConstantBuiltins.inc"
};

std::vector<std::string> g_names;
std::vector<ScriptValue> g_values;
std::unordered_map<std::string, int32_t> g_exact;  // name -> newest entry
std::unordered_map<std::string, int32_t> g_folded; // lower-cased name -> newest entry

ResourceFinder g_finders[RESOURCE_KIND_COUNT] = {};
GameConstantSource g_gameSource = nullptr;

std::string Lower(const char* s)
{
    std::string r(s);
    for (char& c : r) c = char(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

int32_t DefaultFinder(ResourceKind kind, const char* name)
{
    switch (kind) {
    case RESOURCE_OBJECT: return Code_World().objectFind(name);
    case RESOURCE_SCRIPT: return Code_Scripts().find(name);
    default: return -1;
    }
}

} // namespace

void Code_Constant_Add(const char* name, const ScriptValue* value)
{
    if (!name) return;
    int32_t index = int32_t(g_names.size());
    g_names.emplace_back(name);
    ScriptValue v = Value_Real(0.0);
    Value_Copy(&v, value);
    g_values.push_back(v);
    g_exact[g_names.back()] = index;
    g_folded[Lower(name)] = index;
    NameGeneration::Advance();
}

void Code_Constant_AddReal(const char* name, double real)
{
    ScriptValue v = Value_Real(real);
    Code_Constant_Add(name, &v);
}

void Code_Constant_AddString(const char* name, const char* text)
{
    ScriptValue v = Value_Real(0.0);
    Value_SetString(&v, text);
    Code_Constant_Add(name, &v);
    Value_FreeString(&v);
}

bool Code_Constant_IsValidName(const char* name)
{
    if (!name || !*name) return false;
    auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
    if (!letter(name[0])) return false;
    for (const char* p = name + 1; *p; ++p) {
        if (!letter(*p) && !(*p >= '0' && *p <= '9')) return false;
    }
    return true;
}

bool Code_Constant_CheckName(const char* text)
{
    char* name = nullptr;
    VCL_Trim(&name, text ? text : "");
    bool ok = Code_Constant_IsValidName(name);
    if (ok) {
        Code_Constant_AddReal(name, 0.0);
    } else {
        std::string message = std::string("Constant name ") + (name ? name : "") + "  is not valid.";
        ShowMessage(message.c_str());
    }
    MEM_FREE(name);
    return ok;
}

bool Code_Constant_DefineGame(int32_t count, const char* const* names, const char* const* values)
{
    for (int32_t i = 0; i < count; ++i) {
        if (!names || !names[i]) continue;
        if (!Code_Constant_CheckName(names[i])) return false;
        const char* text = values ? values[i] : nullptr;
        if (!text || !*text) continue;
        // The value text is an expression; a constant result replaces the 0 just defined.
        CCode code(text, true);
        bool compiled = code.Compile("Constant");
        if (compiled && code.m_kind == CODE_CONSTANT) {
            int32_t index = int32_t(g_values.size()) - 1;
            Value_Copy(&g_values[size_t(index)], &code.m_constant);
            NameGeneration::Advance();
        } else if (compiled) {
            Console_Output("Constant %s: value \"%s\" is not a constant expression; it is 0\n", names[i], text);
        } else {
            Console_Output("Constant %s: %s\n", names[i], Code_Error_GetText() ? Code_Error_GetText() : "");
            Code_Error_ClearRecorded();
        }
    }
    return true;
}

void Code_Constant_SetGameSource(GameConstantSource source) { g_gameSource = source; }

bool Code_Constant_Prepare()
{
    if (!g_gameSource) return true;
    int32_t count = 0;
    const char* const* names = nullptr;
    const char* const* values = nullptr;
    g_gameSource(&count, &names, &values);
    return Code_Constant_DefineGame(count, names, values);
}

void Code_Constant_SetResourceFinder(ResourceKind kind, ResourceFinder finder)
{
    if (kind >= 0 && kind < RESOURCE_KIND_COUNT) g_finders[kind] = finder;
    NameGeneration::Advance();
}

bool Code_Constant_FindResource(const char* name, ScriptValue* out)
{
    if (!name) return false;
    for (int32_t k = 0; k < RESOURCE_KIND_COUNT; ++k) {
        auto kind = ResourceKind(k);
        int32_t index = g_finders[k] ? g_finders[k](name) : DefaultFinder(kind, name);
        if (index >= 0) {
            Value_FreeString(out);
            *out = Value_Real(double(index));
            return true;
        }
    }
    auto it = g_exact.find(name);
    if (it == g_exact.end()) return false;
    Value_Copy(out, &g_values[size_t(it->second)]);
    return true;
}

const ScriptValue* Code_Constant_Find(const char* name)
{
    if (!name) return nullptr;
    auto it = g_folded.find(Lower(name));
    return it == g_folded.end() ? nullptr : &g_values[size_t(it->second)];
}

int32_t Code_Constant_Count() { return int32_t(g_names.size()); }

const char* Code_Constant_NameAt(int32_t index)
{
    return index >= 0 && size_t(index) < g_names.size() ? g_names[size_t(index)].c_str() : nullptr;
}

const ScriptValue* Code_Constant_ValueAt(int32_t index)
{
    return index >= 0 && size_t(index) < g_values.size() ? &g_values[size_t(index)] : nullptr;
}

void Code_Constant_RegisterBuiltins()
{
    for (const BuiltinConstant& c : kBuiltins) Code_Constant_AddReal(c.name, c.value);
}

void Code_Constant_Init()
{
    Code_Constant_Free();
    Code_Constant_RegisterBuiltins();
}

void Code_Constant_Free()
{
    for (ScriptValue& v : g_values) Value_FreeString(&v);
    g_values.clear();
    g_names.clear();
    g_exact.clear();
    g_folded.clear();
    NameGeneration::Advance();
}
