// The ds_* built-in functions: argument conversion, the bad-index rule and the results, over
// the structures of Files/DS/DS_*. Registered by Function_DS_Init ("DS..").
//
// Conventions: an index argument is read from its real field and rounded half to even (two
// built-ins truncate); other whole-number arguments likewise. A bad index reports "Data
// structure with index does not exist." (non-fatal) and leaves the result as it came (real 0).
// A copy or grid-region built-in checks the destination first, then the source, reporting
// once. Values handed back are fresh copies.
//
// Needs the structures (Files/DS/DS_*.h), the built-in table, the release console.
//
// Index: [SECTION] Helpers, Stack, Queue, List, Map, Priority, Grid, Registration
#include "Files/Function/Function_DS.h"

#include <cstdio>

#include "Files/Base/Console.h"
#include "Files/Base/RealConvert.h"
#include "Files/Code/Code_Builtin.h"
#include "Files/Code/Code_Error.h"
#include "Files/DS/DS_Grid.h"
#include "Files/DS/DS_List.h"
#include "Files/DS/DS_Map.h"
#include "Files/DS/DS_Priority.h"
#include "Files/DS/DS_Stack.h"
#include "Files/Function/Function_Registrars.h"
#include "Files/Object/Event.h"
#include "Files/Object/Instance.h"

