// The built-ins of game save and load: game_save, game_load, game_save_buffer,
// game_load_buffer and the actions action_save_game, action_load_game. Thin layers over
// Files/Run/Run_Save.h: arguments converted, the result real 0 (the buffer forms answer 1 or
// 0). The loads are queued and made at the start of the next step.
//
// Needs: the save and load of the run module, the function table. No Linux/ file.
#include "Files/Code/Code_Builtin.h"
#include "Files/Function/Function_World.h"
#include "Files/Run/Run_Save.h"

using namespace zbargs;

namespace {

ZB_BUILTIN(F_GameSave)
{
    SetReal(result, 0);
    Run_SaveGame(ArgText(args, 0));
}
ZB_BUILTIN(F_GameLoad)
{
    SetReal(result, 0);
    Run_LoadGame(ArgText(args, 0));
}
ZB_BUILTIN(F_GameSaveBuffer) { SetBool(result, Run_SaveGameToBuffer(NumRound(args, 0))); }
ZB_BUILTIN(F_GameLoadBuffer) { SetBool(result, Run_QueueLoadGame(NumRound(args, 0))); }

} // namespace

void Function_Save_Register()
{
    static const Row kRows[] = {
        {"game_save", F_GameSave, 1},
        {"game_load", F_GameLoad, 1},
        {"game_save_buffer", F_GameSaveBuffer, 1},
        {"game_load_buffer", F_GameLoadBuffer, 1},
    };
    Register(kRows);
}

void Function_Save_RegisterActions()
{
    static const Row kRows[] = {
        {"action_save_game", F_GameSave, 1},
        {"action_load_game", F_GameLoad, 1},
    };
    Register(kRows);
}
