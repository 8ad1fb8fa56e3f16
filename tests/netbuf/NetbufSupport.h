// Helpers of the buffer, HTTP and JSON tests: the loopback server of tests/data/netbuf/server.py
// run as a child process, a fixture with the buffer, HTTP/JSON and data-structure built-ins
// registered and the log captured, calls of built-ins by name, pumping the request layer until
// a condition holds, and the Python oracle of tests/data/netbuf/oracle.py.
#pragma once

#include <gtest/gtest.h>

#include <sys/types.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "Files/Base/Console.h"
#include "Files/Base/Value.h"

// tests/data/netbuf/<name>.
std::string Netbuf_DataPath(const char* name);

// The loopback server (plain, or TLS with tests/data/netbuf/cert.pem). It ends when this
// object goes (its standard input closes and it is killed by its process id).
class TestServer {
public:
    explicit TestServer(bool tls = false);
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    bool Running() const { return m_port > 0; }
    int Port() const { return m_port; }
    // "http://127.0.0.1:<port><path>" (https for a TLS server).
    std::string Url(const std::string& path) const;

private:
    pid_t m_pid = -1;
    int m_stdin = -1;
    int m_port = 0;
    bool m_tls;
};

// A GET done outside the runner (through python3's urllib) to a server path, for the tests
// to steer the server (/release) and read its state (/holding).
std::string Netbuf_Fetch(const TestServer& server, const std::string& path);

// Calls HTTP_ReapThreads and Async_ProcessRequests every few milliseconds until done() holds
// or timeoutMs passes; false on time-out.
bool Netbuf_PumpUntil(const std::function<bool()>& done, int timeoutMs = 20000);

// Runs tests/data/netbuf/oracle.py with the input on its standard input; its standard output.
std::string Netbuf_Oracle(const std::string& input);

// A script value that owns its text.
class Arg {
public:
    Arg(double real) : m_v(Value_Real(real)) {}
    Arg(int real) : m_v(Value_Real(real)) {}
    Arg(const char* text);
    Arg(const std::string& text) : Arg(text.c_str()) {}
    Arg(const Arg& other);
    Arg& operator=(const Arg& other);
    ~Arg();
    static Arg Adopt(ScriptValue* v);
    const ScriptValue& Raw() const { return m_v; }
    bool IsString() const { return m_v.kind == VALUE_STRING; }
    bool HasText() const { return m_v.kind == VALUE_STRING && m_v.text; }
    double Real() const { return m_v.real; }
    std::string Text() const { return m_v.kind == VALUE_STRING && m_v.text ? m_v.text : ""; }

private:
    Arg() : m_v(Value_Real(0.0)) {}
    ScriptValue m_v;
};

class LogSink : public tagIConsole {
public:
    bool Query(int, int) override { return true; }
    void Output(const char* format, ...) override __attribute__((format(printf, 2, 3)));
    std::string text;
};

class NetbufTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    Arg Call(const char* name, std::initializer_list<Arg> args = {});
    bool Logged(const std::string& piece) const { return m_log.text.find(piece) != std::string::npos; }
    // The run-time errors reported since the last ClearLog ("ERROR!!! :: " lines).
    int Errors() const;
    void ClearLog() { m_log.text.clear(); }
    std::string Log() const { return m_log.text; }

private:
    LogSink m_log;
    tagIConsole* m_saved = nullptr;
};