namespace {

using namespace zbargs;

// [SECTION] Helpers

// The structure named by the argument, or null after reporting the bad index.
template <class T>
T* Structure(DSTable<T>& table, const ScriptValue* arg)
{
    T* s = table.Get(ArgRound(arg, 0));
    if (!s) DS_ReportBadIndex();
    return s;
}

// Destination and source of a copy: both, or null for both after one report.
template <class T>
bool Pair(DSTable<T>& table, const ScriptValue* dst, const ScriptValue* src, T** d, T** s)
{
    *d = table.Get(ArgRound(dst, 0));
    *s = *d ? table.Get(ArgRound(src, 0)) : nullptr;
    if (!*d || !*s) {
        DS_ReportBadIndex();
        return false;
    }
    return true;
}

template <class T>
void Create(ScriptValue* result, DSTable<T>& table, T* item)
{
    Value_SetReal(result, double(table.Add(item)));
}

// Destroys the structure at the argument's index. With quietEmpty, an index below the count
// whose slot is already empty does nothing (lists and maps).
template <class T>
void Destroy(DSTable<T>& table, const ScriptValue* arg, bool quietEmpty)
{
    int32_t index = ArgRound(arg, 0);
    T* s = table.Get(index);
    if (!s) {
        if (!(quietEmpty && table.InRange(index))) DS_ReportBadIndex();
        return;
    }
    delete table.Take(index);
}

void CopyOrZero(ScriptValue* result, const ScriptValue* value)
{
    if (value) DS_CopyOut(result, value);
    else Value_SetReal(result, 0.0);
}

// [SECTION] Stack

ZB_BUILTIN(F_DsSetPrecision)
{
    if (argc >= 1) DS_SetPrecision(args[0].real);
}

ZB_BUILTIN(F_DsStackCreate) { Create(result, DS_Stacks(), new CDS_Stack()); }
ZB_BUILTIN(F_DsStackDestroy)
{
    if (argc >= 1) Destroy(DS_Stacks(), &args[0], false);
}
ZB_BUILTIN(F_DsStackClear)
{
    if (argc < 1) return;
    if (CDS_Stack* s = Structure(DS_Stacks(), &args[0])) s->Clear();
}
ZB_BUILTIN(F_DsStackCopy)
{
    CDS_Stack *d, *s;
    if (argc >= 2 && Pair(DS_Stacks(), &args[0], &args[1], &d, &s)) d->Copy(s);
}
ZB_BUILTIN(F_DsStackSize)
{
    if (argc < 1) return;
    if (CDS_Stack* s = Structure(DS_Stacks(), &args[0])) Value_SetReal(result, s->Size());
}
ZB_BUILTIN(F_DsStackEmpty)
{
    if (argc < 1) return;
    if (CDS_Stack* s = Structure(DS_Stacks(), &args[0])) SetBool(result, s->Size() == 0);
}
ZB_BUILTIN(F_DsStackPush)
{
    if (argc < 2) return;
    if (CDS_Stack* s = Structure(DS_Stacks(), &args[0])) s->Push(&args[1]);
}
ZB_BUILTIN(F_DsStackPop)
{
    if (argc < 1) return;
    if (CDS_Stack* s = Structure(DS_Stacks(), &args[0]))
        if (!s->Pop(result)) Value_SetReal(result, 0.0);
}
ZB_BUILTIN(F_DsStackTop)
{
    if (argc < 1) return;
    if (CDS_Stack* s = Structure(DS_Stacks(), &args[0])) CopyOrZero(result, s->Top());
}
ZB_BUILTIN(F_DsStackWrite)
{
    if (argc < 1) return;
    if (CDS_Stack* s = Structure(DS_Stacks(), &args[0])) SetOwnedText(result, s->WriteText());
}
ZB_BUILTIN(F_DsStackRead)
{
    if (argc < 2) return;
    if (CDS_Stack* s = Structure(DS_Stacks(), &args[0]))
        if (const char* text = ArgStringText(args, 1)) s->ReadText(text);
}

// [SECTION] Queue

ZB_BUILTIN(F_DsQueueCreate) { Create(result, DS_Queues(), new CDS_Queue()); }
ZB_BUILTIN(F_DsQueueDestroy)
{
    if (argc >= 1) Destroy(DS_Queues(), &args[0], false);
}
ZB_BUILTIN(F_DsQueueClear)
{
    if (argc < 1) return;
    if (CDS_Queue* q = Structure(DS_Queues(), &args[0])) q->Clear();
}
ZB_BUILTIN(F_DsQueueCopy)
{
    CDS_Queue *d, *s;
    if (argc >= 2 && Pair(DS_Queues(), &args[0], &args[1], &d, &s)) d->Copy(s);
}
ZB_BUILTIN(F_DsQueueSize)
{
    if (argc < 1) return;
    if (CDS_Queue* q = Structure(DS_Queues(), &args[0])) Value_SetReal(result, q->Size());
}
ZB_BUILTIN(F_DsQueueEmpty)
{
    if (argc < 1) return;
    if (CDS_Queue* q = Structure(DS_Queues(), &args[0])) SetBool(result, q->Size() == 0);
}
ZB_BUILTIN(F_DsQueueEnqueue)
{
    if (argc < 2) return;
    if (CDS_Queue* q = Structure(DS_Queues(), &args[0])) q->Enqueue(&args[1]);
}
ZB_BUILTIN(F_DsQueueDequeue)
{
    if (argc < 1) return;
    if (CDS_Queue* q = Structure(DS_Queues(), &args[0]))
        if (!q->Dequeue(result)) Value_SetReal(result, 0.0);
}
ZB_BUILTIN(F_DsQueueHead)
{
    if (argc < 1) return;
    if (CDS_Queue* q = Structure(DS_Queues(), &args[0])) CopyOrZero(result, q->Head());
}
ZB_BUILTIN(F_DsQueueTail)
{
    if (argc < 1) return;
    if (CDS_Queue* q = Structure(DS_Queues(), &args[0])) CopyOrZero(result, q->Tail());
}
ZB_BUILTIN(F_DsQueueWrite)
{
    if (argc < 1) return;
    if (CDS_Queue* q = Structure(DS_Queues(), &args[0])) SetOwnedText(result, q->WriteText());
}
ZB_BUILTIN(F_DsQueueRead)
{
    if (argc < 2) return;
    if (CDS_Queue* q = Structure(DS_Queues(), &args[0]))
        if (const char* text = ArgStringText(args, 1)) q->ReadText(text);
}

// [SECTION] List

ZB_BUILTIN(F_DsListCreate) { Create(result, DS_Lists(), new CDS_List()); }
ZB_BUILTIN(F_DsListDestroy)
{
    if (argc >= 1) Destroy(DS_Lists(), &args[0], true);
}
ZB_BUILTIN(F_DsListClear)
{
    if (argc < 1) return;
    if (CDS_List* l = Structure(DS_Lists(), &args[0])) l->Clear();
}
ZB_BUILTIN(F_DsListCopy)
{
    CDS_List *d, *s;
    if (argc >= 2 && Pair(DS_Lists(), &args[0], &args[1], &d, &s)) d->Copy(s);
}
ZB_BUILTIN(F_DsListSize)
{
    if (argc < 1) return;
    if (CDS_List* l = Structure(DS_Lists(), &args[0])) Value_SetReal(result, l->Size());
}
ZB_BUILTIN(F_DsListEmpty)
{
    if (argc < 1) return;
    if (CDS_List* l = Structure(DS_Lists(), &args[0])) SetBool(result, l->Size() == 0);
}
ZB_BUILTIN(F_DsListAdd)
{
    if (argc < 2) return;
    if (CDS_List* l = Structure(DS_Lists(), &args[0])) l->Add(&args[1]);
}
ZB_BUILTIN(F_DsListInsert)
{
    if (argc < 3) return;
    if (CDS_List* l = Structure(DS_Lists(), &args[0])) l->Insert(ArgRound(args, 1), &args[2]);
}
ZB_BUILTIN(F_DsListReplace)
{
    if (argc < 3) return;
    if (CDS_List* l = Structure(DS_Lists(), &args[0])) l->Replace(ArgRound(args, 1), &args[2]);
}
ZB_BUILTIN(F_DsListDelete)
{
    if (argc < 2) return;
    if (CDS_List* l = Structure(DS_Lists(), &args[0])) l->Delete(ArgRound(args, 1));
}
ZB_BUILTIN(F_DsListFindIndex)
{
    if (argc < 2) return;
    CDS_List* l = DS_Lists().Get(ArgTrunc(args, 0)); // truncated, not rounded
    if (!l) {
        DS_ReportBadIndex();
        return;
    }
    Value_SetReal(result, l->FindIndex(&args[1]));
}
ZB_BUILTIN(F_DsListFindValue)
{
    if (argc < 2) return;
    if (CDS_List* l = Structure(DS_Lists(), &args[0])) CopyOrZero(result, l->GetValue(ArgRound(args, 1)));
}
ZB_BUILTIN(F_DsListSort)
{
    if (argc < 2) return;
    if (CDS_List* l = Structure(DS_Lists(), &args[0])) l->Sort(ArgFromHalf(args, 1));
}
ZB_BUILTIN(F_DsListShuffle)
{
    if (argc < 1) return;
    if (CDS_List* l = Structure(DS_Lists(), &args[0])) l->Shuffle();
}
ZB_BUILTIN(F_DsListWrite)
{
    if (argc < 1) return;
    if (CDS_List* l = Structure(DS_Lists(), &args[0])) SetOwnedText(result, l->WriteText());
}
ZB_BUILTIN(F_DsListRead)
{
    if (argc < 2) return;
    if (CDS_List* l = Structure(DS_Lists(), &args[0]))
        if (const char* text = ArgStringText(args, 1)) l->ReadText(text);
}

// [SECTION] Map

// A key or value handed to a script: kind (marks cleared), real, a copy of the text.
void MapOut(ScriptValue* result, const ScriptValue* stored)
{
    ScriptValue plain = *stored;
    plain.kind &= 0x00FFFFFF;
    DS_CopyOut(result, &plain);
}

ZB_BUILTIN(F_DsMapCreate)
{
    int32_t buckets = CDS_Map::kDefaultBuckets;
    if (argc >= 1) buckets = ArgTrunc(args, 0);
    Create(result, DS_Maps(), new CDS_Map(buckets));
}
ZB_BUILTIN(F_DsMapDestroy)
{
    if (argc >= 1) Destroy(DS_Maps(), &args[0], true);
}
ZB_BUILTIN(F_DsMapClear)
{
    if (argc < 1) return;
    if (CDS_Map* m = Structure(DS_Maps(), &args[0])) m->Clear();
}
ZB_BUILTIN(F_DsMapCopy)
{
    CDS_Map *d, *s;
    if (argc >= 2 && Pair(DS_Maps(), &args[0], &args[1], &d, &s)) d->Copy(s);
}
ZB_BUILTIN(F_DsMapSize)
{
    if (argc < 1) return;
    if (CDS_Map* m = Structure(DS_Maps(), &args[0])) Value_SetReal(result, m->Size());
}
ZB_BUILTIN(F_DsMapEmpty)
{
    if (argc < 1) return;
    if (CDS_Map* m = Structure(DS_Maps(), &args[0])) SetBool(result, m->Size() == 0);
}
ZB_BUILTIN(F_DsMapAdd)
{
    if (argc < 3) return;
    if (CDS_Map* m = Structure(DS_Maps(), &args[0])) SetBool(result, m->Add(&args[1], &args[2]));
}
ZB_BUILTIN(F_DsMapReplace)
{
    if (argc < 3) return;
    if (CDS_Map* m = Structure(DS_Maps(), &args[0])) SetBool(result, m->Replace(&args[1], &args[2]));
}
ZB_BUILTIN(F_DsMapDelete)
{
    if (argc < 2) return;
    if (CDS_Map* m = Structure(DS_Maps(), &args[0])) m->Delete(&args[1]);
}
ZB_BUILTIN(F_DsMapExists)
{
    if (argc < 2) return;
    if (CDS_Map* m = Structure(DS_Maps(), &args[0])) SetBool(result, m->Find(&args[1]) != nullptr);
}
ZB_BUILTIN(F_DsMapFindValue)
{
    if (argc < 2) return;
    if (CDS_Map* m = Structure(DS_Maps(), &args[0])) {
        const CDS_MapEntry* e = m->Find(&args[1]);
        if (e) MapOut(result, &e->value);
        else Value_SetReal(result, 0.0);
    }
}
void MapKeyOut(ScriptValue* result, const CDS_MapEntry* e)
{
    if (e) MapOut(result, &e->key);
    else Value_SetReal(result, 0.0);
}
ZB_BUILTIN(F_DsMapFindPrevious)
{
    if (argc < 2) return;
    if (CDS_Map* m = Structure(DS_Maps(), &args[0])) MapKeyOut(result, m->Previous(&args[1]));
}
ZB_BUILTIN(F_DsMapFindNext)
{
    if (argc < 2) return;
    if (CDS_Map* m = Structure(DS_Maps(), &args[0])) MapKeyOut(result, m->Next(&args[1]));
}
ZB_BUILTIN(F_DsMapFindFirst)
{
    if (argc < 1) return;
    if (CDS_Map* m = Structure(DS_Maps(), &args[0])) MapKeyOut(result, m->First());
}
ZB_BUILTIN(F_DsMapFindLast)
{
    if (argc < 1) return;
    if (CDS_Map* m = Structure(DS_Maps(), &args[0])) MapKeyOut(result, m->Last());
}
ZB_BUILTIN(F_DsMapWrite)
{
    if (argc < 1) return;
    if (CDS_Map* m = Structure(DS_Maps(), &args[0])) SetOwnedText(result, m->WriteText());
}
ZB_BUILTIN(F_DsMapRead)
{
    if (argc < 2) return;
    if (CDS_Map* m = Structure(DS_Maps(), &args[0]))
        if (const char* text = ArgStringText(args, 1)) m->ReadText(text);
}

// [SECTION] Priority

ZB_BUILTIN(F_DsPriorityCreate) { Create(result, DS_Priorities(), new CDS_Priority()); }
ZB_BUILTIN(F_DsPriorityDestroy)
{
    if (argc >= 1) Destroy(DS_Priorities(), &args[0], false);
}
ZB_BUILTIN(F_DsPriorityClear)
{
    if (argc < 1) return;
    if (CDS_Priority* p = Structure(DS_Priorities(), &args[0])) p->Clear();
}
ZB_BUILTIN(F_DsPriorityCopy)
{
    CDS_Priority *d, *s;
    if (argc >= 2 && Pair(DS_Priorities(), &args[0], &args[1], &d, &s)) d->Copy(s);
}
ZB_BUILTIN(F_DsPrioritySize)
{
    if (argc < 1) return;
    if (CDS_Priority* p = Structure(DS_Priorities(), &args[0])) Value_SetReal(result, p->Size());
}
ZB_BUILTIN(F_DsPriorityEmpty)
{
    if (argc < 1) return;
    if (CDS_Priority* p = Structure(DS_Priorities(), &args[0])) SetBool(result, p->Size() == 0);
}
ZB_BUILTIN(F_DsPriorityAdd)
{
    if (argc < 3) return;
    if (CDS_Priority* p = Structure(DS_Priorities(), &args[0])) p->Add(&args[1], &args[2]);
}
ZB_BUILTIN(F_DsPriorityChangePriority)
{
    if (argc < 3) return;
    if (CDS_Priority* p = Structure(DS_Priorities(), &args[0])) p->ChangePriority(&args[1], &args[2]);
}
ZB_BUILTIN(F_DsPriorityFindPriority)
{
    if (argc < 2) return;
    if (CDS_Priority* p = Structure(DS_Priorities(), &args[0])) CopyOrZero(result, p->FindPriority(&args[1]));
}
ZB_BUILTIN(F_DsPriorityDeleteValue)
{
    if (argc < 2) return;
    if (CDS_Priority* p = Structure(DS_Priorities(), &args[0])) p->DeleteValue(&args[1]);
}
void DeleteExtreme(ScriptValue* result, CDS_Priority* p, bool max)
{
    int32_t i = max ? p->MaxIndex() : p->MinIndex();
    if (i < 0) Value_SetReal(result, 0.0);
    else p->Remove(i, result);
}
void FindExtreme(ScriptValue* result, CDS_Priority* p, bool max)
{
    int32_t i = max ? p->MaxIndex() : p->MinIndex();
    CopyOrZero(result, i < 0 ? nullptr : p->Value(i));
}
ZB_BUILTIN(F_DsPriorityDeleteMin)
{
    if (argc < 1) return;
    if (CDS_Priority* p = Structure(DS_Priorities(), &args[0])) DeleteExtreme(result, p, false);
}
ZB_BUILTIN(F_DsPriorityFindMin)
{
    if (argc < 1) return;
    if (CDS_Priority* p = Structure(DS_Priorities(), &args[0])) FindExtreme(result, p, false);
}
ZB_BUILTIN(F_DsPriorityDeleteMax)
{
    if (argc < 1) return;
    if (CDS_Priority* p = Structure(DS_Priorities(), &args[0])) DeleteExtreme(result, p, true);
}
ZB_BUILTIN(F_DsPriorityFindMax)
{
    if (argc < 1) return;
    if (CDS_Priority* p = Structure(DS_Priorities(), &args[0])) FindExtreme(result, p, true);
}
ZB_BUILTIN(F_DsPriorityWrite)
{
    if (argc < 1) return;
    if (CDS_Priority* p = Structure(DS_Priorities(), &args[0])) SetOwnedText(result, p->WriteText());
}
ZB_BUILTIN(F_DsPriorityRead)
{
    if (argc < 2) return;
    if (CDS_Priority* p = Structure(DS_Priorities(), &args[0]))
        if (const char* text = ArgStringText(args, 1)) p->ReadText(text);
}

// [SECTION] Grid

void ReportGridTooLarge(int32_t w, int32_t h)
{
    char message[160];
    std::snprintf(message, sizeof message, "Grid of %d x %d cells is too large", w, h);
    Code_Error_Report(message, false);
}

ZB_BUILTIN(F_DsGridCreate)
{
    if (argc < 2) return;
    int32_t w = ArgRound(args, 0), h = ArgRound(args, 1);
    if (!CDS_Grid::SizeAllowed(w, h)) ReportGridTooLarge(w, h);
    Create(result, DS_Grids(), new CDS_Grid(w, h));
}
ZB_BUILTIN(F_DsGridDestroy)
{
    if (argc >= 1) Destroy(DS_Grids(), &args[0], false);
}
ZB_BUILTIN(F_DsGridCopy)
{
    CDS_Grid *d, *s;
    if (argc >= 2 && Pair(DS_Grids(), &args[0], &args[1], &d, &s)) d->Copy(s);
}
ZB_BUILTIN(F_DsGridResize)
{
    if (argc < 3) return;
    if (CDS_Grid* g = Structure(DS_Grids(), &args[0])) {
        int32_t w = ArgRound(args, 1), h = ArgRound(args, 2);
        if (!g->Resize(w, h)) ReportGridTooLarge(w, h);
    }
}
ZB_BUILTIN(F_DsGridWidth)
{
    if (argc < 1) return;
    if (CDS_Grid* g = Structure(DS_Grids(), &args[0])) Value_SetReal(result, g->Width());
}
ZB_BUILTIN(F_DsGridHeight)
{
    if (argc < 1) return;
    if (CDS_Grid* g = Structure(DS_Grids(), &args[0])) Value_SetReal(result, g->Height());
}
ZB_BUILTIN(F_DsGridClear)
{
    if (argc < 2) return;
    if (CDS_Grid* g = Structure(DS_Grids(), &args[0])) g->SetAll(&args[1]);
}

void CellOp(int32_t argc, ScriptValue* args, int32_t op)
{
    if (argc < 4) return;
    int32_t index = ArgRound(args, 0);
    CDS_Grid* g = Structure(DS_Grids(), &args[0]);
    if (!g) return;
    int32_t x = ArgRound(args, 1), y = ArgRound(args, 2);
    if (!g->Inside(x, y)) {
        Console_Release()->Output("Grid %d, index out of bounds writing [%d,%d] - size is [%d,%d]\n", index, x, y,
                                  g->Width(), g->Height());
        return;
    }
    CDS_Grid::Apply(g->Cell(x, y), op, &args[3]);
}
ZB_BUILTIN(F_DsGridSet) { CellOp(argc, args, DS_GRID_SET); }
ZB_BUILTIN(F_DsGridAdd) { CellOp(argc, args, DS_GRID_ADD); }
ZB_BUILTIN(F_DsGridMultiply) { CellOp(argc, args, DS_GRID_MULTIPLY); }

DSGridRect RegionArgs(const CDS_Grid* g, const ScriptValue* args)
{
    return g->Region(ArgRound(args, 0), ArgRound(args, 1), ArgRound(args, 2), ArgRound(args, 3));
}
DSGridDisk DiskArgs(const CDS_Grid* g, const ScriptValue* args)
{
    return g->Disk(args[0].real, args[1].real, args[2].real); // not rounded
}

void RegionOp(int32_t argc, ScriptValue* args, int32_t op)
{
    if (argc < 6) return;
    if (CDS_Grid* g = Structure(DS_Grids(), &args[0])) g->ApplyRegion(RegionArgs(g, &args[1]), op, &args[5]);
}
ZB_BUILTIN(F_DsGridSetRegion) { RegionOp(argc, args, DS_GRID_SET); }
ZB_BUILTIN(F_DsGridAddRegion) { RegionOp(argc, args, DS_GRID_ADD); }
ZB_BUILTIN(F_DsGridMultiplyRegion) { RegionOp(argc, args, DS_GRID_MULTIPLY); }

void DiskOp(int32_t argc, ScriptValue* args, int32_t op)
{
    if (argc < 5) return;
    if (CDS_Grid* g = Structure(DS_Grids(), &args[0])) g->ApplyDisk(DiskArgs(g, &args[1]), op, &args[4]);
}
ZB_BUILTIN(F_DsGridSetDisk) { DiskOp(argc, args, DS_GRID_SET); }
ZB_BUILTIN(F_DsGridAddDisk) { DiskOp(argc, args, DS_GRID_ADD); }
ZB_BUILTIN(F_DsGridMultiplyDisk) { DiskOp(argc, args, DS_GRID_MULTIPLY); }

void GridRegionOp(int32_t argc, ScriptValue* args, int32_t op)
{
    CDS_Grid *d, *s;
    if (argc < 8 || !Pair(DS_Grids(), &args[0], &args[1], &d, &s)) return;
    d->ApplyGridRegion(s, ArgRound(args, 2), ArgRound(args, 3), ArgRound(args, 4), ArgRound(args, 5), ArgRound(args, 6),
                       ArgRound(args, 7), op);
}
ZB_BUILTIN(F_DsGridSetGridRegion) { GridRegionOp(argc, args, DS_GRID_SET); }
ZB_BUILTIN(F_DsGridAddGridRegion) { GridRegionOp(argc, args, DS_GRID_ADD); }
ZB_BUILTIN(F_DsGridMultiplyGridRegion) { GridRegionOp(argc, args, DS_GRID_MULTIPLY); }

ZB_BUILTIN(F_DsGridGet)
{
    if (argc < 3) return;
    int32_t index = ArgRound(args, 0);
    CDS_Grid* g = Structure(DS_Grids(), &args[0]);
    if (!g) return;
    int32_t x = ArgRound(args, 1), y = ArgRound(args, 2);
    if (!g->Inside(x, y)) {
        Console_Release()->Output("Grid %d, index out of bounds reading [%d,%d] - size is [%d,%d]\n", index, x, y,
                                  g->Width(), g->Height());
        Value_SetReal(result, 0.0);
        return;
    }
    DS_CopyOut(result, g->Cell(x, y));
}

enum Statistic { kSum, kMax, kMin, kMean };

void SetStatistic(ScriptValue* result, const DSGridStats& s, Statistic which)
{
    double v = 0.0;
    switch (which) {
    case kSum: v = s.sum; break;
    case kMax: v = s.max; break;
    case kMin: v = s.min; break;
    case kMean: v = s.count ? s.sum / double(s.count) : 0.0; break;
    }
    Value_SetReal(result, v);
}
void RegionStatistic(ScriptValue* result, int32_t argc, ScriptValue* args, Statistic which)
{
    if (argc < 5) return;
    if (CDS_Grid* g = Structure(DS_Grids(), &args[0]))
        SetStatistic(result, g->RegionStats(RegionArgs(g, &args[1])), which);
}
void DiskStatistic(ScriptValue* result, int32_t argc, ScriptValue* args, Statistic which)
{
    if (argc < 4) return;
    if (CDS_Grid* g = Structure(DS_Grids(), &args[0])) SetStatistic(result, g->DiskStats(DiskArgs(g, &args[1])), which);
}
ZB_BUILTIN(F_DsGridGetSum) { RegionStatistic(result, argc, args, kSum); }
ZB_BUILTIN(F_DsGridGetMax) { RegionStatistic(result, argc, args, kMax); }
ZB_BUILTIN(F_DsGridGetMin) { RegionStatistic(result, argc, args, kMin); }
ZB_BUILTIN(F_DsGridGetMean) { RegionStatistic(result, argc, args, kMean); }
ZB_BUILTIN(F_DsGridGetDiskSum) { DiskStatistic(result, argc, args, kSum); }
ZB_BUILTIN(F_DsGridGetDiskMin) { DiskStatistic(result, argc, args, kMin); }
ZB_BUILTIN(F_DsGridGetDiskMax) { DiskStatistic(result, argc, args, kMax); }
ZB_BUILTIN(F_DsGridGetDiskMean) { DiskStatistic(result, argc, args, kMean); }

enum Search { kExists, kX, kY };

void SetSearch(ScriptValue* result, bool found, int32_t x, int32_t y, Search which)
{
    switch (which) {
    case kExists: SetBool(result, found); break;
    case kX: Value_SetReal(result, found ? x : 0); break;
    case kY: Value_SetReal(result, found ? y : 0); break;
    }
}
void RegionSearch(ScriptValue* result, int32_t argc, ScriptValue* args, Search which)
{
    if (argc < 6) return;
    if (CDS_Grid* g = Structure(DS_Grids(), &args[0])) {
        int32_t x = 0, y = 0;
        bool found = g->FindInRegion(RegionArgs(g, &args[1]), &args[5], &x, &y);
        SetSearch(result, found, x, y, which);
    }
}
void DiskSearch(ScriptValue* result, int32_t argc, ScriptValue* args, Search which)
{
    if (argc < 5) return;
    if (CDS_Grid* g = Structure(DS_Grids(), &args[0])) {
        int32_t x = 0, y = 0;
        bool found = g->FindInDisk(DiskArgs(g, &args[1]), &args[4], &x, &y);
        SetSearch(result, found, x, y, which);
    }
}
ZB_BUILTIN(F_DsGridValueExists) { RegionSearch(result, argc, args, kExists); }
ZB_BUILTIN(F_DsGridValueX) { RegionSearch(result, argc, args, kX); }
ZB_BUILTIN(F_DsGridValueY) { RegionSearch(result, argc, args, kY); }
ZB_BUILTIN(F_DsGridValueDiskExists) { DiskSearch(result, argc, args, kExists); }
ZB_BUILTIN(F_DsGridValueDiskX) { DiskSearch(result, argc, args, kX); }
ZB_BUILTIN(F_DsGridValueDiskY) { DiskSearch(result, argc, args, kY); }

ZB_BUILTIN(F_DsGridShuffle)
{
    if (argc < 1) return;
    if (CDS_Grid* g = Structure(DS_Grids(), &args[0])) g->Shuffle();
}
ZB_BUILTIN(F_DsGridWrite)
{
    if (argc < 1) return;
    if (CDS_Grid* g = Structure(DS_Grids(), &args[0])) SetOwnedText(result, g->WriteText());
}
ZB_BUILTIN(F_DsGridRead)
{
    if (argc < 2) return;
    if (CDS_Grid* g = Structure(DS_Grids(), &args[0]))
        if (const char* text = ArgStringText(args, 1)) g->ReadText(text);
}
ZB_BUILTIN(F_DsGridSort)
{
    // Only three real arguments; the index and the column are truncated.
    if (argc != 3) return;
    for (int32_t i = 0; i < 3; i++)
        if (args[i].kind != VALUE_REAL) return;
    CDS_Grid* g = DS_Grids().Get(ArgTrunc(args, 0));
    if (!g) {
        DS_ReportBadIndex();
        return;
    }
    g->SortRows(ArgTrunc(args, 1), ArgAboveHalf(args, 2));
}

} // namespace

