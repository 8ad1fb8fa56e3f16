// Calling built-in functions from tests: script values that own their text, a call of a
// registered built-in by name, a reset of the tables of the script language and the world
// that built-ins touch, the built-in test base (the groups under test registered on clean
// tables, an instance to run as, the consoles captured), and the Python oracles of tests/data.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "Files/Base/Value.h"
#include "support/CaptureConsole.h"

class CInstance;

// A script value that owns its text.
class Val {
public:
    Val() : m_v(Value_Real(0.0)) {}
    Val(double real) : m_v(Value_Real(real)) {}
    Val(int real) : m_v(Value_Real(real)) {}
    Val(const char* text);
    Val(const std::string& text) : Val(text.c_str()) {}
    // Takes over a value (its text moves in).
    static Val Adopt(ScriptValue* v);
    Val(const Val& other);
    Val& operator=(const Val& other);
    ~Val();

    const ScriptValue& Raw() const { return m_v; }
    ScriptValue& Raw() { return m_v; }
    bool IsString() const { return m_v.kind == VALUE_STRING; }
    bool IsReal() const { return m_v.kind == VALUE_REAL; }
    bool HasText() const { return m_v.kind == VALUE_STRING && m_v.text; }
    double Real() const { return m_v.real; }
    int32_t Kind() const { return m_v.kind; }
    // The text ("" for a string without text; "<real>" for a real).
    std::string Text() const;

private:
    ScriptValue m_v;
};

// A string value without text.
Val NoText();

// Calls the built-in registered under name with the values (borrowed: built-ins do not free
// their arguments). The test fails when no built-in has that name and, with checkCount, when
// the row takes a fixed number of arguments other than the values given.
Val Builtin_Call(const char* name, const std::vector<Val>& args, CInstance* self = nullptr,
                 CInstance* other = nullptr, bool checkCount = false);

// Every table of the script language and the world that code and built-ins fill, back to
// empty: errors, scripts, the code and string tables, the built-in function table, variables
// (names, globals, arguments), instances, objects, pending changes, data structures and
// external calls. The registrations (compiler, constants, built-in variables) are made again
// by whoever needs them.
void Script_ResetTables();

// The built-in test base: Register() runs on clean tables with the compiler, the constants and
// the built-in variables in place; the calls run as m_self (an instance of object 0); both
// consoles are captured (run-time errors are logged, not shown).
class BuiltinTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Registers the built-in groups under test.
    virtual void Register() {}

    Val Call(const char* name, std::initializer_list<Val> args = {}) { return CallV(name, std::vector<Val>(args)); }
    Val CallV(const char* name, const std::vector<Val>& args) { return Builtin_Call(name, args, m_self, m_self); }
    double Num(const char* name, std::initializer_list<Val> args = {}) { return Call(name, args).Real(); }
    std::string Str(const char* name, std::initializer_list<Val> args = {}) { return Call(name, args).Text(); }

    std::string Log() const { return m_console->text; }
    bool Logged(const std::string& piece) const { return m_console->Has(piece); }
    // The run-time errors reported since the last ClearLog ("ERROR!!! :: " lines).
    int Errors() const { return m_console->Count("ERROR!!! :: "); }
    void ClearLog();

    CInstance* m_self = nullptr;

private:
    std::unique_ptr<CaptureConsole> m_console;
};

// Runs tests/data/<script> with python3, the input on its standard input; its standard output.
// Fails the test when python3 does not run or the script fails.
std::string RunPython(const std::string& script, const std::string& input);

// test_log(...): a built-in (registered by TestLog_Register) that keeps one entry a call, its
// arguments joined with ':' (reals as %g).
void TestLog_Register();
extern std::vector<std::string> g_Log;
std::string LogText(); // the entries joined with ' '
