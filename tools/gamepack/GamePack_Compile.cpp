// The packer's compiler seam (see GamePack_Compile.h): compiles one piece of ZBL with the
// runner's own compiler (CCode) and reads back, from the byte code it generated, every
// instruction that names a variable (push.v, pop), a function (call) or a string (push.s),
// turning the ids into names again through the runner's tables.
#include "GamePack_Compile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>

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
#include "Files/IO/IO_Gamepad.h"
#include "Files/Runner/Runner_Wiring.h"
#include "Files/Script/Script_Main.h"
#include "Files/Variable/Variable_World.h"
#include "GamePack_Project.h"
#include "Platform/NameIndex.h"
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
        error = text ? text : "does not compile";
        Code_Error_ClearRecorded();
        return false;
    }
    // The compile keeps one (byte-code offset, source position) pair per statement, so the
    // runner's error reports carry lines.
    Code_Error_ClearRecorded();
    bool ok = GamePack_ReadCompiledUnit(unit.m_pCode, unit.m_pDebugInfo, out, error);
    return ok;
}

namespace {
// A console that drops the registration log while the packer prepares the tables.
class QuietConsole : public tagIConsole {
public:
    bool Query(int, int) override { return true; }
    void Output(const char*, ...) override {}
};

// No gamepads in the packer: the function registrars set up the pads of a game that is about
// to play, which a tool has no use for.
class NoGamepads : public IGamepadBackend {
public:
    bool Available() override { return false; }
    void Refresh() override {}
    bool GetState(int32_t, GamepadReading*) override { return false; }
    bool GetDescription(int32_t, char*, size_t) override { return false; }
    void SetVibration(int32_t, uint16_t, uint16_t) override {}
    void Shutdown() override {}
};

// Registers the built-in functions and variables once. The registrars trace on the runner's
// debug console, which writes to the standard output whatever console is chosen: the packer's
// output stays its own, so the standard output is closed to them while they run.
void RegisterBuiltins()
{
    static bool registered = false;
    if (registered) return;
    registered = true;
    static NoGamepads noGamepads;
    IO_Gamepad_SetBackend(&noGamepads);
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    const int nowhere = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved >= 0 && nowhere >= 0) dup2(nowhere, STDOUT_FILENO);
    InitZBLFunctions();
    Variable_BuiltIn_Init();
    World_RegisterVariables();
    std::fflush(stdout);
    if (saved >= 0 && nowhere >= 0) dup2(saved, STDOUT_FILENO);
    if (nowhere >= 0) close(nowhere);
    if (saved >= 0) close(saved);
    IO_Gamepad_SetBackend(nullptr);
}

// The project's resource names by kind, for the constant lookup while compiling: every word
// of the code that is no call is asked of each kind in turn, so a look-up is one hash probe
// (a game of many objects names many of them). A repeated name finds its first resource.
struct KindNames {
    NameIndex index{NameIndex::kUntracked};
};
KindNames g_Names[RESOURCE_KIND_COUNT];

template <ResourceKind K>
int32_t FindName(const char* name)
{
    return g_Names[K].index.Find(name);
}

template <class T>
void Collect(ResourceKind kind, const std::vector<T>& items)
{
    NameIndex& names = g_Names[kind].index;
    names.Clear();
    names.Reserve(items.size());
    for (size_t i = 0; i < items.size(); ++i) names.Add(items[i].name.c_str(), int32_t(i));
}

// What a name given to a resource or a game constant would hide ("" when nothing): a keyword
// is never read as a name, and a name that is also a built-in function, variable or constant
// takes that built-in's place for the whole game (resources and constants are looked up
// first). builtinConstants: the built-in constants' names.
std::string Hides(const std::string& name, const std::set<std::string>& builtinConstants)
{
    CCode unit(name.c_str(), false);
    CodeTokenList tokens;
    if (Code_Tokenize(&unit, &tokens) && tokens.count > 0 && tokens.tokens[0].kind != TOK_NAME &&
        tokens.tokens[0].position == 0 && tokens.tokens[0].length == int32_t(name.size())) {
        const int32_t kind = tokens.tokens[0].kind;
        Code_TokenList_Free(&tokens);
        if ((kind >= TOK_BEGIN && kind <= TOK_GLOBALVAR) || kind == TOK_LAND || kind == TOK_LOR || kind == TOK_NOT ||
            kind == TOK_DIV || kind == TOK_MOD || kind == TOK_LXOR)
            return "a keyword of ZBL";
    } else {
        Code_TokenList_Free(&tokens);
    }
    Code_Error_ClearRecorded();
    int32_t id = -1;
    if (Code_Function_Find(name.c_str(), &id) && id >= 0) return "a built-in function";
    if (Variable_BuiltIn_Find(name.c_str()) >= 0) return "a built-in variable";
    if (builtinConstants.count(name)) return "a built-in constant";
    return "";
}

// Every resource and game constant whose name hides a built-in, refused.
bool CheckNames(const PackProject& p, std::string& error)
{
    std::set<std::string> builtinConstants;
    for (int32_t i = 0; i < Code_Constant_Count(); ++i) builtinConstants.insert(Code_Constant_NameAt(i));
    auto check = [&](const char* kind, const std::string& name) {
        const std::string hidden = Hides(name, builtinConstants);
        if (hidden.empty()) return true;
        error = std::string(kind) + " " + name + ": the name is " + hidden + ", which the " + kind +
                (hidden == "a keyword of ZBL" ? " could never be named by" : " would hide from all code of the game") +
                "; give the " + kind + " another name";
        return false;
    };
    for (const PackScript& x : p.scripts) if (!check("script", x.name)) return false;
    for (const PackSprite& x : p.sprites) if (!check("sprite", x.name)) return false;
    for (const PackBackground& x : p.backgrounds) if (!check("background", x.name)) return false;
    for (const PackFont& x : p.fonts) if (!check("font", x.name)) return false;
    for (const PackPath& x : p.paths) if (!check("path", x.name)) return false;
    for (const PackTimeLine& x : p.timelines) if (!check("time line", x.name)) return false;
    for (const PackObject& x : p.objects) if (!check("object", x.name)) return false;
    for (const PackRoom& x : p.rooms) if (!check("room", x.name)) return false;
    for (const auto& [name, value] : p.constants) if (!check("constant", name)) return false;
    return true;
}

