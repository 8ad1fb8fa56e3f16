// Helpers of the core-library tests (files, INI files and the key store, dates, program and
// clipboard built-ins): a fixture with the "File..", "Misc.." and tablet groups registered,
// a program folder and a save area in a scratch folder (the current folder is the program
// folder, as at a real start), calls of built-ins by name with owning values, and a capture
// of the consoles (run-time errors land there as "ERROR!!! :: " lines, the file built-ins'
// messages as their own lines).
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "Files/Base/Console.h"
#include "Files/Base/Value.h"
#include "support/ScratchFolder.h"

class CInstance;

// A script value that owns its text.
class Val {
public:
    Val() : m_v(Value_Real(0.0)) {}
    Val(double real) : m_v(Value_Real(real)) {}
    Val(int real) : m_v(Value_Real(real)) {}
    Val(const char* text);
    Val(const std::string& text) : Val(text.c_str()) {}
    static Val Adopt(ScriptValue* v);
    Val(const Val& other);
    Val& operator=(const Val& other);
    ~Val();

    const ScriptValue& Raw() const { return m_v; }
    bool IsString() const { return m_v.kind == VALUE_STRING; }
    double Real() const { return m_v.real; }
    // The text ("" for a string without text; "<real>" for a real).
    std::string Text() const;

private:
    ScriptValue m_v;
};

class CorelibConsole : public tagIConsole {
public:
    bool Query(int, int) override { return true; }
    void Output(const char* format, ...) override __attribute__((format(printf, 2, 3)));
    std::string text;
};

class CorelibTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    Val Call(const char* name, std::initializer_list<Val> args = {});
    Val CallV(const char* name, const std::vector<Val>& args);
    double Num(const char* name, std::initializer_list<Val> args = {}) { return Call(name, args).Real(); }
    std::string Str(const char* name, std::initializer_list<Val> args = {}) { return Call(name, args).Text(); }

    std::string Log() const { return m_console.text; }
    bool Logged(const std::string& piece) const { return m_console.text.find(piece) != std::string::npos; }
    // The number of run-time errors reported ("ERROR!!! :: " lines of the reporter).
    int Errors() const;
    void ClearLog();

    // The two folders (absolute, no trailing '/').
    std::string Program() const { return m_root.Path() + "/program"; }
    std::string Save() const { return m_root.Path() + "/save"; }
    std::string InProgram(const std::string& name) const { return Program() + "/" + name; }
    std::string InSave(const std::string& name) const { return Save() + "/" + name; }
    // Something outside both folders.
    std::string Outside() const { return m_root.Path() + "/outside"; }

    CInstance* m_self = nullptr;
    ScratchFolder m_root;

private:
    CorelibConsole m_console;
    std::unique_ptr<ScopedCurrentFolder> m_cwd;
};

// Runs tests/data/corelib/<script> with python3, the input on its standard input; its
// standard output. Fails the test when python3 does not run.
std::string RunPython(const std::string& script, const std::string& input);
