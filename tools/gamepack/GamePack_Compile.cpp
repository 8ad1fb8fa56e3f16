// The packer's compiler seam (see GamePack_Compile.h): compiles one piece of ZBL with the
// runner's own compiler (CCode) and reads back, from the byte code it generated, every
// instruction that names a variable (push.v, pop), a function (call) or a string (push.s),
// turning the ids into names again through the runner's tables.
#include "GamePack_Compile.h"

#include <cstring>

#include "Files/Base/Console.h"
#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Compile.h"
#include "Files/Code/Code_Constant.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Code_Generate.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/VM_Format.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Runner/Runner_Wiring.h"
#include "Files/Script/Script_Main.h"
#include "Files/Variable/Variable_World.h"
#include "GamePack_Project.h"
#include "Zimbrel.h"

namespace {

GamePackCompiler g_Compiler = GamePack_CompileWithRunner;

uint32_t Word(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

bool GamePack_ReadCompiledUnit(const VMBuffer* code, const VMBuffer* debug, CompiledUnit& out, std::string& error)
{
    out = CompiledUnit();
    if (!code) return true;
    const uint8_t* p = code->m_pData;
    const uint32_t size = uint32_t(code->m_size);
    out.code.assign(p, p + size);
    for (uint32_t at = 0; at + 4 <= size;) {
        const uint32_t w = Word(p + at);
        const uint32_t op = VM_Opcode(w);
        const uint32_t operand = VM_HasOperand(op) ? uint32_t(VM_TypeSize(VM_Type1(w))) : 0;
        if (at + 4 + operand > size) {
            error = "the compiler's byte code is cut short";
            return false;
        }
        if (operand == 4) {
            const uint32_t value = Word(p + at + 4);
            if (op == VMOP_POP || (op == VMOP_PUSH && VM_Type1(w) == VMT_VAR)) {
                out.variables.push_back({at, Code_Variable_GetName(int32_t(value & VMREF_ID_MASK))});
            } else if (op == VMOP_CALL) {
                out.functions.push_back({at, Function_GetName(int32_t(value))});
            } else if (op == VMOP_PUSH && VM_Type1(w) == VMT_STRING) {
                const char* text = code->GetString(int32_t(value));
                out.strings.push_back({at, text ? text : ""});
            }
        }
        at += 4 + operand;
    }
    if (debug && debug->m_pData)
        for (int32_t i = 0; i + 4 <= debug->m_size; i += 4) out.debug.push_back(int32_t(Word(debug->m_pData + i)));
    return true;
}

bool GamePack_CompileWithRunner(const std::string& source, const std::string& name, CompiledUnit& out, std::string& error)
{
    CCode unit(source.c_str(), false);
    Code_Error_ClearRecorded();
    if (!unit.Compile(name.c_str())) {
        const char* text = Code_Error_GetText();
        error = name + ": " + (text ? text : "does not compile");
        return false;
    }
    // The run-time compile path writes no debug pairs. The compiler's packer entry writes one
    // (offset, source position) pair per statement; they are taken when it produced the very
    // same byte code, so the runner's error reports carry lines.
    const VMBuffer* debug = unit.m_pDebugInfo;
    CompiledByteCode withPairs;
    if (!debug && unit.m_pCode && Code_CompileByteCode(source.c_str(), false, name.c_str(), &withPairs) &&
        withPairs.code && withPairs.code->m_size == unit.m_pCode->m_size &&
        std::memcmp(withPairs.code->m_pData, unit.m_pCode->m_pData, size_t(unit.m_pCode->m_size)) == 0)
        debug = withPairs.debug;
    Code_Error_ClearRecorded();
    bool ok = GamePack_ReadCompiledUnit(unit.m_pCode, debug, out, error);
    Code_CompiledByteCode_Free(&withPairs);
    return ok;
}

namespace {
// A console that drops the registration log while the packer prepares the tables.
class QuietConsole : public tagIConsole {
public:
    bool Query(int, int) override { return true; }
    void Output(const char*, ...) override {}
};
} // namespace

namespace {

// The project's resource names by kind, for the constant lookup while compiling.
std::vector<std::string> g_Names[RESOURCE_KIND_COUNT];

template <ResourceKind K>
int32_t FindName(const char* name)
{
    for (size_t i = 0; i < g_Names[K].size(); ++i)
        if (g_Names[K][i] == name) return int32_t(i);
    return -1;
}

template <class T>
void Collect(ResourceKind kind, const std::vector<T>& items)
{
    g_Names[kind].clear();
    for (const T& item : items) g_Names[kind].push_back(item.name);
}

} // namespace

void GamePack_PrepareCompiler(const PackProject& p)
{
    QuietConsole quiet;
    tagIConsole* saved = Console_Get();
    Console_Set(&quiet);
    static bool registered = false;
    if (!registered) {
        registered = true;
        InitZBLFunctions();
        Variable_BuiltIn_Init();
        World_RegisterVariables();
    }
    const CodeCompilerHooks* hooks = Code_GetCompilerHooks();
    if (!hooks || !hooks->buildTree) Code_Compiler_Init();
    Script_Init();
    for (size_t i = 0; i < p.scripts.size(); ++i) Script_Add(p.scripts[i].name.c_str(), nullptr, int32_t(i));
    Collect(RESOURCE_OBJECT, p.objects);
    Collect(RESOURCE_SPRITE, p.sprites);
    Collect(RESOURCE_BACKGROUND, p.backgrounds);
    Collect(RESOURCE_PATH, p.paths);
    Collect(RESOURCE_FONT, p.fonts);
    Collect(RESOURCE_TIMELINE, p.timelines);
    Collect(RESOURCE_SCRIPT, p.scripts);
    Collect(RESOURCE_ROOM, p.rooms);
    Code_Constant_SetResourceFinder(RESOURCE_OBJECT, FindName<RESOURCE_OBJECT>);
    Code_Constant_SetResourceFinder(RESOURCE_SPRITE, FindName<RESOURCE_SPRITE>);
    Code_Constant_SetResourceFinder(RESOURCE_BACKGROUND, FindName<RESOURCE_BACKGROUND>);
    Code_Constant_SetResourceFinder(RESOURCE_PATH, FindName<RESOURCE_PATH>);
    Code_Constant_SetResourceFinder(RESOURCE_FONT, FindName<RESOURCE_FONT>);
    Code_Constant_SetResourceFinder(RESOURCE_TIMELINE, FindName<RESOURCE_TIMELINE>);
    Code_Constant_SetResourceFinder(RESOURCE_SCRIPT, FindName<RESOURCE_SCRIPT>);
    Code_Constant_SetResourceFinder(RESOURCE_ROOM, FindName<RESOURCE_ROOM>);
    Code_Constant_Init();
    std::vector<const char*> names, values;
    for (auto& [name, value] : p.constants) {
        names.push_back(name.c_str());
        values.push_back(value.c_str());
    }
    Code_Constant_DefineGame(int32_t(names.size()), names.data(), values.data());
    Code_SetGlobalsByDeclaration(true);
    Console_Set(saved);
}

void GamePack_ReleaseCompiler()
{
    Code_SetGlobalsByDeclaration(false);
    Script_Free();
    Code_Constant_Free();
    for (int k = 0; k < RESOURCE_KIND_COUNT; ++k) {
        Code_Constant_SetResourceFinder(ResourceKind(k), nullptr);
        g_Names[k].clear();
    }
}


void GamePack_SetCompiler(GamePackCompiler compiler) { g_Compiler = compiler ? compiler : GamePack_CompileWithRunner; }

bool GamePack_Compile(const std::string& source, const std::string& name, CompiledUnit& out, std::string& error)
{
    return g_Compiler(source, name, out, error);
}
