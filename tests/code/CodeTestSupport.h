// Helpers shared by the script-language tests: a recording console, a clean program-wide
// state for each test, and small built-in rows to call.
#pragma once

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <string>

#include "Files/Base/Console.h"
#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/VM.h"
#include "Files/Code/VM_Assembler.h"
#include "Files/Code/VM_Format.h"
#include "Files/Code/VM_Internal.h"
#include "Files/Object/Object.h"
#include "Files/Object/Instance.h"
#include "Files/Object/Instance_Pending.h"
#include "Files/Script/Script_Main.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Code/Variable_List.h"
#include "Platform/MemoryManager.h"

class RecordingConsole : public tagIConsole {
public:
    bool Query(int, int) override { return true; }
    void Output(const char* format, ...) override __attribute__((format(printf, 2, 3)))
    {
        char buf[16384];
        va_list a;
        va_start(a, format);
        std::vsnprintf(buf, sizeof buf, format, a);
        va_end(a);
        text += buf;
    }
    std::string text;
};

// Every program-wide table of the script language back to empty.
void ResetScriptState();

// Captures the log console for the lifetime of the object.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    std::string Text() const { return m_console.text; }

private:
    RecordingConsole m_console;
    tagIConsole* m_previous;
};

class ScriptTest : public ::testing::Test {
protected:
    void SetUp() override { ResetScriptState(); }
    void TearDown() override { ResetScriptState(); }
};

// Assembles source (the test fails on an error); the buffer belongs to the caller.
VMBuffer* Assemble(const char* source, VMBuffer** debug = nullptr);

// The outcome of running a unit in quiet mode.
struct RunResult {
    ScriptValue value; // the entry's result (real 0 when the unit left none)
    bool failed;       // a run-time error stopped the entry
    std::string error; // its message
    std::string text() const { return value.kind == VALUE_STRING && value.text ? value.text : ""; }
};

// Runs source for self and other in quiet mode; the result's text is released by the next
// call.
RunResult RunAsm(const char* source, CInstance* self = nullptr, CInstance* other = nullptr);

// Adds a script whose code is the assembled source; returns its index.
int32_t AddAsmScript(const char* name, const char* source, const char* text = nullptr);

// An instance of object in the room's active list and the instance table.
CInstance* MakeInstance(int32_t id, int32_t object, InstanceList* room, float depth = 0);
