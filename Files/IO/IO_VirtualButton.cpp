// The virtual-button table (Files/IO/IO_VirtualButton.h).
#include "Files/IO/IO_VirtualButton.h"

namespace {

struct Table {
    IO_VirtualButton records[IO_VIRTUAL_BUTTONS];
    Table()
    {
        for (int32_t i = 0; i < IO_VIRTUAL_BUTTONS; ++i) records[i] = IO_VirtualButton{0, uint16_t(i), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    }
};

Table& Buttons()
{
    static Table table;
    return table;
}

} // namespace

IO_VirtualButton* IO_VirtualButton_Get(int32_t n)
{
    return n >= 0 && n < IO_VIRTUAL_BUTTONS ? &Buttons().records[n] : nullptr;
}

IO_VirtualButton* IO_VirtualButton_FindFree()
{
    for (IO_VirtualButton& b : Buttons().records)
        if (b.flags == 0) return &b;
    return nullptr;
}

void IO_VirtualButton_Delete(int32_t n)
{
    if (IO_VirtualButton* b = IO_VirtualButton_Get(n)) b->flags = 0;
}
