// Helpers of the buffer, HTTP and JSON tests (tests/netbuf/NetbufSupport.h).
#include "netbuf/NetbufSupport.h"

#include <fcntl.h>
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

#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Function.h"
#include "Files/Function/Function_Buffer.h"
#include "Files/Function/Function_DS.h"
#include "Files/Function/Function_Http.h"
#include "Files/Run/Run_Async.h"
#include "Files/DS/DS_Main.h"
#include "Files/HTTP/HTTP.h"
#include "Files/Buffer/IBuffer.h"
#include "Platform/MemoryManager.h"

extern char** environ;

std::string Netbuf_DataPath(const char* name)
{
    std::string here = __FILE__;
    return here.substr(0, here.rfind("/netbuf/")) + "/data/netbuf/" + name;
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

std::string Netbuf_Oracle(const std::string& input)
{
    char name[] = "/tmp/zb_netbuf_oracleXXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) return "";
    FILE* f = fdopen(fd, "w");
    std::fwrite(input.data(), 1, input.size(), f);
    std::fclose(f);
    std::string command = "python3 '" + Netbuf_DataPath("oracle.py") + "' < '" + name + "'";
    std::string output;
    if (FILE* p = popen(command.c_str(), "r")) {
        char b[4096];
        size_t n;
        while ((n = std::fread(b, 1, sizeof b, p)) > 0) output.append(b, n);
        if (pclose(p) != 0) ADD_FAILURE() << "oracle.py failed";
    } else {
        ADD_FAILURE() << "python3 did not run";
    }
    std::remove(name);
    return output;
}

// ---- Values --------------------------------------------------------------------------------

Arg::Arg(const char* text) : m_v{VALUE_STRING, text ? MEM_STRDUP(text) : nullptr, 0.0} {}
Arg::Arg(const Arg& other) : m_v(Value_Real(0.0)) { Value_Copy(&m_v, &other.m_v); }
Arg& Arg::operator=(const Arg& other)
{
    Value_Copy(&m_v, &other.m_v);
    return *this;
}
Arg::~Arg() { Value_FreeString(&m_v); }
Arg Arg::Adopt(ScriptValue* v)
{
    Arg a;
    Value_Move(&a.m_v, v);
    return a;
}

void LogSink::Output(const char* format, ...)
{
    va_list a, b;
    va_start(a, format);
    va_copy(b, a);
    const int n = std::vsnprintf(nullptr, 0, format, a);
    va_end(a);
    std::string s(size_t(n > 0 ? n : 0) + 1, '\0');
    std::vsnprintf(s.data(), s.size(), format, b);
    va_end(b);
    s.resize(size_t(n > 0 ? n : 0));
    text += s;
}

// ---- The fixture ---------------------------------------------------------------------------

void NetbufTest::SetUp()
{
    setenv("no_proxy", "*", 1);
    Code_Error_Reset();
    Code_Error_SetShowErrors(false);
    Function_Free();
    Function_Buffer_Init();
    Function_Http_Register();
    Function_DS_Init();
    DS_Reset();
    Buffer_FreeAll();
    m_saved = Console_Get();
    Console_Set(&m_log);
}

void NetbufTest::TearDown()
{
    HTTP_Shutdown();
    HTTP_SetTrustedCertificates(nullptr);
    Buffer_FreeAll();
    DS_Reset();
    Function_Free();
    Console_Set(m_saved);
    Code_Error_Reset();
    Code_Error_SetShowErrors(true);
}

Arg NetbufTest::Call(const char* name, std::initializer_list<Arg> args)
{
    int32_t id = -1;
    if (!Code_Function_Find(name, &id) || !Function_Get(id)) {
        ADD_FAILURE() << "no built-in " << name;
        return Arg(0.0);
    }
    std::vector<ScriptValue> raw;
    for (const Arg& a : args) raw.push_back(a.Raw()); // borrowed: built-ins do not free arguments
    ScriptValue result = Value_Real(0.0);
    Function_Get(id)->f(&result, nullptr, nullptr, int32_t(raw.size()), raw.data());
    return Arg::Adopt(&result);
}

int NetbufTest::Errors() const
{
    int n = 0;
    for (size_t at = m_log.text.find("ERROR!!! :: "); at != std::string::npos;
         at = m_log.text.find("ERROR!!! :: ", at + 1))
        ++n;
    return n;
}
