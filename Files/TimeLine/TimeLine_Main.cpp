// Time lines: the record, the table, the TMLN reader, compilation and the per-step advance
// (Files/TimeLine/TimeLine.h).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Files/Object/Event.h"
#include "Files/Object/Instance.h"
#include "Files/Object/Instance_Pending.h"
#include "Files/Support/FileImage.h"
#include "Files/TimeLine/TimeLine.h"
#include "Files/World/World_State.h"
#include "Platform/MemoryManager.h"
#include "Platform/NameIndex.h"

namespace {
std::vector<CTimeLine*> g_lines;
std::vector<char*> g_names;
NameIndex g_index; // the names of the time lines that exist
// Time lines deleted while a moment runs are kept until no moment runs (the code of a moment
// may delete its own time line); their moments wait through Event_Retire.
int32_t g_running = 0;
std::vector<CTimeLine*> g_retiredLines;

void FreeRetired()
{
    if (g_running > 0) return;
    for (CTimeLine* t : g_retiredLines) delete t;
    g_retiredLines.clear();
}
} // namespace

void TimeLine_BeginMoment() { ++g_running; }
void TimeLine_EndMoment()
{
    if (--g_running == 0) FreeRetired();
}

CTimeLine::~CTimeLine() { Clear(); }

void CTimeLine::Clear()
{
    for (CEvent* e : m_moments) Event_Retire(e);
    m_moments.clear();
    m_times.clear();
}

bool CTimeLine::LoadFromRecord(const FileImage& image, uint32_t offset)
{
    Clear();
    FileCursor c(image);
    if (!c.Seek(offset)) return false;
    c.U32(); // the name (read by the table)
    uint32_t n = c.U32();
    if (!c.ok() || !c.FitsCount(n, 8)) return false;
    std::vector<std::pair<int32_t, uint32_t>> pairs(n);
    for (uint32_t k = 0; k < n; ++k) {
        pairs[k].first = c.I32();
        pairs[k].second = c.U32();
    }
    if (!c.ok()) return false;
    for (uint32_t k = 0; k < n; ++k) {
        if (k > 0 && pairs[k].first <= pairs[k - 1].first) return false; // times must ascend
        auto* e = new CEvent();
        m_moments.push_back(e);
        m_times.push_back(pairs[k].first);
        if (!e->Load(image, pairs[k].second)) return false;
    }
    return true;
}

bool CTimeLine::Compile(int32_t index)
{
    EventState& st = Event_State();
    for (size_t k = 0; k < m_moments.size(); ++k) {
        st.object = index;
        st.type = EVENT_TIMELINE_MARK;
        st.number = m_times[k];
        // Named as the packer and timeline_moment_add name a moment's code.
        const std::string name = "TimeLine." + std::string(TimeLine_GetName(index)) + "." + std::to_string(m_times[k]);
        if (!m_moments[k]->Compile(name.c_str())) return false;
    }
    return true;
}

CEvent* CTimeLine::GetMoment(int32_t k) const
{
    return k >= 0 && size_t(k) < m_moments.size() ? m_moments[size_t(k)] : nullptr;
}

int32_t CTimeLine::GetMomentTime(int32_t k) const { return k >= 0 && size_t(k) < m_times.size() ? m_times[size_t(k)] : 0; }

int32_t CTimeLine::FindMoment(int32_t time) const
{
    auto it = std::lower_bound(m_times.begin(), m_times.end(), time);
    return it != m_times.end() && *it == time ? int32_t(it - m_times.begin()) : -1;
}

CEvent* CTimeLine::AddMoment(int32_t time)
{
    auto it = std::lower_bound(m_times.begin(), m_times.end(), time);
    const size_t k = size_t(it - m_times.begin());
    if (it != m_times.end() && *it == time) return m_moments[k];
    m_times.insert(it, time);
    m_moments.insert(m_moments.begin() + ptrdiff_t(k), new CEvent());
    return m_moments[k];
}

void CTimeLine::DeleteMoment(int32_t time)
{
    const int32_t k = FindMoment(time);
    if (k < 0) return;
    Event_Retire(m_moments[size_t(k)]);
    m_moments.erase(m_moments.begin() + k);
    m_times.erase(m_times.begin() + k);
}

int32_t CTimeLine::FirstAtOrAfter(double p) const
{
    auto it = std::lower_bound(m_times.begin(), m_times.end(), p, [](int32_t t, double v) { return double(t) < v; });
    return int32_t(it - m_times.begin());
}

int32_t CTimeLine::LastAtOrBefore(double p) const
{
    auto it = std::upper_bound(m_times.begin(), m_times.end(), p, [](double v, int32_t t) { return v < double(t); });
    return int32_t(it - m_times.begin()) - 1;
}

// =============================================================================================
// Table
// =============================================================================================

void TimeLine_PerformMoment(CInstance* self, CInstance* other, int32_t t, int32_t m)
{
    if (Run_State().roomSwitch != ROOM_STAY) return;
    CTimeLine* line = TimeLine_Data(t);
    if (!line) return;
    CEvent* e = line->GetMoment(m);
    if (!e) return;
    EventState& st = Event_State();
    const int32_t savedObject = st.object, savedType = st.type, savedNumber = st.number;
    const EventState::Creation savedCreation = st.creation;
    st.object = t;
    st.type = EVENT_TIMELINE_MARK;
    st.number = line->GetMomentTime(m);
    st.creation = {};
    TimeLine_BeginMoment();
    e->Execute(self, other);
    TimeLine_EndMoment();
    st.object = savedObject;
    st.type = savedType;
    st.number = savedNumber;
    st.creation = savedCreation;
}

