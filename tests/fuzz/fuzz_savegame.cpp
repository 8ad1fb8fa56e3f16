// Fuzz target: arbitrary bytes as a saved game, loaded into a small running world (one object,
// two rooms). A load must refuse bad versions, counts, lengths and cuts cleanly and leave the
// world as it was; a load that is taken must leave a world that saves again (and that the
// next load replaces).
#include <cstddef>
#include <cstdlib>
#include <cstdint>
#include <vector>

#include "Files/Buffer/IBuffer.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Object/Instance.h"
#include "Files/Object/Object.h"
#include "Files/Room/Room.h"
#include "Files/Run/Run_Main.h"
#include "Files/Run/Run_Save.h"
#include "Platform/MemoryManager.h"

namespace {

// Two rooms in the per-room array (no room table needed), the first current, an instance
// of the one object in each.
void StartWorld()
{
    Object_InitHash();
    const int32_t o = Object_Add();
    Object_Lookup(o)->SetName("o");
    std::vector<CRoom*> rooms = {new CRoom(), new CRoom()};
    Room_ReplaceKept(std::move(rooms));
    Room_SetCurrent(0, Room_Kept(0));
    for (int32_t k = 0; k < 2; ++k) Room_Kept(k)->AddInstance(10.0f * float(k), 5, o);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Variable_BuiltIn_Init();
    Variable_Global_Init();
    Run_Global_Init();
    Code_Variable_FindOrAdd("g");
    Code_Variable_FindOrAdd("hp");
    StartWorld();
    // The world lives in the room module's own table; free it before that table goes at
    // exit, or the leak check at exit finds the last loaded world's rooms unreachable.
    std::atexit([] { Room_FreeKept(); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20)) return 0;
    const int32_t index = Buffer_Create(int32_t(size), eBuffer_Grow, 1);
    IBuffer* b = Buffer_Get(index);
    if (size) Buffer_CopyMemory(b, data, int32_t(size));
    b->Seek(eSeek_Start, 0);
    if (Run_LoadGameFromBuffer(b)) {
        // The loaded world saves again; the next input loads over it.
        const int32_t again = Buffer_Create(1024, eBuffer_Grow, 1);
        Run_SaveGameToBuffer(again);
        Buffer_Free(again);
    }
    Buffer_Free(index);
    return 0;
}
