// Calling built-in functions from tests (tests/support/BuiltinTest.h).
#include "support/BuiltinTest.h"

#include <unistd.h>

#include <cstdio>

#include "Files/Base/Random.h"
#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Compile.h"
#include "Files/Code/Code_Constant.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/VM.h"
#include "Files/Code/VM_Format.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Code/Variable_List.h"
#include "Files/DLL/DLL.h"
#include "Files/DS/DS_Main.h"
#include "Files/Object/Instance.h"
#include "Files/Object/Instance_Pending.h"
#include "Files/Object/Object.h"
#include "Files/Script/Script_Main.h"
#include "Files/Support/CommandLine.h"
#include "Platform/MemoryManager.h"

Val::Val(const char* text) : m_v{VALUE_STRING, text ? MEM_STRDUP(text) : nullptr, 0.0} {}

Val Val::Adopt(ScriptValue* v)
{
    Val out;
    Value_Move(&out.m_v, v);
    return out;
}

Val::Val(const Val& other) : m_v(Value_Real(0.0)) { Value_Copy(&m_v, &other.m_v); }

Val& Val::operator=(const Val& other)
{
    Value_Copy(&m_v, &other.m_v);
    return *this;
}

Val::~Val() { Value_FreeString(&m_v); }

std::string Val::Text() const
{
    if (m_v.kind != VALUE_STRING) return "<real>";
    return m_v.text ? m_v.text : "";
}

Val NoText()
{
    ScriptValue v{VALUE_STRING, nullptr, 0.0};
    return Val::Adopt(&v);
}

Val Builtin_Call(const char* name, const std::vector<Val>& args, CInstance* self, CInstance* other, bool checkCount)
{
    int32_t id = -1;
    const BuiltinFunction* row = Code_Function_Find(name, &id) ? Function_Get(id) : nullptr;
    if (!row) {
        ADD_FAILURE() << "no built-in " << name;
        return Val();
    }
    if (checkCount && row->argCount >= 0) {
        EXPECT_EQ(row->argCount, int32_t(args.size())) << name;
    }
    std::vector<ScriptValue> raw;
    for (const Val& v : args) raw.push_back(v.Raw());
    ScriptValue result = Value_Real(0.0);
    row->f(&result, self, other, int32_t(raw.size()), raw.data());
    return Val::Adopt(&result);
}

void Script_ResetTables()
{
    Code_Error_Reset();
    Code_Error_ClearRecorded();
    Code_Error_SetText(nullptr);
    Code_SetCompilerHooks(nullptr);
    Script_Free();
    Code_Table_Free();
    VM_StringTable_Free();
    Function_Free();
    Function_SetExtensionHooks(nullptr);
    Function_SetRelative(0);
    Variable_Free();
    Variable_Global_Init();
    Variable_SetUnsetReadsZero(false);
    Code_Variable_Free();
    Code_FreeArguments();
    Code_SetArgumentCount(0);
    Run_SetActiveList(nullptr);
    Run_ClearObjectChanges();
    Instance_FreeAll();
    Object_InitHash();
    VM_CompareEpsilon = 0.00001;
    DS_Reset();
    DLL_FreeAll();
}

void BuiltinTest::SetUp()
{
    Script_ResetTables();
    Random_SetSeed(0);
    g_StartupOptions.byteCodeInterpreter = 1;
    Code_Compiler_Init();
    Code_Constant_Init();
    Variable_BuiltIn_Init();
    Variable_BuiltIn_RegisterArguments();
    Register();
    Code_Error_SetShowErrors(false);
    m_console = std::make_unique<CaptureConsole>(true);
    while (!Object_Lookup(0)) Object_Add();
    m_self = new CInstance(0, 0, 100001, 0, true);
    InstanceHash_Add(m_self);
}

void BuiltinTest::TearDown()
{
    m_console.reset();
    InstanceHash_Remove(m_self);
    delete m_self;
    m_self = nullptr;
    Code_Constant_Free();
    Script_ResetTables();
    Object_Free();
    Code_Error_SetShowErrors(true);
}

void BuiltinTest::ClearLog()
{
    m_console->Clear();
    Code_Error_Reset();
    Code_Error_SetShowErrors(false);
}

std::string RunPython(const std::string& script, const std::string& input)
{
    const std::string path = std::string(ZB_TESTS_DIR) + "/data/" + script;
    char inputName[] = "/tmp/zb_python_inXXXXXX";
    const int fd = mkstemp(inputName);
    if (fd < 0) {
        ADD_FAILURE() << "no temporary file";
        return "";
    }
    FILE* f = fdopen(fd, "w");
    std::fwrite(input.data(), 1, input.size(), f);
    std::fclose(f);
    const std::string command = "python3 '" + path + "' < '" + inputName + "'";
    std::string output;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) output.append(buffer, n);
        const int status = pclose(p);
        if (status != 0) ADD_FAILURE() << "python3 " << script << " failed with " << status;
    } else {
        ADD_FAILURE() << "python3 did not run";
    }
    std::remove(inputName);
    return output;
}

std::vector<std::string> g_Log;

std::string LogText()
{
    std::string s;
    for (const std::string& e : g_Log) s += (s.empty() ? "" : " ") + e;
    return s;
}

namespace {

void TestLog(ScriptValue* result, CInstance*, CInstance*, int32_t argc, ScriptValue* args)
{
    Value_SetReal(result, 0);
    std::string line;
    for (int32_t k = 0; k < argc; ++k) {
        if (k) line += ":";
        if (args[k].kind == VALUE_STRING) {
            line += args[k].text ? args[k].text : "";
        } else {
            char b[64];
            std::snprintf(b, sizeof b, "%g", args[k].real);
            line += b;
        }
    }
    g_Log.push_back(line);
}

} // namespace

void TestLog_Register() { Function_Add("test_log", TestLog, -1); }
