// The packer's compiler seam (see GamePack_Compile.h).
#include "GamePack_Compile.h"

namespace {
GamePackCompiler g_Compiler = GamePack_CompileWithRunner;
}

// The runner's compiler is not built yet: the compiler module defines the real body here
// (compile the unit with CCode, walk its byte code for variable, call and string operands).
bool GamePack_CompileWithRunner(const std::string&, const std::string& name, CompiledUnit&, std::string& error)
{
    error = name + ": byte-code mode needs the runner's compiler, which this build does not have; pack with "
                   "\"mode\": \"source\"";
    return false;
}

void GamePack_SetCompiler(GamePackCompiler compiler) { g_Compiler = compiler ? compiler : GamePack_CompileWithRunner; }

bool GamePack_Compile(const std::string& source, const std::string& name, CompiledUnit& out, std::string& error)
{
    return g_Compiler(source, name, out, error);
}
