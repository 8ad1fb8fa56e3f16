// Helpers shared by the script-language tests: a clean program-wide state for each test
// (Script_ResetTables), assembling and running byte code, scripts and instances.
#pragma once

#include <gtest/gtest.h>

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
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Code/Variable_List.h"
#include "Files/Object/Instance.h"
#include "Files/Object/Instance_Pending.h"
#include "Files/Object/Object.h"
#include "Files/Script/Script_Main.h"
#include "Platform/MemoryManager.h"
#include "support/BuiltinTest.h"
#include "support/CaptureConsole.h"

class ScriptTest : public ::testing::Test {
protected:
    void SetUp() override { Script_ResetTables(); }
    void TearDown() override { Script_ResetTables(); }
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
