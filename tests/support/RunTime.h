// What the machine's load took from a process the test started, and from the processes it
// talks to meanwhile (the test itself, which reads its outputs; an X server): the time their
// threads waited, runnable, for a CPU that others held (the kernel's per-thread
// /proc/PID/task/TID/schedstat), sampled while the process lives; the time any task of the machine was held up by the disk or
// by memory meanwhile (the kernel's pressure figures, /proc/pressure/io and memory: a write of
// the run's held up behind others' writes, the graphics library's cache written at its end);
// and the time since the last sample (the test's own look, late on a loaded machine). A bound on how soon a run ends is the rule's own time plus this
// and what the run's start measured (e2e::EndMargin), so that it follows the rule and not the
// machine's speed: on a quiet machine the margin is small, on a loaded one it grows with the
// load. The time the threads ran is not part of it: code that runs on past its rule (a loop
// not stopped) is the fault a bound is there to find.
#pragma once

#include <dirent.h>
#include <sys/types.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

class RunTime {
public:
    // The process pid, this process (the test) and the others given.
    explicit RunTime(pid_t pid, std::vector<pid_t> others = {}) : m_pids(std::move(others))
    {
        m_pids.push_back(pid);
        m_pids.push_back(getpid());
    }

    // Reads every thread's figures (a thread that ended keeps its last ones).
    void Sample()
    {
        for (const pid_t pid : m_pids) {
            if (pid <= 0) continue;
            const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
            DIR* dir = opendir(tasks.c_str());
            if (!dir) continue;
            while (const dirent* e = readdir(dir)) {
                if (e->d_name[0] == '.') continue;
                FILE* f = std::fopen((tasks + "/" + e->d_name + "/schedstat").c_str(), "r");
                if (!f) continue;
                unsigned long long ran = 0, waited = 0;
                if (std::fscanf(f, "%llu %llu", &ran, &waited) == 2) {
                    m_now[std::atol(e->d_name)] = {ran, waited};
                    m_known = true;
                }
                std::fclose(f);
            }
            closedir(dir);
        }
        m_sampled = std::chrono::steady_clock::now();
    }
    // From now on: the span counted begins (sampled first).
    void Mark()
    {
        Sample();
        m_mark = m_now;
        m_stalledAtMark = Stalled();
    }
    // Seconds the processes' threads ran, and waited for a CPU, since Mark(), as last sampled.
    double Ran() const { return Sum(&Figures::ran); }
    double Waited() const { return Sum(&Figures::waited); }
    // What the load took since Mark(): the threads' waits for a CPU, and the time since the last
    // sample (to call once the process has ended).
    double Lost() const
    {
        return Waited() + double(Stalled() - m_stalledAtMark) / 1e6 +
               std::chrono::duration<double>(std::chrono::steady_clock::now() - m_sampled).count();
    }
    // Whether the system gave the figures (a kernel without them: both are 0).
    bool Known() const { return m_known; }

private:
    // Microseconds in which some task of the machine was held up by the disk or by memory (0
    // where the kernel keeps no such figures).
    static unsigned long long Stalled()
    {
        unsigned long long sum = 0;
        for (const char* path : {"/proc/pressure/io", "/proc/pressure/memory"}) {
            FILE* f = std::fopen(path, "r");
            if (!f) continue;
            unsigned long long total = 0;
            if (std::fscanf(f, "some avg10=%*f avg60=%*f avg300=%*f total=%llu", &total) == 1) sum += total;
            std::fclose(f);
        }
        return sum;
    }

    struct Figures {
        unsigned long long ran = 0, waited = 0; // nanoseconds
    };
    double Sum(unsigned long long Figures::*figure) const
    {
        unsigned long long sum = 0;
        for (const auto& [tid, now] : m_now) {
            const auto at = m_mark.find(tid);
            sum += now.*figure - (at == m_mark.end() ? 0 : at->second.*figure);
        }
        return double(sum) / 1e9;
    }

    std::vector<pid_t> m_pids;
    bool m_known = false;
    std::chrono::steady_clock::time_point m_sampled = std::chrono::steady_clock::now();
    unsigned long long m_stalledAtMark = Stalled();
    std::map<long, Figures> m_now, m_mark; // by thread
};
