// The built-ins of game save and load: game_save, game_load, game_save_buffer,
// game_load_buffer and the actions action_save_game, action_load_game. Thin layers over
// Files/Run/Run_Save.h: arguments converted, the result real 0 (the buffer forms answer 1 or
// 0). The loads are queued and made at the start of the next step.
//
// Needs: the save and load of the run module, the function table. No Linux/ file.
#include "Files/Base/Value.h"
#include "Files/Base/RealConvert.h"
#include "Files/Code/Code_Function.h"
#include "Files/Function/Function_World.h"
#include "Files/Run/Run_Save.h"

namespace {

#define BUILTIN(name)                                                                                                  \
    void name([[maybe_unused]] ScriptValue* result, [[maybe_unused]] CInstance* self,                                 \
              [[maybe_unused]] CInstance* other, [[maybe_unused]] int32_t argc, [[maybe_unused]] ScriptValue* args)

inline int32_t I(const ScriptValue& v) { return Real_RoundToInt32(v.kind == VALUE_REAL ? v.real : 0.0); }

BUILTIN(F_GameSave)
{
    Value_SetReal(result, 0);
    Run_SaveGame(Value_Text(&args[0]));
}
BUILTIN(F_GameLoad)
{
    Value_SetReal(result, 0);
    Run_LoadGame(Value_Text(&args[0]));
}
BUILTIN(F_GameSaveBuffer) { Value_SetReal(result, Run_SaveGameToBuffer(I(args[0])) ? 1 : 0); }
BUILTIN(F_GameLoadBuffer) { Value_SetReal(result, Run_QueueLoadGame(I(args[0])) ? 1 : 0); }

} // namespace

void Function_Save_Register()
{
    Function_Add("game_save", F_GameSave, 1);
    Function_Add("game_load", F_GameLoad, 1);
    Function_Add("game_save_buffer", F_GameSaveBuffer, 1);
    Function_Add("game_load_buffer", F_GameLoadBuffer, 1);
}

void Function_Save_RegisterActions()
{
    Function_Add("action_save_game", F_GameSave, 1);
    Function_Add("action_load_game", F_GameLoad, 1);
}
