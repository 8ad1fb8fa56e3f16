// CTrigger and the trigger table (Files/Trigger/Trigger.h).
#include "Files/Trigger/Trigger.h"

#include <cstdio>
#include <cstring>

#include "Files/Code/Code_Code.h"
#include "Files/Support/Stream.h"
#include "Platform/Hash.h"
#include "Platform/MemoryManager.h"

namespace {

Hash<CTrigger>& Table()
{
    static Hash<CTrigger> table(64);
    return table;
}

// Stores an owned copy of text in *field, reusing the block when it is large enough.
void SetText(char** field, const char* text)
{
    if (!text) {
        MEM_FREE(*field);
        *field = nullptr;
        return;
    }
    const size_t n = std::strlen(text) + 1;
    if (MemoryManager::Reuse(*field, uint32_t(n))) {
        std::memmove(*field, text, n);
        return;
    }
    char* copy = static_cast<char*>(MEM_ALLOC(n));
    std::memcpy(copy, text, n);
    MEM_FREE(*field);
    *field = copy;
}

int64_t Left(const CStream* s) { return s->GetSize() - s->GetPosition(); }

// A checked integer: false when fewer than four bytes are left.
bool ReadInt(CStream* s, int32_t* out)
{
    if (Left(s) < 4) return false;
    *out = s->ReadInteger();
    return true;
}

// A checked string: its length word and that many bytes must be there (0 is the null text).
bool ReadText(CStream* s, char** out)
{
    if (Left(s) < 4) return false;
    uint32_t length = 0;
    std::memcpy(&length, s->GetMemory() + s->GetPosition(), 4);
    if (int64_t(length) > Left(s) - 4) return false;
    char* text = s->ReadString();
    MEM_FREE(*out);
    *out = text;
    return true;
}

} // namespace

CTrigger::CTrigger(int32_t index) : m_index(index) {}

CTrigger::~CTrigger()
{
    Reset();
}

void CTrigger::Reset()
{
    delete m_pCode;
    m_pCode = nullptr;
    SetText(&m_pName, nullptr);
    SetText(&m_pCondition, nullptr);
    SetText(&m_pConstName, nullptr);
    m_moment = 1;
}

bool CTrigger::LoadFromStream(CStream* stream)
{
    Reset();
    int32_t version = 0;
    if (!ReadInt(stream, &version) || version != kTriggerStreamVersion) return false;
    const bool ok = ReadText(stream, &m_pName) && ReadText(stream, &m_pCondition) && ReadInt(stream, &m_moment) &&
                    ReadText(stream, &m_pConstName);
    if (!ok) Reset();
    return ok;
}

bool CTrigger::Compile()
{
    delete m_pCode;
    // The unit reads the text in place: the trigger keeps it alive as long as the unit.
    m_pCode = new CCode(m_pCondition ? m_pCondition : "", true);
    char name[256];
    std::snprintf(name, sizeof name, "Trigger.%s", m_pName ? m_pName : "");
    m_pCode->Compile(name);
    return true;
}

void CTrigger::SetName(const char* text) { SetText(&m_pName, text); }
void CTrigger::SetCondition(const char* text)
{
    // A compiled condition reads the old text in place: it goes with it.
    delete m_pCode;
    m_pCode = nullptr;
    SetText(&m_pCondition, text);
}
void CTrigger::SetConstName(const char* text) { SetText(&m_pConstName, text); }

int32_t Trigger_Count() { return Table().Count(); }
bool Trigger_Exists(int32_t index) { return Table().Find(uint32_t(index)) != nullptr; }
CTrigger* Trigger_Data(int32_t index) { return Table().Find(uint32_t(index)); }

const char* Trigger_GetName(int32_t index)
{
    CTrigger* t = Trigger_Data(index);
    return t ? t->GetName() : nullptr;
}

int32_t Trigger_Find(const char* name)
{
    if (!name) return -1;
    HashIterator<CTrigger> it;
    for (CTrigger* t = Table().IterateStart(&it); t; t = Table().IterateNext(&it))
        if (t->GetConstName() && std::strcmp(t->GetConstName(), name) == 0) return t->GetIndex();
    return -1;
}

bool Trigger_Insert(CTrigger* trigger)
{
    if (!trigger) return false;
    if (Trigger_Exists(trigger->GetIndex())) {
        delete trigger;
        return false;
    }
    Table().Insert(uint32_t(trigger->GetIndex()), trigger);
    return true;
}

void TriggerHash_Clear(int32_t mode)
{
    Table().Clear(mode == 1 || mode == 2 ? CONTAINER_DELETE : CONTAINER_KEEP);
}

void Trigger_Clear()
{
    if (Trigger_Count() > 0) TriggerHash_Clear(1);
}