// [SECTION] Registration

void Function_DS_Init()
{
    Function_Add("ds_set_precision", F_DsSetPrecision, 1);

    Function_Add("ds_stack_create", F_DsStackCreate, 0);
    Function_Add("ds_stack_destroy", F_DsStackDestroy, 1);
    Function_Add("ds_stack_clear", F_DsStackClear, 1);
    Function_Add("ds_stack_copy", F_DsStackCopy, 2);
    Function_Add("ds_stack_size", F_DsStackSize, 1);
    Function_Add("ds_stack_empty", F_DsStackEmpty, 1);
    Function_Add("ds_stack_push", F_DsStackPush, 2);
    Function_Add("ds_stack_pop", F_DsStackPop, 1);
    Function_Add("ds_stack_top", F_DsStackTop, 1);
    Function_Add("ds_stack_write", F_DsStackWrite, 1);
    Function_Add("ds_stack_read", F_DsStackRead, 2);

    Function_Add("ds_queue_create", F_DsQueueCreate, 0);
    Function_Add("ds_queue_destroy", F_DsQueueDestroy, 1);
    Function_Add("ds_queue_clear", F_DsQueueClear, 1);
    Function_Add("ds_queue_copy", F_DsQueueCopy, 2);
    Function_Add("ds_queue_size", F_DsQueueSize, 1);
    Function_Add("ds_queue_empty", F_DsQueueEmpty, 1);
    Function_Add("ds_queue_enqueue", F_DsQueueEnqueue, 2);
    Function_Add("ds_queue_dequeue", F_DsQueueDequeue, 1);
    Function_Add("ds_queue_head", F_DsQueueHead, 1);
    Function_Add("ds_queue_tail", F_DsQueueTail, 1);
    Function_Add("ds_queue_write", F_DsQueueWrite, 1);
    Function_Add("ds_queue_read", F_DsQueueRead, 2);

    Function_Add("ds_list_create", F_DsListCreate, 0);
    Function_Add("ds_list_destroy", F_DsListDestroy, 1);
    Function_Add("ds_list_clear", F_DsListClear, 1);
    Function_Add("ds_list_copy", F_DsListCopy, 2);
    Function_Add("ds_list_size", F_DsListSize, 1);
    Function_Add("ds_list_empty", F_DsListEmpty, 1);
    Function_Add("ds_list_add", F_DsListAdd, 2);
    Function_Add("ds_list_insert", F_DsListInsert, 3);
    Function_Add("ds_list_replace", F_DsListReplace, 3);
    Function_Add("ds_list_delete", F_DsListDelete, 2);
    Function_Add("ds_list_find_index", F_DsListFindIndex, 2);
    Function_Add("ds_list_find_value", F_DsListFindValue, 2);
    Function_Add("ds_list_sort", F_DsListSort, 2);
    Function_Add("ds_list_shuffle", F_DsListShuffle, 1);
    Function_Add("ds_list_write", F_DsListWrite, 1);
    Function_Add("ds_list_read", F_DsListRead, 2);

    Function_Add("ds_map_create", F_DsMapCreate, 0);
    Function_Add("ds_map_destroy", F_DsMapDestroy, 1);
    Function_Add("ds_map_clear", F_DsMapClear, 1);
    Function_Add("ds_map_copy", F_DsMapCopy, 2);
    Function_Add("ds_map_size", F_DsMapSize, 1);
    Function_Add("ds_map_empty", F_DsMapEmpty, 1);
    Function_Add("ds_map_add", F_DsMapAdd, 3);
    Function_Add("ds_map_replace", F_DsMapReplace, 3);
    Function_Add("ds_map_delete", F_DsMapDelete, 2);
    Function_Add("ds_map_exists", F_DsMapExists, 2);
    Function_Add("ds_map_find_value", F_DsMapFindValue, 2);
    Function_Add("ds_map_find_previous", F_DsMapFindPrevious, 2);
    Function_Add("ds_map_find_next", F_DsMapFindNext, 2);
    Function_Add("ds_map_find_first", F_DsMapFindFirst, 1);
    Function_Add("ds_map_find_last", F_DsMapFindLast, 1);
    Function_Add("ds_map_write", F_DsMapWrite, 1);
    Function_Add("ds_map_read", F_DsMapRead, 2);

    Function_Add("ds_priority_create", F_DsPriorityCreate, 0);
    Function_Add("ds_priority_destroy", F_DsPriorityDestroy, 1);
    Function_Add("ds_priority_clear", F_DsPriorityClear, 1);
    Function_Add("ds_priority_copy", F_DsPriorityCopy, 2);
    Function_Add("ds_priority_size", F_DsPrioritySize, 1);
    Function_Add("ds_priority_empty", F_DsPriorityEmpty, 1);
    Function_Add("ds_priority_add", F_DsPriorityAdd, 3);
    Function_Add("ds_priority_change_priority", F_DsPriorityChangePriority, 3);
    Function_Add("ds_priority_find_priority", F_DsPriorityFindPriority, 2);
    Function_Add("ds_priority_delete_value", F_DsPriorityDeleteValue, 2);
    Function_Add("ds_priority_delete_min", F_DsPriorityDeleteMin, 1);
    Function_Add("ds_priority_find_min", F_DsPriorityFindMin, 1);
    Function_Add("ds_priority_delete_max", F_DsPriorityDeleteMax, 1);
    Function_Add("ds_priority_find_max", F_DsPriorityFindMax, 1);
    Function_Add("ds_priority_write", F_DsPriorityWrite, 1);
    Function_Add("ds_priority_read", F_DsPriorityRead, 2);

    Function_Add("ds_grid_create", F_DsGridCreate, 2);
    Function_Add("ds_grid_destroy", F_DsGridDestroy, 1);
    Function_Add("ds_grid_copy", F_DsGridCopy, 2);
    Function_Add("ds_grid_resize", F_DsGridResize, 3);
    Function_Add("ds_grid_width", F_DsGridWidth, 1);
    Function_Add("ds_grid_height", F_DsGridHeight, 1);
    Function_Add("ds_grid_clear", F_DsGridClear, 2);
    Function_Add("ds_grid_set", F_DsGridSet, 4);
    Function_Add("ds_grid_add", F_DsGridAdd, 4);
    Function_Add("ds_grid_multiply", F_DsGridMultiply, 4);
    Function_Add("ds_grid_set_region", F_DsGridSetRegion, 6);
    Function_Add("ds_grid_add_region", F_DsGridAddRegion, 6);
    Function_Add("ds_grid_multiply_region", F_DsGridMultiplyRegion, 6);
    Function_Add("ds_grid_set_disk", F_DsGridSetDisk, 5);
    Function_Add("ds_grid_add_disk", F_DsGridAddDisk, 5);
    Function_Add("ds_grid_multiply_disk", F_DsGridMultiplyDisk, 5);
    Function_Add("ds_grid_set_grid_region", F_DsGridSetGridRegion, 8);
    Function_Add("ds_grid_add_grid_region", F_DsGridAddGridRegion, 8);
    Function_Add("ds_grid_multiply_grid_region", F_DsGridMultiplyGridRegion, 8);
    Function_Add("ds_grid_get", F_DsGridGet, 3);
    Function_Add("ds_grid_get_sum", F_DsGridGetSum, 5);
    Function_Add("ds_grid_get_max", F_DsGridGetMax, 5);
    Function_Add("ds_grid_get_min", F_DsGridGetMin, 5);
    Function_Add("ds_grid_get_mean", F_DsGridGetMean, 5);
    Function_Add("ds_grid_get_disk_sum", F_DsGridGetDiskSum, 4);
    Function_Add("ds_grid_get_disk_min", F_DsGridGetDiskMin, 4);
    Function_Add("ds_grid_get_disk_max", F_DsGridGetDiskMax, 4);
    Function_Add("ds_grid_get_disk_mean", F_DsGridGetDiskMean, 4);
    Function_Add("ds_grid_value_exists", F_DsGridValueExists, 6);
    Function_Add("ds_grid_value_x", F_DsGridValueX, 6);
    Function_Add("ds_grid_value_y", F_DsGridValueY, 6);
    Function_Add("ds_grid_value_disk_exists", F_DsGridValueDiskExists, 5);
    Function_Add("ds_grid_value_disk_x", F_DsGridValueDiskX, 5);
    Function_Add("ds_grid_value_disk_y", F_DsGridValueDiskY, 5);
    Function_Add("ds_grid_shuffle", F_DsGridShuffle, 1);
    Function_Add("ds_grid_write", F_DsGridWrite, 1);
    Function_Add("ds_grid_read", F_DsGridRead, 2);
    Function_Add("ds_grid_sort", F_DsGridSort, 3);
}

void InitFunctions_DS() { Function_DS_Init(); }
