// The INI and registry built-ins of the "File.." group: one current INI file (an IniFile,
// Files/Support/IniFile.h, read from the save area or the program folder and written to the
// save area) and the registry functions, which keep their keys in memory for the run: the
// store starts empty and is gone when the program ends. Registered by Function_File_Init.
//
// Needs: IniFile, the error reporter, the real conversions. No Linux/ file.
#include <cstring>
#include <string>
#include <unordered_map>

#include "Files/Base/RealConvert.h"
#include "Files/Base/Value.h"
#include "Files/Code/Code_Builtin.h"
#include "Files/Code/Code_Error.h"
#include "Files/Function/Function_File.h"
#include "Files/Support/IniFile.h"
#include "Platform/MemoryManager.h"

namespace {

using namespace zbargs;

// "%f": six decimals, any magnitude, independent of the locale.
std::string FormatF(double x)
{
    std::string s(size_t(Real_FixedLength(x, 6)) + 1, '\0');
    Real_FormatFixed(s.data(), s.size(), x, 6);
    s.pop_back();
    return s;
}

// [SECTION] INI files

IniFile* g_ini = nullptr; // the current INI, null when none is open

// Writes the current INI out when it changed, and destroys it. Returns the text, or null.
char* CloseCurrent()
{
    if (!g_ini) return nullptr;
    char* text = g_ini->Flush();
    delete g_ini;
    g_ini = nullptr;
    return text;
}

bool NeedIni(const char* message)
{
    if (g_ini) return true;
    Code_Error_Report(message, false);
    return false;
}

bool AllStrings(int32_t argc, const ScriptValue* args, int32_t count)
{
    if (argc != count) return false;
    for (int32_t i = 0; i < count; i++)
        if (!Value_IsString(&args[i])) return false;
    return true;
}

constexpr const char* kNoIniRead = "Trying to read from undefined INI file";
constexpr const char* kNoIniChange = "Trying to change undefined INI file";

ZB_BUILTIN(F_IniOpen)
{
    Value_SetReal(result, 0.0);
    MEM_FREE(CloseCurrent());
    g_ini = new IniFile();
    g_ini->Load(ArgText(argc, args, 0), false);
}

ZB_BUILTIN(F_IniOpenFromString)
{
    Value_SetReal(result, 0.0);
    MEM_FREE(CloseCurrent());
    g_ini = new IniFile();
    g_ini->SetText(ArgText(argc, args, 0));
}

ZB_BUILTIN(F_IniClose)
{
    Value_SetString(result, "");
    if (char* text = CloseCurrent()) Value_SetStringOwned(result, text);
}

ZB_BUILTIN(F_IniReadString)
{
    Value_SetString(result, "");
    if (!NeedIni(kNoIniRead)) return;
    if (!AllStrings(argc, args, 3)) {
        Code_Error_Report("ini_read_string wrong type of arguments", false);
        return;
    }
    if (IniKey* key = g_ini->FindKey(Value_Text(&args[0]), Value_Text(&args[1])))
        Value_SetString(result, key->value ? key->value : "");
    else
        Value_SetString(result, Value_Text(&args[2]));
}

ZB_BUILTIN(F_IniReadReal)
{
    Value_SetReal(result, 0.0);
    if (argc != 3 || !Value_IsString(&args[0]) || !Value_IsString(&args[1])) {
        Code_Error_Report("ini_read_real wrong type of arguments", false);
        return;
    }
    double def = args[2].real;
    if (Value_IsString(&args[2])) def = *Value_Text(&args[2]) ? Real_ParseDecimal(Value_Text(&args[2])) : 0.0;
    Value_SetReal(result, def);
    if (!NeedIni(kNoIniRead)) return;
    if (IniKey* key = g_ini->FindKey(Value_Text(&args[0]), Value_Text(&args[1])))
        Value_SetReal(result, Real_ParseDecimal(key->value ? key->value : ""));
}

ZB_BUILTIN(F_IniWriteString)
{
    Value_SetReal(result, 0.0);
    if (!NeedIni(kNoIniRead)) return;
    if (!AllStrings(argc, args, 3)) {
        Code_Error_Report("Wrong argument types for ini_write_string", false);
        return;
    }
    g_ini->WriteString(Value_Text(&args[0]), Value_Text(&args[1]), Value_Text(&args[2]));
}

ZB_BUILTIN(F_IniWriteReal)
{
    Value_SetReal(result, 0.0);
    if (!NeedIni(kNoIniRead)) return;
    if (argc != 3 || !Value_IsString(&args[0]) || !Value_IsString(&args[1]) || Value_IsString(&args[2])) {
        Code_Error_Report("Wrong argument types for ini_write_real", false);
        return;
    }
    g_ini->WriteString(Value_Text(&args[0]), Value_Text(&args[1]), FormatF(args[2].real).c_str());
}

ZB_BUILTIN(F_IniKeyExists)
{
    Value_SetReal(result, 0.0);
    if (!NeedIni(kNoIniRead)) return;
    if (g_ini->FindKey(ArgText(argc, args, 0), ArgText(argc, args, 1))) Value_SetReal(result, 1.0);
}

ZB_BUILTIN(F_IniSectionExists)
{
    Value_SetReal(result, 0.0);
    if (!NeedIni(kNoIniRead)) return;
    if (g_ini->FindSection(ArgText(argc, args, 0))) Value_SetReal(result, 1.0);
}

ZB_BUILTIN(F_IniKeyDelete)
{
    Value_SetReal(result, 0.0);
    if (!NeedIni(kNoIniChange)) return;
    g_ini->DeleteKey(ArgText(argc, args, 0), ArgText(argc, args, 1));
}

ZB_BUILTIN(F_IniSectionDelete)
{
    Value_SetReal(result, 0.0);
    if (!NeedIni(kNoIniChange)) return;
    g_ini->DeleteSection(ArgText(argc, args, 0));
}

// [SECTION] Registry key store

struct RegistryValue {
    std::string text;
    bool hasText = false; // a key written with a value that has no text
};

// Keys compare ignoring ASCII case: the store is indexed by the lower-case key.
std::unordered_map<std::string, RegistryValue> g_registry;

std::string KeyOf(const char* key)
{
    std::string k = key;
    for (char& c : k)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    return k;
}

void RegistryWrite(const char* key, const char* text)
{
    RegistryValue& v = g_registry[KeyOf(key)];
    v.hasText = text != nullptr;
    v.text = text ? text : "";
}

const RegistryValue* RegistryFind(const char* key)
{
    auto it = g_registry.find(KeyOf(key));
    return it == g_registry.end() ? nullptr : &it->second;
}

ZB_BUILTIN(F_RegistryWriteString)
{
    Value_SetReal(result, 0.0);
    const ScriptValue& value = ArgOrZero(argc, args, 1);
    RegistryWrite(ArgText(argc, args, 0), Value_IsString(&value) ? Value_Text(&value) : nullptr);
}

ZB_BUILTIN(F_RegistryWriteReal)
{
    Value_SetReal(result, 0.0);
    RegistryWrite(ArgText(argc, args, 0), FormatF(ArgReal(argc, args, 1)).c_str());
}

ZB_BUILTIN(F_RegistryReadString)
{
    Value_SetString(result, "");
    if (const RegistryValue* v = RegistryFind(ArgText(argc, args, 0)))
        if (v->hasText) Value_SetString(result, v->text.c_str());
}

ZB_BUILTIN(F_RegistryReadReal)
{
    Value_SetReal(result, 0.0);
    if (const RegistryValue* v = RegistryFind(ArgText(argc, args, 0)))
        Value_SetReal(result, Real_ParseDecimal(v->text.c_str()));
}

ZB_BUILTIN(F_RegistryExists) { Value_SetReal(result, RegistryFind(ArgText(argc, args, 0)) ? 1.0 : 0.0); }

ZB_BUILTIN(F_RegistryReadStringExt) { Value_SetString(result, ""); }
ZB_BUILTIN(F_RegistryNothing) { Value_SetReal(result, 0.0); }

} // namespace

