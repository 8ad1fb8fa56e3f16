// Host parts of the program entry on Linux: the executable's path and the current folder's
// files for the '@' moves. POSIX only.
#include "Zimbrel.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

std::string MainHost_ExecutablePath()
{
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return std::string();
    buffer[n] = 0;
    return std::string(buffer);
}

std::vector<std::string> MainHost_MovableFiles()
{
    std::vector<std::string> names;
    DIR* dir = opendir(".");
    if (!dir) return names;
    while (dirent* e = readdir(dir)) {
        const char* name = e->d_name;
        if (name[0] == '.') continue; // hidden
        struct stat st;
        if (lstat(name, &st) != 0 || !S_ISREG(st.st_mode)) continue; // folders, links, devices
        if (!(st.st_mode & S_IWUSR)) continue;                         // read-only (the owner's write bit)
        names.emplace_back(name);
    }
    closedir(dir);
    return names;
}

bool MainHost_MakeFolder(const std::string& path) { return mkdir(path.c_str(), 0777) == 0 || errno == EEXIST; }

bool MainHost_Rename(const std::string& from, const std::string& to)
{
    // Never replace a file that is already there.
    struct stat st;
    if (lstat(to.c_str(), &st) == 0) return false;
    return std::rename(from.c_str(), to.c_str()) == 0;
}
