// POSIX half of the file built-ins (Function_FileHost.h): streams, folder listings, delete and
// rename go through the file layer's one safe open (Files/Support/File.h: non-blocking, plain
// files only, no link followed below the save area); folder listings with attribute bits, the
// same-file test and the process's arguments from /proc/self/cmdline.
#include "Files/Function/Function_FileHost.h"
#include "Files/Support/File.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

int32_t AttributesOf(const struct stat& st, const char* name)
{
    int32_t bits = 0;
    if (S_ISDIR(st.st_mode))
        bits |= FILE_ATTR_DIRECTORY;
    else if (S_ISREG(st.st_mode))
        bits |= FILE_ATTR_ARCHIVE;
    else
        bits |= FILE_ATTR_SYSTEM;
    if (!(st.st_mode & S_IWUSR)) bits |= FILE_ATTR_READONLY;
    if (name && name[0] == '.') bits |= FILE_ATTR_HIDDEN;
    return bits;
}

const char* LastComponent(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

} // namespace

FILE* FileHost_Open(const char* hostPath, const char* mode) { return File_OpenStream(hostPath, mode); }

bool FileHost_Seek(FILE* stream, int64_t offset, int whence)
{
    return stream && fseeko(stream, off_t(offset), whence) == 0;
}

int64_t FileHost_Tell(FILE* stream)
{
    if (!stream) return -1;
    return int64_t(ftello(stream));
}

bool FileHost_Truncate(FILE* stream)
{
    if (!stream) return false;
    std::fflush(stream);
    bool ok = ftruncate(fileno(stream), 0) == 0;
    return FileHost_Seek(stream, 0, SEEK_SET) && ok;
}

bool FileHost_ListFolder(const char* hostFolder, std::vector<FileHostEntry>* out)
{
    if (!hostFolder || !*hostFolder) return false;
    int dfd = File_OpenDescriptor(hostFolder, O_RDONLY | O_DIRECTORY);
    if (dfd < 0) return false;
    DIR* d = fdopendir(dfd);
    if (!d) {
        close(dfd);
        return false;
    }
    while (dirent* e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        struct stat st;
        if (fstatat(dfd, e->d_name, &st, 0) != 0 && fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue; // gone meanwhile
        if (S_ISLNK(st.st_mode)) st.st_mode = S_IFREG | (st.st_mode & 0777); // a broken link
        out->push_back(FileHostEntry{e->d_name, AttributesOf(st, e->d_name)});
    }
    closedir(d);
    return true;
}

int32_t FileHost_Attributes(const char* hostPath)
{
    if (!hostPath || !*hostPath) return -1;
    struct stat st;
    if (stat(hostPath, &st) != 0) {
        if (lstat(hostPath, &st) != 0) return -1;
        st.st_mode = S_IFREG | (st.st_mode & 0777);
    }
    return AttributesOf(st, LastComponent(hostPath));
}

bool FileHost_Delete(const char* hostPath) { return File_Delete(hostPath); }

bool FileHost_Rename(const char* from, const char* to) { return File_Rename(from, to); }

bool FileHost_SameFile(const char* a, const char* b)
{
    struct stat sa, sb;
    if (!a || !b || stat(a, &sa) != 0 || stat(b, &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::vector<std::string> FileHost_CommandLine()
{
    std::vector<std::string> out;
    int fd = open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return out;
    std::string all;
    char buffer[4096];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        all.append(buffer, size_t(n));
    }
    close(fd);
    // Arguments each end in a zero byte.
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find('\0', start);
        if (end == std::string::npos) end = all.size();
        out.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return out;
}
