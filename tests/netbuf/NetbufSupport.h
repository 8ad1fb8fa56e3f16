// Helpers of the buffer, HTTP and JSON tests: the loopback server of tests/data/netbuf/server.py
// run as a child process, a fixture with the buffer, HTTP/JSON and data-structure built-ins
// registered on the built-in test base, pumping the request layer until
// a condition holds, and the Python oracle of tests/data/netbuf/oracle.py.
#pragma once

#include <gtest/gtest.h>

#include <sys/types.h>

#include <functional>
#include <string>

#include "support/BuiltinTest.h"

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

// A loopback port that nothing listens on.
int Netbuf_ClosedPort();

// Calls HTTP_ReapThreads and Async_ProcessRequests every few milliseconds until done() holds
// or timeoutMs passes; false on time-out.
bool Netbuf_PumpUntil(const std::function<bool()>& done, int timeoutMs = 20000);

// Runs tests/data/netbuf/oracle.py with the input on its standard input; its standard output.
inline std::string Netbuf_Oracle(const std::string& input) { return RunPython("netbuf/oracle.py", input); }

// The buffer, HTTP/JSON and data-structure groups on the built-in test base.
class NetbufTest : public BuiltinTest {
protected:
    void SetUp() override;
    void TearDown() override;
    void Register() override;
};
