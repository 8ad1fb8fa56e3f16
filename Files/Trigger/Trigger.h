// Triggers: a named condition (a ZBL expression) with a moment of checking and a constant name
// under which scripts can refer to it; CTrigger with its stream form and the compilation of its
// condition, and the global trigger table with its lookups.
//
// The table is made empty at start-up and emptied at shutdown. Nothing in the step evaluates
// triggers and nothing in the game-file loader fills the table, so in a run it stays empty
// unless something adds to it (Trigger_Insert).
//
// Needs: the code unit (the condition's compilation), the memory stream (the stream form), the
// hash table. No Linux/ file.
#pragma once

#include <cstdint>

class CCode;
class CStream;

// The stream form's version. ORDER: the stored form.
constexpr int32_t kTriggerStreamVersion = 800;

class CTrigger {
public:
    // All texts null, no compiled condition, moment 1.
    explicit CTrigger(int32_t index);
    virtual ~CTrigger();
    CTrigger(const CTrigger&) = delete;
    CTrigger& operator=(const CTrigger&) = delete;

    // Deletes the compiled condition; name, condition and constant name null; moment 1.
    void Reset();
    // Stream form: i32 version (800), string name, string condition, i32 moment, string
    // constant name. Resets first; false (the trigger left reset) for another version or a
    // stream that ends before the form does, a string length included.
    bool LoadFromStream(CStream* stream);
    // Compiles the condition as an expression named "Trigger.<name>" (at most 255
    // characters); true (a compile error is recorded by the compiler).
    bool Compile();
    // Owned copies (the old block reused when large enough); null frees and stores null.
    void SetName(const char* text);
    void SetCondition(const char* text);
    void SetConstName(const char* text);

    const char* GetName() const { return m_pName; }
    const char* GetCondition() const { return m_pCondition; }
    const char* GetConstName() const { return m_pConstName; }
    CCode* GetCode() const { return m_pCode; }
    int32_t GetMoment() const { return m_moment; }
    int32_t GetIndex() const { return m_index; }

private:
    char* m_pName = nullptr;      // owned
    char* m_pCondition = nullptr; // owned; the compiled condition's text
    CCode* m_pCode = nullptr;     // owned
    char* m_pConstName = nullptr; // owned
    int32_t m_moment = 1;         // the point of the step it belongs to
    int32_t m_index;
};

// ---- The table (keyed by trigger index; it owns its triggers) -----------------------------
int32_t Trigger_Count();
bool Trigger_Exists(int32_t index);
CTrigger* Trigger_Data(int32_t index);
// The trigger's name; null when there is no such trigger.
const char* Trigger_GetName(int32_t index);
// The index of the first trigger, in bucket order, whose constant name equals name byte for
// byte; -1 when none.
int32_t Trigger_Find(const char* name);
// Puts a trigger into the table under its index (the table owns it from now on); false (and
// the trigger deleted) when the index is taken.
bool Trigger_Insert(CTrigger* trigger);
// Empties the table, last bucket first: mode 1 and 2 delete the triggers (through their
// destructor: a trigger is never a plain block), other modes leave them to the caller.
void TriggerHash_Clear(int32_t mode);
// TriggerHash_Clear(1) when the table is not empty (start-up, shutdown).
void Trigger_Clear();
