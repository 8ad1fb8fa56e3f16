// The host side of the file built-ins (Function_File.cpp): file streams that open plain files
// only, folder listings with attribute bits, the attributes of one path, delete and rename,
// the same-file test of file_copy, and the process's own arguments. Every path given here is
// a host path (mapped and resolved by the caller).
//
// Backed by Linux/Function_FileM.cpp (POSIX: open/fdopen, opendir, stat, renameat2,
// /proc/self/cmdline).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Attribute bits as the file built-ins report them (the numbers scripts see through
// fa_readonly, fa_hidden, fa_sysfile, fa_directory, fa_archive). ORDER: script constants.
enum : int32_t {
    FILE_ATTR_READONLY = 1,   // the owner may not write it
    FILE_ATTR_HIDDEN = 2,     // its name begins with '.'
    FILE_ATTR_SYSTEM = 4,     // neither a plain file nor a folder (device, pipe, socket)
    FILE_ATTR_DIRECTORY = 16, // a folder
    FILE_ATTR_ARCHIVE = 32,   // a plain file
    FILE_ATTR_MASK = 0x37,
};

struct FileHostEntry {
    std::string name;   // the entry's own name, without its folder
    int32_t attributes; // FILE_ATTR_* bits
};

// Opens a plain file with a C stdio mode ("rb", "wb", "r+b", "w+b", "ab+", "w", "a+", ...).
// Folders, devices and pipes are refused (never waited on), and the descriptor is not passed
// to programs the game starts. Null on failure.
FILE* FileHost_Open(const char* hostPath, const char* mode);
// 64-bit positions of a stream; whence is SEEK_SET, SEEK_CUR or SEEK_END.
bool FileHost_Seek(FILE* stream, int64_t offset, int whence);
int64_t FileHost_Tell(FILE* stream);
// Empties the stream's file and moves to position 0.
bool FileHost_Truncate(FILE* stream);

// The entries of a folder ("." and ".." left out), in no particular order. False when the
// folder cannot be opened.
bool FileHost_ListFolder(const char* hostFolder, std::vector<FileHostEntry>* out);
// The attribute bits of what the path names (links followed; a broken link counts as a plain
// file); -1 when nothing is there.
int32_t FileHost_Attributes(const char* hostPath);

// Removes a file (never a folder). True when it went.
bool FileHost_Delete(const char* hostPath);
// Renames a file or folder; refuses when something already has the new name (nothing is
// overwritten). True when renamed.
bool FileHost_Rename(const char* from, const char* to);
// True when both paths name the same existing file.
bool FileHost_SameFile(const char* a, const char* b);

// The process's arguments as it was started, its own path first.
std::vector<std::string> FileHost_CommandLine();
