// Time lines: CTimeLine (moments: step numbers with an action list each, times strictly
// ascending), the time-line table with its names, the TMLN chunk reader, the compilation of
// the moments and the per-step advance of every running instance (Run_TimeLines).
//
// Needs: the event record (a moment is a CEvent), the game-file reader, the run state and the
// current room's instance list. No Linux/ file.
#pragma once

#include <cstdint>
#include <vector>

class CEvent;
class CInstance;
class FileImage;

class CTimeLine {
public:
    CTimeLine() = default;
    virtual ~CTimeLine();
    CTimeLine(const CTimeLine&) = delete;
    CTimeLine& operator=(const CTimeLine&) = delete;

    // Reads the record (moment count, then {time, action list offset} pairs); false for a
    // malformed record or times that are not strictly ascending.
    bool LoadFromRecord(const FileImage& image, uint32_t offset);
    bool Compile(int32_t index);
    void Clear();

    int32_t GetMomentCount() const { return int32_t(m_times.size()); }
    CEvent* GetMoment(int32_t k) const;
    int32_t GetMomentTime(int32_t k) const;
    int32_t FindMoment(int32_t time) const;
    // The moment at time (made when missing, in order); returns it.
    CEvent* AddMoment(int32_t time);
    void DeleteMoment(int32_t time);

    // Binary searches over the times: the lowest k with time >= p (count when none), and the
    // highest k with time <= p (-1 when none). Positions compare as doubles.
    int32_t FirstAtOrAfter(double p) const;
    int32_t LastAtOrBefore(double p) const;

    std::vector<CEvent*> m_moments; // owned
    std::vector<int32_t> m_times;
};

void TimeLine_Init();
bool TimeLine_Load(const FileImage& image, uint32_t begin, uint32_t end);
bool TimeLine_Prepare();
int32_t TimeLine_Count();
bool TimeLine_Exists(int32_t index);
CTimeLine* TimeLine_Data(int32_t index);
const char* TimeLine_GetName(int32_t index);
int32_t TimeLine_Find(const char* name);
// A new empty time line at the end, named "__newtimeline" and its index; returns the index.
int32_t TimeLine_Add();
// Deletes the time line; its slot stays (empty) so later indexes keep their meaning.
bool TimeLine_Delete(int32_t index);
void TimeLine_Free();

// Moment m of time line t for self and other (current event: t, 100000, the moment's time).
void TimeLine_PerformMoment(CInstance* self, CInstance* other, int32_t t, int32_t m);
// Around a moment's code (TimeLine_PerformMoment): moments and time lines deleted meanwhile are
// freed once no moment runs.
void TimeLine_BeginMoment();
void TimeLine_EndMoment();

// The step's time-line phase.
void Run_TimeLines();
