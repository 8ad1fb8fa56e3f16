// Byte-code packing through the runner's own compile path (CCode::Compile and the compiler
// hooks). The script machine's assembler stands in for the compiler's phases: the packed game
// is loaded and bound with the runner's real variable, function and script tables, and every
// body's disassembly equals the disassembly of what the compile path produced.
#include <gtest/gtest.h>

#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Code_Load.h"
#include "Files/Code/VM_Assembler.h"
#include "Files/Code/VM_Format.h"
#include "Files/Runner/Runner_Game.h"
#include "support/CaptureConsole.h"
#include "support/GameFileTools.h"

namespace {

bool BuildTree(CCode*) { return true; }

bool Generate(CCode* code, VMBuffer** outCode, VMBuffer** outDebug)
{
    std::string error;
    return VM_Assemble(code->GetText(), outCode, outDebug, &error);
}

const CodeCompilerHooks kAssembler = {BuildTree, Generate, nullptr};

void Draw(ScriptValue*, CInstance*, CInstance*, int32_t, ScriptValue*) {}

std::string Disassembly(const VMBuffer* code)
{
    CaptureConsole out;
    VM_DisassembleAll(&out, code);
    return out.text;
}

// The disassembly without the bytes column: a string operand is a game-table index in the file
// and a pool index in freshly compiled code, and the text shown is the same.
std::string Listing(const VMBuffer* code)
{
    std::string text = Disassembly(code), out;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        out += line.substr(0, 11) + (line.size() > 36 ? line.substr(36) : "") + "\n";
        at = end + 1;
    }
    return out;
}

} // namespace

TEST(CompileSeam, ByteCodeFromTheRunnersCompilePathBindsBackToTheSameCode)
{
    static bool added = false;
    if (!added) {
        Function_Add("zb_test_draw", Draw, -1);
        added = true;
    }
    const CodeCompilerHooks* saved = Code_GetCompilerHooks();
    Code_SetCompilerHooks(&kAssembler);
    GamePack_SetCompiler(nullptr);

    const char* sources[] = {
        ".pos 0\npush.v self.score\n.pos 5\npop.v.v global.best\npush.s \"hi\"\nconv.s.v\ncall.i zb_test_draw 1\npopz.v\nexit.i\n",
        ".pos 0\ncall.i scr_a 0\npopz.v\npush.v other.best\nret.v\n",
        ".pos 0\npush.i 3\npop.v.i self.score\npush.s \"hi\"\npop.v.s global.best\nexit.i\n",
    };
    std::string manifest = R"json({"name": "Seam", "mode": "bytecode",
      "scripts": [{"name": "scr_a", "code": ")json";
    auto escape = [](const char* s) {
        std::string out;
        for (const char* p = s; *p; ++p) {
            if (*p == '\n') out += "\\n";
            else if (*p == '"') out += "\\\"";
            else out += *p;
        }
        return out;
    };
    manifest += escape(sources[0]) + R"json("}, {"name": "scr_b", "code": ")json" + escape(sources[1]) +
                R"json("}],
      "objects": [{"name": "o", "events": [{"type": "create", "code": ")json" + escape(sources[2]) + R"json("}]}],
      "rooms": [{"name": "rm"}]})json";
    PackOutput out = TestPack(manifest, ".");
    ASSERT_FALSE(out.game.empty());

    FileImage debug(out.debug.data(), uint32_t(out.debug.size()));
    ASSERT_TRUE(Code_LoadDebugCompanion(debug));
    TestLoad load;
    TestLoad_Run(load, out.game);
    ASSERT_TRUE(load.ok);
    ASSERT_EQ(Code_Table_Count(), 3);
    for (int32_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        VMBuffer* direct = nullptr;
        VMBuffer* pairs = nullptr;
        std::string error;
        ASSERT_TRUE(VM_Assemble(sources[i], &direct, &pairs, &error)) << error;
        EXPECT_EQ(Listing(Code_Table_Code(i)), Listing(direct));
        EXPECT_EQ(std::string(Code_DebugSource(i)), sources[i]);
        const uint8_t* bytes = nullptr;
        EXPECT_EQ(Code_DebugPairs(i, &bytes), pairs ? pairs->m_size / 8 : 0);
        delete direct;
        delete pairs;
    }
    EXPECT_NE(Disassembly(Code_Table_Code(1)).find("call.i    100000"), std::string::npos)
        << "the call of scr_a is bound to script 0 by name";
    EXPECT_NE(Disassembly(Code_Table_Code(0)).find("hi"), std::string::npos);
    Code_SetCompilerHooks(saved);
    Header_Clear(g_GameHeader);
    Code_Clear();
    Code_ClearDebug();
}

TEST(CompileSeam, CompileErrorsStopPackingWithTheirText)
{
    const CodeCompilerHooks* saved = Code_GetCompilerHooks();
    Code_SetCompilerHooks(nullptr); // the packer installs the runner's compiler
    GamePack_SetCompiler(nullptr);
    PackOutput out;
    std::string error;
    EXPECT_FALSE(TestPackTry(R"({"mode": "bytecode", "scripts": [{"name": "s", "code": "if ((("}], "rooms": [{"name": "r"}]})",
                             ".", out, error));
    EXPECT_NE(error.find("script s (inline code) does not compile: Error in code at line 1"), std::string::npos) << error;
    EXPECT_TRUE(TestPackTry(R"({"mode": "bytecode", "scripts": [{"name": "s", "code": "a = 1;"}], "rooms": [{"name": "r"}]})",
                            ".", out, error))
        << error;
    Code_SetCompilerHooks(saved);
}

TEST(CompileSeam, GlobalvarNamesArePackedWithTheGlobalScope)
{
    // The runner that plays packed byte code never compiles the declaration, wherever it
    // stands: here in the object's code, compiled after the script that uses the names.
    const CodeCompilerHooks* saved = Code_GetCompilerHooks();
    Code_SetCompilerHooks(nullptr);
    GamePack_SetCompiler(nullptr);
    PackOutput out = TestPack(R"({"mode": "bytecode",
      "scripts": [{"name": "s", "code": "gv += 1; gva[2] = gv; mine = 1;"}],
      "objects": [{"name": "o", "events": [{"type": "create", "code": "globalvar gv, gva; gv = 3;"}]}],
      "rooms": [{"name": "r"}]})",
                              ".");
    ASSERT_FALSE(out.game.empty());
    TestLoad load;
    TestLoad_Run(load, out.game);
    ASSERT_TRUE(load.ok);
    ASSERT_EQ(Code_Table_Count(), 2);
    // The scope in the word's field (its first two bytes): -5 global, -6 a plain name.
    auto scopes = [](const std::string& listing, const std::string& name) {
        std::string found;
        size_t at = 0;
        while ((at = listing.find("$" + name + "$", at)) != std::string::npos) {
            size_t line = listing.rfind('\n', at) + 1;
            found += listing.substr(line + 11, 4) + " ";
            at = listing.find('\n', at);
        }
        return found;
    };
    const std::string script = Disassembly(Code_Table_Code(0)), object = Disassembly(Code_Table_Code(1));
    EXPECT_EQ(scopes(script, "gv"), "fbff fbff fbff ") << script;
    EXPECT_EQ(scopes(script, "mine"), "faff ") << script;
    EXPECT_EQ(scopes(object, "gv"), "fbff ") << object;
    // gva[2]: the global scope goes on the stack before the index.
    EXPECT_NE(script.find("push.i    -5\n"), std::string::npos) << script;
    Code_SetCompilerHooks(saved);
    Header_Clear(g_GameHeader);
    Code_Clear();
}
