// POSIX half of the file layer (Files/Support/File.h): case-insensitive name resolution,
// existence tests, folder creation, whole-file reads and writes, the symlink-safe tree
// delete and the run's temporary folder (mkdtemp).
#include "Files/Support/File.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Platform/MemoryManager.h"

namespace {

bool SameIgnoringAsciiCase(const char* a, const char* b)
{
    for (;; a++, b++) {
        unsigned char x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return false;
        if (!x) return true;
    }
}

bool Present(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// The entry of folder that matches name ignoring ASCII case; "" when none.
std::string FindIgnoringCase(const std::string& folder, const std::string& name)
{
    DIR* d = opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return "";
    std::string best;
    while (dirent* e = readdir(d)) {
        if (!SameIgnoringAsciiCase(e->d_name, name.c_str())) continue;
        if (best.empty() || std::strcmp(e->d_name, best.c_str()) < 0) best = e->d_name;
    }
    closedir(d);
    return best;
}

int StatMode(const char* path)
{
    if (!path || !*path) return 0;
    std::string r = File_Resolve(path);
    struct stat st;
    if (stat(r.c_str(), &st) != 0) return 0;
    return int(st.st_mode);
}

// Deletes every entry of the open folder dirfd (which it closes). Links are removed, not
// followed; sub-folders are opened without following links and emptied first.
bool DeleteContents(int dirfd)
{
    DIR* d = fdopendir(dirfd);
    if (!d) {
        close(dirfd);
        return false;
    }
    std::vector<std::string> names;
    while (dirent* e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        names.emplace_back(e->d_name);
    }
    bool ok = true;
    for (const std::string& name : names) {
        struct stat st;
        if (fstatat(dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) continue;
            ok = false;
            break;
        }
        if (S_ISDIR(st.st_mode)) {
            // A folder without read, write or search rights is given them first.
            if ((st.st_mode & S_IRWXU) != S_IRWXU)
                fchmodat(dirfd, name.c_str(), (st.st_mode & 07777) | S_IRWXU, 0);
            int sub = openat(dirfd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub < 0 || !DeleteContents(sub) || unlinkat(dirfd, name.c_str(), AT_REMOVEDIR) != 0) {
                ok = false;
                break;
            }
        } else if (unlinkat(dirfd, name.c_str(), 0) != 0) {
            ok = false;
            break;
        }
    }
    closedir(d);
    return ok;
}

std::string g_tempFolder; // "" until made

} // namespace

std::string File_Resolve(const char* name)
{
    std::string p = File_NormaliseSeparators(name);
    if (p.empty() || Present(p)) return p;

    std::string built;
    size_t i = 0;
    if (p[0] == '/') {
        built = "/";
        i = 1;
    }
    while (i < p.size()) {
        size_t j = p.find('/', i);
        bool last = j == std::string::npos;
        if (last) j = p.size();
        std::string part = p.substr(i, j - i);
        if (!part.empty() && part != "." && part != ".." && !Present(built + part)) {
            std::string match = FindIgnoringCase(built, part);
            if (match.empty()) return built + p.substr(i); // the rest stays as written
            part = match;
        }
        built += part;
        if (!last) built += "/";
        i = j + 1;
    }
    return built;
}

std::string File_CurrentFolder()
{
    std::vector<char> buffer(4096);
    for (;;) {
        if (getcwd(buffer.data(), buffer.size())) return buffer.data();
        if (errno != ERANGE || buffer.size() >= (1u << 20)) return "";
        buffer.resize(buffer.size() * 2);
    }
}

char* File_WorkingDirectory() { return MEM_STRDUP(File_CurrentFolder().c_str()); }

bool File_Exists(const char* path) { return S_ISREG(StatMode(path)); }

bool File_DirectoryExists(const char* path) { return S_ISDIR(StatMode(path)); }

bool File_CreateDirectory(const char* path)
{
    if (!path || !*path) return false;
    std::string p = File_NormaliseSeparators(path);
    if (p.size() > 1 && p.back() == '/') p.pop_back();
    if (p == "/" || (File_HasDrive(p) && p.size() < 3)) return true;
    std::string r = File_Resolve(p.c_str());
    // Every folder on the way, from the top, is made when missing.
    for (size_t j = 1; j <= r.size(); j++) {
        if (j < r.size() && r[j] != '/') continue;
        std::string prefix = r.substr(0, j);
        struct stat st;
        if (stat(prefix.c_str(), &st) == 0) {
            if (S_ISDIR(st.st_mode)) continue;
            return false;
        }
        if (mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    struct stat st;
    return stat(r.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

uint8_t* File_ReadAll(const char* hostPath, int32_t* size)
{
    if (size) *size = 0;
    if (!hostPath || !*hostPath) return nullptr;
    // Non-blocking, so that opening a pipe cannot wait for a writer; only plain files go on.
    int fd = open(hostPath, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size >= 0x7FFFFFFF) {
        close(fd);
        return nullptr;
    }
    int64_t want = st.st_size;
    auto* data = static_cast<uint8_t*>(MEM_ALLOC_CLEAR(uint32_t(want + 1)));
    int64_t got = 0;
    while (got < want) {
        ssize_t n = read(fd, data + got, size_t(want - got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break; // the file shrank or failed: keep what arrived
        got += n;
    }
    close(fd);
    data[got] = 0;
    if (size) *size = int32_t(got);
    return data;
}

bool File_WriteAll(const char* hostPath, const void* data, int64_t length)
{
    if (!hostPath || !*hostPath || length < 0 || (length > 0 && !data)) {
        errno = EINVAL;
        return false;
    }
    int fd = open(hostPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    const auto* p = static_cast<const uint8_t*>(data);
    int64_t done = 0;
    while (done < length) {
        ssize_t n = write(fd, p + done, size_t(length - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    int saved = errno;
    bool closed = close(fd) == 0;
    if (done < length) {
        errno = saved ? saved : EIO;
        return false;
    }
    return closed;
}

bool File_CanRead(const char* hostPath)
{
    if (!hostPath || !*hostPath) return false;
    int fd = open(hostPath, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    close(fd);
    return ok;
}

bool File_DeleteTree(const char* path)
{
    if (!path || !*path) return false;
    std::string r = File_Resolve(path);
    while (r.size() > 1 && r.back() == '/') r.pop_back();
    struct stat st;
    if (lstat(r.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    if ((st.st_mode & S_IRWXU) != S_IRWXU) chmod(r.c_str(), (st.st_mode & 07777) | S_IRWXU);
    int fd = open(r.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    if (!DeleteContents(fd)) return false;
    return rmdir(r.c_str()) == 0;
}

bool File_InitTempDirectory()
{
    if (!g_tempFolder.empty()) return true;
    std::string base = "/tmp";
    for (const char* name : {"TEMP", "TMP", "TMPDIR"}) {
        const char* v = std::getenv(name);
        if (v && *v) {
            base = v;
            break;
        }
    }
    for (int pass = 0; pass < 2; pass++) {
        std::string folder = File_FullPath(base.c_str());
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        std::string pattern = (folder == "/" ? "" : folder) + "/zb_ttt_XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back(0);
        if (mkdtemp(buffer.data())) {
            g_tempFolder = buffer.data();
            return true;
        }
        if (base == "/tmp") break;
        base = "/tmp";
    }
    return false;
}

void File_DeleteTempDirectory()
{
    if (g_tempFolder.empty()) return;
    File_DeleteTree(g_tempFolder.c_str());
    g_tempFolder.clear();
}

char* File_TempDirectory()
{
    return g_tempFolder.empty() ? nullptr : MEM_STRDUP(g_tempFolder.c_str());
}

const char* File_TempDirectoryPath() { return g_tempFolder.empty() ? nullptr : g_tempFolder.c_str(); }