void TimeLine_Free()
{
    for (CTimeLine* t : g_lines) delete t;
    for (char* n : g_names) MEM_FREE(n);
    g_lines.clear();
    g_names.clear();
    g_index.Clear();
}

void TimeLine_Init() { TimeLine_Free(); }

bool TimeLine_Load(const FileImage& image, uint32_t begin, uint32_t end)
{
    ChunkList list;
    if (!list.Read(image, begin, end)) return false;
    TimeLine_Free();
    g_lines.assign(list.count, nullptr);
    g_names.assign(list.count, nullptr);
    for (uint32_t i = 0; i < list.count; ++i) {
        uint32_t at = list.Offset(image, i);
        if (at == 0) continue;
        FileCursor c(image);
        if (!c.Seek(at)) return false;
        const char* name = c.StringRef();
        if (!c.ok()) return false;
        auto* t = new CTimeLine();
        g_lines[i] = t;
        g_names[i] = MEM_STRDUP(name ? name : "");
        g_index.Add(g_names[i], int32_t(i));
        if (!t->LoadFromRecord(image, at)) return false;
    }
    return true;
}

bool TimeLine_Prepare()
{
    EventState& st = Event_State();
    for (size_t i = 0; i < g_lines.size(); ++i) {
        if (!g_lines[i]) continue;
        st.object = int32_t(i);
        if (!g_lines[i]->Compile(int32_t(i))) return false;
    }
    st.object = -1;
    st.type = 0;
    st.number = 0;
    return true;
}

int32_t TimeLine_Count() { return int32_t(g_lines.size()); }
bool TimeLine_Exists(int32_t index) { return index >= 0 && size_t(index) < g_lines.size() && g_lines[size_t(index)]; }
CTimeLine* TimeLine_Data(int32_t index) { return TimeLine_Exists(index) ? g_lines[size_t(index)] : nullptr; }

const char* TimeLine_GetName(int32_t index)
{
    return TimeLine_Exists(index) && g_names[size_t(index)] ? g_names[size_t(index)] : "<undefined>";
}

int32_t TimeLine_Find(const char* name) { return g_index.Find(name); }

int32_t TimeLine_Add()
{
    const int32_t index = int32_t(g_lines.size());
    char name[48];
    std::snprintf(name, sizeof name, "__newtimeline%d", index);
    g_lines.push_back(new CTimeLine());
    g_names.push_back(MEM_STRDUP(name));
    g_index.Add(name, index);
    return index;
}

bool TimeLine_Delete(int32_t index)
{
    if (!TimeLine_Exists(index)) return false;
    if (g_running > 0)
        g_retiredLines.push_back(g_lines[size_t(index)]);
    else
        delete g_lines[size_t(index)];
    g_lines[size_t(index)] = nullptr;
    g_index.Remove(g_names[size_t(index)], index);
    MEM_FREE(g_names[size_t(index)]);
    g_names[size_t(index)] = nullptr;
    return true;
}

// =============================================================================================
// The step's time-line phase
// =============================================================================================

void Run_TimeLines()
{
    InstanceList* list = Run_GetActiveList();
    if (!list) return;
    const uint64_t s = Run_NextEventStamp();
    for (CInstance* i = list->head; i;) {
        CInstance* next = i->m_pNext;
        if (i->i_marked || i->i_deactivated || i->m_creationStamp > s || !i->i_timelinerunning ||
            i->i_timelinespeed == 0.0f || i->i_timelineindex < 0) {
            i = next;
            continue;
        }
        const int32_t index = i->i_timelineindex;
        CTimeLine* line = TimeLine_Data(index);
        if (!line || line->GetMomentCount() == 0) {
            i = next;
            continue;
        }
        const double old = i->i_timelineposition;
        i->i_timelineposition = float(double(i->i_timelineposition) + double(i->i_timelinespeed));
        const double now = i->i_timelineposition;
        // Each moment is fetched again by its time before it runs: code of an earlier moment
        // may have changed or deleted the time line.
        if (i->i_timelinespeed > 0) {
            const int32_t a = line->FirstAtOrAfter(old), b = line->FirstAtOrAfter(now);
            std::vector<int32_t> times;
            for (int32_t k = a; k < b; ++k) times.push_back(line->GetMomentTime(k));
            for (int32_t t : times) {
                CTimeLine* cur = TimeLine_Data(index);
                if (!cur) break;
                const int32_t m = cur->FindMoment(t);
                if (m >= 0) TimeLine_PerformMoment(i, i, index, m);
            }
            // The loop looks at the position the advance reached, whatever the moments set.
            CTimeLine* cur = TimeLine_Data(index);
            if (i->i_timelineloop && cur && cur->GetMomentCount() > 0 &&
                now > double(cur->GetMomentTime(cur->GetMomentCount() - 1)))
                i->i_timelineposition = 0;
        } else {
            const int32_t a = line->LastAtOrBefore(old), b = line->LastAtOrBefore(now);
            std::vector<int32_t> times;
            for (int32_t k = a; k > b; --k) times.push_back(line->GetMomentTime(k));
            for (int32_t t : times) {
                CTimeLine* cur = TimeLine_Data(index);
                if (!cur) break;
                const int32_t m = cur->FindMoment(t);
                if (m >= 0) TimeLine_PerformMoment(i, i, index, m);
            }
            CTimeLine* cur = TimeLine_Data(index);
            if (i->i_timelineloop && cur && cur->GetMomentCount() > 0 && now < 0)
                i->i_timelineposition = float(cur->GetMomentTime(cur->GetMomentCount() - 1));
        }
        i = next;
    }
}
