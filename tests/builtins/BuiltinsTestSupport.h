// Helpers of the built-in library tests: a fixture with the "Math..", "DS.." and "Misc.."
// groups registered and every program-wide table clean, calls of built-ins by name with
// owning values, a capture of the log and release consoles (where run-time errors and grid
// traces land), and a runner for the Python oracles in tests/data/builtins/.
#pragma once

#include <gtest/gtest.h>

#include <cstdarg>
#include <initializer_list>
#include <string>
#include <vector>

#include "Files/Base/Console.h"
#include "Files/Base/Value.h"

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
    double Real() const { return m_v.real; }
    int32_t Kind() const { return m_v.kind; }
    // The text ("" for a string without text; "<real>" for a real).
    std::string Text() const;
    bool HasText() const { return m_v.kind == VALUE_STRING && m_v.text; }

private:
    ScriptValue m_v;
};

// A string value without text.
Val NoText();

class CaptureConsole : public tagIConsole {
public:
    bool Query(int, int) override { return true; }
    void Output(const char* format, ...) override __attribute__((format(printf, 2, 3)));
    std::string text;
};

class BuiltinsTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Calls the built-in of that name with the values (self and other: m_self).
    Val Call(const char* name, std::initializer_list<Val> args = {});
    Val CallV(const char* name, const std::vector<Val>& args);
    // The captured console text since the last Clear(), and whether it holds piece.
    std::string Log() const { return m_console.text; }
    bool Logged(const std::string& piece) const { return m_console.text.find(piece) != std::string::npos; }
    // The number of "ERROR!!! :: " lines logged.
    int Errors() const;
    void ClearLog();

    CInstance* m_self = nullptr;

private:
    CaptureConsole m_console;
};

// Runs tests/data/builtins/<script> with python3, the input on its standard input; its
// standard output. Fails the test when python3 does not run.
std::string RunPython(const std::string& script, const std::string& input);
