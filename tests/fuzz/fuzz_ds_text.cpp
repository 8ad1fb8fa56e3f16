// libFuzzer target: every text-form reader of the data structures (stack, queue, list,
// priority queue, grid, map) on the input as text, and the binary readers also on the input's
// bytes written as hex. Whatever a reader accepts must write a text that reads back to the
// same text; a refused text must leave the structure as it was.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Files/DS/DS_Grid.h"
#include "Files/DS/DS_List.h"
#include "Files/DS/DS_Map.h"
#include "Files/DS/DS_Priority.h"
#include "Files/DS/DS_Stack.h"
#include "Platform/MemoryManager.h"

namespace {

std::string Text(char* owned)
{
    std::string s = owned ? owned : "";
    MEM_FREE(owned);
    return s;
}

template <class T>
void Check(const char* text, T* filled)
{
    // A refused text changes nothing.
    std::string before = Text(filled->WriteText());
    if (!filled->ReadText(text)) {
        if (Text(filled->WriteText()) != before) std::abort();
    }
    T fresh;
    if (!fresh.ReadText(text)) return;
    std::string first = Text(fresh.WriteText());
    T again;
    if (!again.ReadText(first.c_str())) std::abort();
    if (Text(again.WriteText()) != first) std::abort();
}

void AllReaders(const char* text)
{
    ScriptValue a{VALUE_STRING, const_cast<char*>("a"), 0.0}, one = Value_Real(1.0);
    CDS_Stack stack;
    stack.Push(&a);
    Check(text, &stack);
    CDS_Queue queue;
    queue.Enqueue(&a);
    Check(text, &queue);
    CDS_List list;
    list.Add(&a);
    Check(text, &list);
    CDS_Priority priority;
    priority.Add(&a, &one);
    Check(text, &priority);
    CDS_Grid grid(2, 1);
    CDS_Grid::Apply(grid.Cell(1, 0), DS_GRID_SET, &a);
    Check(text, &grid);
    CDS_Map map;
    map.Add(&a, &one);
    Check(text, &map);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    AllReaders(text.c_str());
    static const char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (size_t i = 0; i < size; i++) {
        hex += kDigits[data[i] >> 4];
        hex += kDigits[data[i] & 15];
    }
    AllReaders(hex.c_str());
    return 0;
}
