// The host side of the log console (Console.cpp): descriptors it writes whole, the standard
// output and error and the log files of "-output" and "-debugoutput". Backed by
// Linux/ConsoleM.cpp (POSIX: open, poll, write).
//
// A write waits for a reader that is slow, as a blocking write would, but it never holds the
// run once a signal asked it to end (QuitRequest_Signalled): from then on it waits half a
// second at most in all, and then what a descriptor does not take at once is given up. The
// descriptors of the standard output and error are shared with whoever started the run, so
// they are never switched to non-blocking: the write polls first and hands a pipe at most
// what it holds in one piece.
#pragma once

#include <cstddef>

enum class ConsoleWrite {
    Written, // every byte went
    Failed,  // the system refused the write (error says why)
    GaveUp,  // a signal asked the run to end while the descriptor took nothing more
};

// Writes length bytes of data to the descriptor; error gets errno when it failed. plain says
// whether it is a plain file when the caller knows (a log file it opened): -1 asks the system.
ConsoleWrite ConsoleHost_Write(int fd, const char* data, size_t length, int* error, int plain = -1);
// 1 when the descriptor is a plain file (written whole, never polled), else 0.
int ConsoleHost_IsPlainFile(int fd);
// Opens a log file for appending, made when missing (read and write, as stdio's "a+": a named
// pipe opens without waiting for a reader). -1 with errno when it does not open.
int ConsoleHost_OpenLog(const char* path);
// Closes a log file; false with errno when the close reports a write that failed.
bool ConsoleHost_Close(int fd);