// The byte offset where the text after a value's first expression begins; -1 when the
// expression is the whole value, -2 when the value holds no expression at all. The runner
// reads a constant's first expression and passes over the rest.
int32_t TextAfterExpression(const std::string& value)
{
    CCode unit(value.c_str(), true);
    CodeTokenList tokens;
    ResolvedTokenList resolved;
    CodeNode tree;
    Code_Node_Init(&tree, 0);
    int32_t after = -1, end = 0;
    if (Code_Tokenize(&unit, &tokens) && Code_Resolve(&unit, &tokens, &resolved)) {
        if (resolved.count == 0 || resolved.tokens[0].kind == TOK_END) after = -2;
        else if (Code_ParseExpression(&unit, &resolved, &tree, &end) && end < resolved.count &&
                 resolved.tokens[end].kind != TOK_END)
            after = resolved.tokens[end].position;
    }
    Code_TokenList_Free(&tokens);
    Code_ResolvedList_Free(&resolved);
    Code_Tree_Free(&tree, false);
    Value_FreeString(&tree.value);
    Code_Error_ClearRecorded();
    return after;
}

// The game's constants, defined in order as start-up defines them. A value the game would read
// otherwise than written is refused: one that does not compile or is not constant (the game
// would see 0), an empty one (0), one with more than its first expression ("1e3" is 1 and the
// name e3; "0,5" is 0), a character the compiler passes over, and a JSON number whose spelling
// would read to another value.
bool DefineConstants(const PackProject& p, std::string& error)
{
    for (const auto& [name, value] : p.constants) {
        const std::string shown = "constant " + name + ": its value \"" + value + "\"";
        if (const std::string stray = GamePack_StrayCharacter(value); !stray.empty()) {
            error = shown + ": " + stray;
            return false;
        }
        CCode unit(value.c_str(), true);
        Code_Error_ClearRecorded();
        if (!unit.Compile("Constant")) {
            const char* text = Code_Error_GetText();
            error = shown + " does not compile: " + (text ? text : "");
            Code_Error_ClearRecorded();
            return false;
        }
        const int32_t after = TextAfterExpression(value);
        if (after == -2) {
            error = shown + " is empty, which the game reads as 0; give the value (0 when 0 is meant)";
            return false;
        }
        if (after >= 0) {
            std::string first = value.substr(0, size_t(after));
            first.erase(first.find_last_not_of(" \t\r\n") + 1);
            error = shown + " holds more than one expression: the game reads only \"" + first + "\" and passes over \"" +
                    value.substr(size_t(after)) + "\" (ZBL numbers have no exponent and take \".\" for a fraction, "
                    "not \",\")";
            return false;
        }
        if (unit.m_kind != CODE_CONSTANT) {
            error = shown + " is not a constant expression (numbers, texts, resource names and the constants before it)";
            return false;
        }
        const auto number = p.numberConstants.find(name);
        if (number != p.numberConstants.end() && !(unit.m_constant.kind == VALUE_REAL && unit.m_constant.real == number->second &&
                                                  std::signbit(unit.m_constant.real) == std::signbit(number->second))) {
            error = shown + " reads to another value than the manifest's number; give it as a text of ZBL";
            return false;
        }
        const char* names[] = {name.c_str()};
        const char* values[] = {value.c_str()};
        Code_Constant_DefineGame(1, names, values);
    }
    return true;
}

} // namespace

bool GamePack_PrepareCompiler(const PackProject& p, std::string& error)
{
    QuietConsole quiet;
    tagIConsole* saved = Console_Get();
    Console_Set(&quiet);
    RegisterBuiltins();
    const CodeCompilerHooks* hooks = Code_GetCompilerHooks();
    if (!hooks || !hooks->buildTree) Code_Compiler_Init();
    Script_Init();
    Runner_InitConstants();
    Variable_Global_Init(); // no declaration of an earlier game's code
    bool ok = CheckNames(p, error);
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
    ok = ok && DefineConstants(p, error);
    Code_SetGlobalsByDeclaration(true);
    Console_Set(saved);
    return ok;
}

std::vector<std::string> GamePack_DeclaredGlobals()
{
    std::vector<std::string> names;
    for (int32_t i = 0; i < Variable_Global_DeclaredLength(); ++i)
        if (Variable_Global_IsDeclared(VARIABLE_USER_BASE + i)) names.push_back(Code_Variable_GetUserName(VARIABLE_USER_BASE + i));
    return names;
}

void GamePack_ReleaseCompiler()
{
    Code_SetGlobalsByDeclaration(false);
    Script_Free();
    Code_Constant_Free();
    for (int k = 0; k < RESOURCE_KIND_COUNT; ++k) {
        Code_Constant_SetResourceFinder(ResourceKind(k), nullptr);
        g_Names[k].index.Clear();
    }
}


void GamePack_SetCompiler(GamePackCompiler compiler) { g_Compiler = compiler ? compiler : GamePack_CompileWithRunner; }

bool GamePack_Compile(const std::string& source, const std::string& name, CompiledUnit& out, std::string& error)
{
    return g_Compiler(source, name, out, error);
}
