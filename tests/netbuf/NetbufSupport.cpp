// Helpers of the buffer, HTTP and JSON tests (tests/netbuf/NetbufSupport.h).
#include "netbuf/NetbufSupport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "Files/Buffer/IBuffer.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Function.h"
#include "Files/DS/DS_Main.h"
#include "Files/Function/Function_Buffer.h"
#include "Files/Function/Function_DS.h"
#include "Files/Function/Function_Http.h"
#include "Files/HTTP/HTTP.h"
#include "Files/Run/Run_Async.h"
#include "Platform/MemoryManager.h"

extern char** environ;

std::string Netbuf_DataPath(const char* name)
{
    return std::string(ZB_TESTS_DIR) + "/data/netbuf/" + name;
}

// ---- The loopback server -------------------------------------------------------------------

TestServer::TestServer(bool tls) : m_tls(tls)
{
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::string script = Netbuf_DataPath("server.py");
    std::string cert = Netbuf_DataPath("cert.pem"), key = Netbuf_DataPath("key.pem");
    std::vector<char*> argv = {const_cast<char*>("python3"), script.data()};
    if (tls) {
        argv.push_back(const_cast<char*>("--tls"));
        argv.push_back(cert.data());
        argv.push_back(key.data());
    }
    argv.push_back(nullptr);
    const int rc = posix_spawnp(&m_pid, "python3", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    m_stdin = in[1];
    if (rc != 0) {
        m_pid = -1;
        close(out[0]);
        return;
    }
    // "PORT <n>\n" within ten seconds.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char c[64];
        const ssize_t n = read(out[0], c, sizeof c);
        if (n <= 0) break;
        line.append(c, size_t(n));
    }
    close(out[0]);
    if (line.rfind("PORT ", 0) == 0) m_port = std::atoi(line.c_str() + 5);
}

TestServer::~TestServer()
{
    if (m_stdin >= 0) close(m_stdin);
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        int status;
        waitpid(m_pid, &status, 0);
    }
}

std::string TestServer::Url(const std::string& path) const
{
    return std::string(m_tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(m_port) + path;
}

std::string Netbuf_Fetch(const TestServer& server, const std::string& path)
{
    std::string command = "python3 -c \"import urllib.request,sys; "
                          "sys.stdout.write(urllib.request.urlopen('" +
                          server.Url(path) + "', timeout=10).read().decode())\"";
    std::string output;
    if (FILE* p = popen(command.c_str(), "r")) {
        char b[256];
        size_t n;
        while ((n = std::fread(b, 1, sizeof b, p)) > 0) output.append(b, n);
        pclose(p);
    }
    return output;
}

bool Netbuf_PumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        Async_ProcessRequests();
        if (done()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// A loopback port that nothing listens on (bound, read back and closed again).
int Netbuf_ClosedPort()
{
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    close(s);
    return ntohs(a.sin_port);
}

// ---- The fixture ---------------------------------------------------------------------------

void NetbufTest::Register()
{
    Function_Buffer_Init();
    Function_Http_Register();
    Function_DS_Init();
}

void NetbufTest::SetUp()
{
    setenv("no_proxy", "*", 1);
    Buffer_FreeAll();
    BuiltinTest::SetUp();
}

void NetbufTest::TearDown()
{
    HTTP_Shutdown();
    HTTP_SetTrustedCertificates(nullptr);
    Buffer_FreeAll();
    BuiltinTest::TearDown();
}
