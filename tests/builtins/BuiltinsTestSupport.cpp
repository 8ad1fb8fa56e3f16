#include "builtins/BuiltinsTestSupport.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Files/Base/Random.h"
#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Compile.h"
#include "Files/Code/Code_Constant.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/VM.h"
#include "Files/Function/Function_DS.h"
#include "Files/Function/Function_Math.h"
#include "Files/Function/Function_Misc.h"
#include "Files/Object/Object.h"
#include "Files/Object/Instance.h"
#include "Files/Object/Instance_Pending.h"
#include "Files/Support/CommandLine.h"
#include "Files/Script/Script_Main.h"
#include "Files/DLL/DLL.h"
#include "Files/DS/DS_Main.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Code/Variable_List.h"
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

void CaptureConsole::Output(const char* format, ...)
{
    va_list a, b;
    va_start(a, format);
    va_copy(b, a);
    int n = std::vsnprintf(nullptr, 0, format, a);
    va_end(a);
    std::string s(size_t(n > 0 ? n : 0) + 1, '\0');
    std::vsnprintf(s.data(), s.size(), format, b);
    va_end(b);
    s.resize(size_t(n > 0 ? n : 0));
    text += s;
}

void BuiltinsTest::SetUp()
{
    Code_Error_Reset();
    Code_Error_ClearRecorded();
    Code_Error_SetText(nullptr);
    Script_Free();
    Code_Table_Free();
    Function_Free();
    Function_SetExtensionHooks(nullptr);
    Variable_Free();
    Variable_Global_Init();
    Variable_SetUnsetReadsZero(false);
    Code_Variable_Free();
    Code_FreeArguments();
    Code_SetArgumentCount(0);
    Run_SetActiveList(nullptr);
    Instance_FreeAll();
    Object_InitHash();
    VM_CompareEpsilon = 0.00001;
    DS_Reset();
    DLL_FreeAll();
    Function_Misc_FreeExecuteCache();
    Function_Misc_SetEventHooks(nullptr);
    Random_SetSeed(0);

    g_StartupOptions.byteCodeInterpreter = 1;
    Code_Compiler_Init();
    Code_Constant_Init();
    Variable_BuiltIn_Init();
    Variable_BuiltIn_RegisterArguments();
    Function_Math_Init();
    Function_DS_Init();
    Function_Misc_Init(false);

    Code_Error_SetShowErrors(false);
    Console_Set(&m_console);
    Console_SetFormSink(&m_console);

    while (!Object_Lookup(0)) Object_Add();
    m_self = new CInstance(0, 0, 100001, 0, true);
    InstanceHash_Add(m_self);
}

void BuiltinsTest::TearDown()
{
    Console_SetFormSink(nullptr);
    Console_Set(nullptr);
    InstanceHash_Remove(m_self);
    delete m_self;
    m_self = nullptr;
    DS_Reset();
    DLL_FreeAll();
    Function_Misc_FreeExecuteCache();
    Function_Misc_SetEventHooks(nullptr);
    Code_Constant_Free();
    Code_SetCompilerHooks(nullptr);
    Code_FreeArguments();
    Function_Free();
    Variable_Free();
    Code_Variable_Free();
    Code_Error_Reset();
    Code_Error_SetText(nullptr);
    Instance_FreeAll();
    Object_Free();
    Code_Error_SetShowErrors(true);
}

Val BuiltinsTest::CallV(const char* name, const std::vector<Val>& args)
{
    int32_t id = -1;
    if (!Code_Function_Find(name, &id) || !Function_Get(id)) {
        ADD_FAILURE() << "no built-in " << name;
        return Val();
    }
    std::vector<ScriptValue> raw;
    for (const Val& v : args) raw.push_back(v.Raw()); // borrowed: built-ins do not free arguments
    ScriptValue result = Value_Real(0.0);
    Function_Get(id)->f(&result, m_self, m_self, int32_t(raw.size()), raw.data());
    return Val::Adopt(&result);
}

Val BuiltinsTest::Call(const char* name, std::initializer_list<Val> args)
{
    return CallV(name, std::vector<Val>(args));
}

int BuiltinsTest::Errors() const
{
    int n = 0;
    for (size_t at = m_console.text.find("ERROR!!! :: "); at != std::string::npos;
         at = m_console.text.find("ERROR!!! :: ", at + 1))
        n++;
    return n;
}

void BuiltinsTest::ClearLog()
{
    m_console.text.clear();
    Code_Error_Reset();
    Code_Error_SetShowErrors(false);
}

std::string RunPython(const std::string& script, const std::string& input)
{
    std::string here = __FILE__;
    std::string path = here.substr(0, here.rfind("/builtins/")) + "/data/builtins/" + script;
    char inputName[] = "/tmp/zb_python_inXXXXXX";
    int fd = mkstemp(inputName);
    if (fd < 0) {
        ADD_FAILURE() << "no temporary file";
        return "";
    }
    FILE* f = fdopen(fd, "w");
    std::fwrite(input.data(), 1, input.size(), f);
    std::fclose(f);
    std::string command = "python3 '" + path + "' < '" + inputName + "'";
    std::string output;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) output.append(buffer, n);
        int status = pclose(p);
        if (status != 0) ADD_FAILURE() << "python3 " << script << " failed with " << status;
    } else {
        ADD_FAILURE() << "python3 did not run";
    }
    std::remove(inputName);
    return output;
}