void Function_Ini_CloseAll()
{
    MEM_FREE(CloseCurrent());
    g_registry.clear();
}

void Function_Ini_Register()
{
    Function_Add("ini_open_from_string", F_IniOpenFromString, 1);
    Function_Add("ini_open", F_IniOpen, 1);
    Function_Add("ini_close", F_IniClose, 0);
    Function_Add("ini_read_string", F_IniReadString, 3);
    Function_Add("ini_read_real", F_IniReadReal, 3);
    Function_Add("ini_write_string", F_IniWriteString, 3);
    Function_Add("ini_write_real", F_IniWriteReal, 3);
    Function_Add("ini_key_exists", F_IniKeyExists, 2);
    Function_Add("ini_section_exists", F_IniSectionExists, 1);
    Function_Add("ini_key_delete", F_IniKeyDelete, 2);
    Function_Add("ini_section_delete", F_IniSectionDelete, 1);

    Function_Add("registry_write_string", F_RegistryWriteString, 2);
    Function_Add("registry_write_real", F_RegistryWriteReal, 2);
    Function_Add("registry_read_string", F_RegistryReadString, 1);
    Function_Add("registry_read_real", F_RegistryReadReal, 1);
    Function_Add("registry_exists", F_RegistryExists, 1);
    Function_Add("registry_write_string_ext", F_RegistryNothing, 3);
    Function_Add("registry_write_real_ext", F_RegistryNothing, 3);
    Function_Add("registry_read_string_ext", F_RegistryReadStringExt, 2);
    Function_Add("registry_read_real_ext", F_RegistryNothing, 2);
    Function_Add("registry_exists_ext", F_RegistryNothing, 2);
    Function_Add("registry_set_root", F_RegistryNothing, 1);
}
