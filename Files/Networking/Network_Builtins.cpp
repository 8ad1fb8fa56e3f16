// The registrars of the networking and online-service groups: "DPlay..", the network and
// Steam functions of "Networking..", and the online-service functions of "Kovrin.." (with
// their named lock). Only the built-ins this runner's function list names are registered:
// network_send_raw, and the virtual keys (virtual_key_add, virtual_key_delete,
// virtual_key_show, virtual_key_hide); the DPlay and Steam groups have none.
//
// Needs the socket slots, the buffer table, the virtual-button table, the error reporter, the
// function table. No Linux/ file.
#include "Files/Base/RealConvert.h"
#include "Files/Buffer/IBuffer.h"
#include "Files/Code/Code_Builtin.h"
#include "Files/Code/Code_Error.h"
#include "Files/IO/IO_VirtualButton.h"
#include "Files/Networking/Network.h"
#include "Files/Networking/Network_Builtins.h"
#include "Files/Object/Instance.h"
#include "Platform/MemoryManager.h"

namespace {

using namespace zbargs;

// The record of a script's handle (index + 1), or null after reporting the bad handle.
IO_VirtualButton* Handle(const ScriptValue* arg)
{
    const int64_t n = int64_t(ArgRound(arg, 0)) - 1;
    IO_VirtualButton* b = n >= 0 && n < IO_VIRTUAL_BUTTONS ? IO_VirtualButton_Get(int32_t(n)) : nullptr;
    if (!b) Code_Error_Report("Illegal virtual key handle", false);
    return b;
}

// virtual_key_add(x, y, w, h, key): a free record as a key button, shown off; index + 1, or
// 0 when all are in use.
ZB_BUILTIN(VirtualKeyAdd)
{
    Value_SetReal(result, 0.0);
    if (argc != 5) {
        Code_Error_Report("Illegal argument count", false);
        return;
    }
    for (int32_t k = 0; k < 5; ++k) {
        if (args[k].kind == VALUE_STRING) {
            Code_Error_Report("Illegal argument type", false);
            return;
        }
    }
    IO_VirtualButton* b = IO_VirtualButton_FindFree();
    if (!b) return;
    b->x = ArgRound(args, 0);
    b->y = ArgRound(args, 1);
    b->w = ArgRound(args, 2);
    b->h = ArgRound(args, 3);
    b->right = int32_t(uint32_t(b->x) + uint32_t(b->w));
    b->bottom = int32_t(uint32_t(b->y) + uint32_t(b->h));
    b->key = ArgRound(args, 4);
    b->u = b->v = 0;
    b->mouseButton = 0;
    b->flags = IO_VBUTTON_IN_USE;
    Value_SetReal(result, double(b->index) + 1.0);
}

ZB_BUILTIN(VirtualKeyDelete)
{
    Value_SetReal(result, 0.0);
    if (IO_VirtualButton* b = Handle(&args[0])) IO_VirtualButton_Delete(b->index);
}

ZB_BUILTIN(VirtualKeyShow)
{
    Value_SetReal(result, 0.0);
    if (IO_VirtualButton* b = Handle(&args[0])) b->flags = uint16_t(b->flags | IO_VBUTTON_SHOWN);
}

ZB_BUILTIN(VirtualKeyHide)
{
    Value_SetReal(result, 0.0);
    if (IO_VirtualButton* b = Handle(&args[0])) b->flags = uint16_t(b->flags & ~IO_VBUTTON_SHOWN);
}

// network_send_raw(socket, buffer, size): one send of the buffer's first size bytes (cut to
// the buffer), without framing, on the connection in that socket slot. The bytes sent, or -1
// when the slot holds no connection, the buffer does not exist or the send failed.
ZB_BUILTIN(NetworkSendRaw)
{
    Value_SetReal(result, -1.0);
    NetSocket* socket = Network_Socket(ArgRound(args, 0));
    IBuffer* buffer = Buffer_Get(ArgRound(args, 1));
    if (!socket || !buffer) return;
    int32_t size = ArgRound(args, 2);
    if (size < 0) size = 0;
    if (size > buffer->Size()) size = buffer->Size();
    if (size == 0) {
        Value_SetReal(result, 0.0);
        return;
    }
    const int32_t sent = socket->Send(buffer->Data(), size);
    Value_SetReal(result, double(sent));
}

} // namespace

// "DPlay..": no built-in of this runner belongs to it.
void InitFunctions_DPlay() {}

// "Networking..", the network functions.
void InitFunctions_Networking() { Function_Add("network_send_raw", NetworkSendRaw, 3); }

// "Networking..", the Steam functions: none in this runner's function list.
void InitFunctions_Steam() {}

// "Kovrin..": the online-service functions; their queues share the named lock of the
// achievement cache.
void InitFunctions_Kovrin()
{
    static Mutex achievementCache("comsachievementcache");
    (void)achievementCache;
    Function_Add("virtual_key_add", VirtualKeyAdd, -1);
    Function_Add("virtual_key_delete", VirtualKeyDelete, 1);
    Function_Add("virtual_key_show", VirtualKeyShow, 1);
    Function_Add("virtual_key_hide", VirtualKeyHide, 1);
}
