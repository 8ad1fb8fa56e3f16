// The host side of the log console (Console.cpp): descriptors it writes whole, the standard
// output and error and the log files of "-output" and "-debugoutput". Backed by
// Linux/ConsoleM.cpp (POSIX: open, poll, write, send).
//
// What an output is, is learnt at its first write (and not again: a write that failed leaves
// it as learnt), and decides how a line goes:
//   - a plain file, or a device that takes every write at once (/dev/null): one write, no
//     look before it;
//   - a pipe or a named pipe: one write through a descriptor of the output's own that does
//     not block (the log files' own open, or the shared standard output reopened through
//     /proc, for an open file of ours, when that proves to be the same pipe, so that the other
//     writers of that pipe keep theirs as they were); where none can be had (no /proc, a pipe
//     of another user), a write that does not wait (RWF_NOWAIT) where the system takes one;
//   - a socket: one send that does not wait;
//   - anything else (a terminal, a terminal's master side, another device, a pipe of an older
//     system): poll, then a write of at most PIPE_BUF bytes (which another writer of the same
//     output may still hold up). Such an output is never opened again: the same open of a
//     terminal's master side would make a new terminal.
// A line that an output does not take at once waits in poll. A way of writing that the system
// turns out not to take for that output is left for the last one, and the line goes again.
// A write waits for a reader that is slow, as a blocking write would, but it never holds the
// run once the run's quit came (QuitRequest_Quitting: a signal, the window's close): from then
// on it waits half a second at most in all, and then what an output does not take is given up.
#pragma once

#include <cstddef>
#include <mutex>

enum class ConsoleWrite {
    Written, // every byte went
    Failed,  // the system refused the write (error says why)
    GaveUp,  // the run's quit came while the output took nothing more
};

// One output of the log. Any thread may write it; the lock keeps its lines whole and apart.
struct ConsoleOutput {
    explicit ConsoleOutput(int descriptor = -1) : fd(descriptor) {}
    ConsoleOutput(const ConsoleOutput&) = delete;
    ConsoleOutput& operator=(const ConsoleOutput&) = delete;

    int fd;          // the descriptor of the output (the standard output's 1, a log file's own)
    int kind = 0;    // how it is written (Linux/ConsoleM.cpp); 0 until learnt
    int own = -1;    // the descriptor written when not fd: our own open of the same pipe
    bool cut = false; // the last line stopped part way: the next begins with a line break
    std::mutex lock;
};

// Writes length bytes of data to the output; error gets errno when it failed. A line that
// stopped part way (a disk that filled, a reader gone) is ended with a line break before the
// next one goes.
ConsoleWrite ConsoleHost_Write(ConsoleOutput& out, const char* data, size_t length, int* error);
// Forgets what was learnt of the output and closes the descriptor of its own (not fd).
void ConsoleHost_Forget(ConsoleOutput& out);
// Opens a log file for appending, made when missing (read and write, as stdio's "a+": a named
// pipe opens without waiting for a reader). A path that names one of the runner's own
// streams (/dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N, a link to one of them) gives
// a copy of that descriptor (dup), written as the standard output is. The runner's own streams
// are the descriptors open when the process started, noted before it opened any: a path that
// names any other descriptor (one the runner opened itself) gives -1 with EBADF, as a
// descriptor that is not open. -1 with errno when it does not open.
int ConsoleHost_OpenLog(const char* path);
// Closes a log file; false with errno when the close reports a write that failed.
bool ConsoleHost_Close(int fd);
// True when the two descriptors write to the same file, pipe, socket or terminal (the same
// device and inode, or both the run's controlling terminal, one of them named /dev/tty): the
// log that is the standard output itself.
bool ConsoleHost_SameOutput(int a, int b);
