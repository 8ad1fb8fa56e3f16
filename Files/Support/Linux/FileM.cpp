// POSIX half of the file layer (Files/Support/File.h): case-insensitive name resolution,
// the one safe open (non-blocking, plain files only, below the confined folder no link
// followed in a run as root and only the user's own in a plain user's run), existence tests,
// folder creation, delete and rename, whole-file reads and writes,
// files written beside their name and renamed into place (or in place where a rename would lose
// their owner, a second name or the write), the lines that say a failed write,
// the symlink-safe tree delete and the run's temporary folder (mkdtemp).
//
// Below the confined folder every operation starts from the descriptor of that folder, held
// while its path names it (walked again once it names another), and opens each folder on the
// way with O_PATH | O_NOFOLLOW, then works on the last name with the *at calls (O_NOFOLLOW,
// AT_SYMLINK_NOFOLLOW): a link swapped in between two calls is still never followed; a plain
// user's own link is followed by its text, read through a descriptor of the link itself.
// Elsewhere the folder of the path is opened once (its links followed: the user's own) and
// the same calls work on the last name from it. Folders are made one at a time from the top,
// each in the descriptor of the one before and opened without following a link (the walk to
// the confined folder in a run as root follows a user's link only into that user's folder);
// what a run as root makes in another user's folder is given to that user through its own
// descriptor, once the descriptor shows it is what the run made. So a run as root never
// checks a path and then acts on it: a folder swapped for a link between two calls cannot
// lead a change of owner, a write or a rename elsewhere.
#include "Files/Support/File.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "Files/Base/Console.h"
#include "Files/Base/QuitRequest.h"
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

// [SECTION] The confined folder and the walk

std::string g_confined; // absolute, trailing '/'; "" for none
bool g_confinedFailureSaid = false; // the folder could not be made, and that was said once
// The confined folder (O_PATH), held while its path names it (OpenConfined): every operation
// below it starts from this descriptor. -1 until it is opened (or made).
int g_confinedFd = -1;
dev_t g_confinedDev = 0; // the held folder's device and inode
ino_t g_confinedIno = 0;
std::mutex g_confinedFdLock;

// Which symbolic links a walk follows.
enum class Links {
    None,    // none (below the confined folder in a run as root)
    Own,     // the run's user's own, the player's (below the confined folder in a plain user's run)
    Trusted, // root's, and a user's that leads to a folder of that user (above it in a run as root)
    Any,     // every one, the system following it (above it in a plain user's run; anywhere else)
};

// A run as root keeps the confined folder closed to every link and opens it only through
// links that lead a user's way into that user's own folders; a plain user's run may go
// wherever the user's own links lead, as the user may anyway.
bool RunAsRoot() { return geteuid() == 0; }
Links BelowConfined() { return RunAsRoot() ? Links::None : Links::Own; }
Links AboveConfined() { return RunAsRoot() ? Links::Trusted : Links::Any; }

bool SameIgnoringAsciiCaseN(const std::string& a, const std::string& b, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

// When path lies below the confined folder (or is that folder): the folder as the path spells
// it (trailing '/') and the components after it. The prefix is compared ignoring ASCII case,
// as name resolution may have changed the case of a folder that did not exist as written.
bool ConfinedParts(const char* path, std::string* root, std::vector<std::string>* parts)
{
    if (g_confined.empty() || !path || !*path) return false;
    const std::string full = File_FullPath(path);
    const size_t n = g_confined.size();
    if (full.size() >= n && SameIgnoringAsciiCaseN(full, g_confined, n)) {
        *root = full.substr(0, n);
    } else if (full.size() + 1 == n && SameIgnoringAsciiCaseN(full, g_confined, n - 1)) {
        *root = full + "/";
    } else {
        return false;
    }
    parts->clear();
    for (size_t i = root->size(); i < full.size();) {
        size_t j = full.find('/', i);
        if (j == std::string::npos) j = full.size();
        if (j > i) parts->push_back(full.substr(i, j - i)); // "." and ".." were folded away
        i = j + 1;
    }
    return true;
}

void CloseKeepingErrno(int fd);

// The text of the link name in the folder dirfd and its owner, read through a descriptor of
// the link itself (so a link swapped in meanwhile is not the one read); false when name is
// not a link.
bool ReadLinkAt(int dirfd, const char* name, std::string* target, uid_t* owner)
{
    const int fd = openat(dirfd, name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    char buffer[PATH_MAX];
    ssize_t n = -1;
    if (fstat(fd, &st) == 0 && S_ISLNK(st.st_mode)) n = readlinkat(fd, "", buffer, sizeof buffer);
    CloseKeepingErrno(fd);
    if (n <= 0 || size_t(n) >= sizeof buffer) return false;
    target->assign(buffer, size_t(n));
    *owner = st.st_uid;
    return true;
}

// The folder that the link name in the folder dirfd leads to, when links lets it be followed:
// its text is opened from dirfd, the system following the links on the way from there. -1
// with errno: ENOTDIR for what is not a link, a link the rule refuses and a link to nothing;
// EPERM for a user's link that would lead a run as root into a folder not that user's.
int FollowFolderLink(int dirfd, const char* name, Links links)
{
    std::string target;
    uid_t owner = 0;
    if (links == Links::None || !ReadLinkAt(dirfd, name, &target, &owner) || (links == Links::Own && owner != geteuid())) {
        errno = ENOTDIR;
        return -1;
    }
    int fd = openat(dirfd, target.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) errno = ENOTDIR;
    struct stat st;
    if (fd >= 0 && links == Links::Trusted && owner != 0 && (fstat(fd, &st) != 0 || st.st_uid != owner)) {
        close(fd);
        fd = -1;
        errno = EPERM;
    }
    return fd;
}

// True when the open folder fd holds nothing but "." and "..".
bool EmptyFolder(int fd)
{
    alignas(8) char buffer[2048];
    for (;;) {
        const long n = syscall(SYS_getdents64, fd, buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0) return false;
        for (long at = 0; at < n;) {
            const auto* e = reinterpret_cast<const dirent64*>(buffer + at);
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) return false;
            at += e->d_reclen;
        }
    }
}

// Whether what this process makes in the folder dirfd goes to that folder's owner: in a run
// as root, in a folder of another user's. Decided by the folder the file or folder actually
// lands in, whatever name reached it (the save area by its path, a file the player picked
// there through a link of the user's, or one picked in another of the user's folders), so a
// file a run as root makes for a user is the user's and that user's next run may replace or
// delete it. folder (when given) gets the folder's status.
bool GoesToFolderOwner(int dirfd, struct stat* folder = nullptr)
{
    if (geteuid() != 0) return false; // only root may give a file to another user
    struct stat st;
    if (!folder) folder = &st;
    const int saved = errno;
    const bool gives = fstat(dirfd, folder) == 0 && folder->st_uid != 0;
    errno = saved;
    return gives;
}

// What this process has just made in the folder dirfd (made: the new file's or folder's own
// open descriptor) goes to the owner and group of that folder as GoesToFolderOwner says. Only
// what the descriptor shows to be what it made is given: root's own, and a folder still empty.
// Both the folder and what is given are descriptors held since the making, so a name swapped
// meanwhile (a link, another folder) never leads the change elsewhere. Nothing happens, and
// nothing is said, when it may not be given.
void GiveToFolderOwner(int dirfd, int made)
{
    struct stat folder, st;
    if (!GoesToFolderOwner(dirfd, &folder)) return;
    const int saved = errno;
    if (fstat(made, &st) == 0 && st.st_uid == 0 && (!S_ISDIR(st.st_mode) || EmptyFolder(made)))
        (void)fchown(made, folder.st_uid, folder.st_gid);
    errno = saved;
}

// The folder name of the folder dirfd as a descriptor, with make made when missing: a link is
// followed as links says, and what is made is opened without following one and given as
// GiveToFolderOwner says. *followed (when given) tells whether a link was followed.
// -1 with errno (ENOTDIR for a file, or a link the rule refuses, in the way).
int OpenFolderAt(int dirfd, const char* name, Links links, bool make, bool* followed = nullptr)
{
    if (followed) *followed = false;
    const int how = O_PATH | O_DIRECTORY | O_CLOEXEC | (links == Links::Any ? 0 : O_NOFOLLOW);
    int fd = openat(dirfd, name, how);
    if (fd < 0 && errno == ENOENT && make) {
        if (mkdirat(dirfd, name, 0777) == 0) {
            // Read by root to be given (which must see it empty), else only walked on.
            const bool giving = GoesToFolderOwner(dirfd);
            fd = openat(dirfd, name, (giving ? O_RDONLY : O_PATH) | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd >= 0 && giving) GiveToFolderOwner(dirfd, fd);
        } else if (errno == EEXIST) {
            fd = openat(dirfd, name, how); // made meanwhile by another runner, or a link to nothing
            if (fd < 0 && errno == ENOENT) errno = ENOTDIR;
        }
    }
    if (fd < 0 && (errno == ENOTDIR || errno == ELOOP) && links != Links::Any) {
        fd = FollowFolderLink(dirfd, name, links); // a link of the kind the rule follows
        if (followed) *followed = fd >= 0;
    }
    struct stat st;
    if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode))) {
        close(fd); // a link opened as itself
        fd = -1;
        errno = ENOTDIR;
    }
    return fd;
}

// A descriptor of the folder path (absolute, or from the current folder), with make every
// missing folder on the way made; links on the way are followed as links says. The walk goes
// from the top, one folder at a time, each made in and opened from the descriptor of the one
// before; each folder made goes to the owner of the folder it was made in as
// GiveToFolderOwner says. -1 with errno.
int MakeFolders(const std::string& path, bool make, Links links)
{
    int dfd = open(!path.empty() && path[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    for (size_t i = 0; dfd >= 0 && i < path.size();) {
        size_t j = path.find('/', i);
        if (j == std::string::npos) j = path.size();
        if (j > i) {
            const int next = OpenFolderAt(dfd, path.substr(i, j - i).c_str(), links, make);
            CloseKeepingErrno(dfd);
            dfd = next;
        }
        i = j + 1;
    }
    return dfd;
}

// Everything the game writes goes below the confined folder (the save area): when that
// folder cannot be made, all of it is lost, so whoever started the run is told, once.
void SayConfinedFolderFailed(const std::string& root)
{
    if (g_confinedFailureSaid) return;
    g_confinedFailureSaid = true;
    const int saved = errno;
    Console_Problem("the save area %s cannot be made: %s; what the game writes there is lost", root.c_str(),
                    std::strerror(saved));
    errno = saved;
}

void CloseKeepingErrno(int fd)
{
    int saved = errno;
    close(fd);
    errno = saved;
}

// Takes the advisory lock (flock) how (LOCK_SH or LOCK_EX) of an open file: runners hold it
// exclusively while they write a file in place and shared while they read a file whole, so no
// runner reads another's half-written file. A lock held elsewhere is waited for, at most two
// seconds (a writer holds it for one write), and no longer than until the run's quit (the
// game's end events have their writes to make); past that, or where the file system takes no
// locks, the file is read or written without it, as a reader that takes no lock would.
void LockFile(int fd, int how)
{
    const int saved = errno;
    int64_t pause = 200; // microseconds
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (flock(fd, how | LOCK_NB) != 0 && (errno == EWOULDBLOCK || errno == EINTR) &&
           std::chrono::steady_clock::now() < end && QuitWait_Sleep(pause)) {
        pause = std::min<int64_t>(pause * 2, 10000);
    }
    errno = saved;
}

// A descriptor of the confined folder: the folder its path names. The descriptor held since
// the last walk serves while the path still names that folder (one stat of the path, the
// system following its links, gives the same device and inode); once the path names another
// folder or none (the folder moved, removed or replaced, or not opened yet), the held one is
// let go and the path walked again from "/" one folder at a time, links followed as
// AboveConfined() says and, with make, missing folders made (each given as GiveToFolderOwner
// says), the folder reached held in its place. The stat only chooses between the held folder
// and a new walk: what is worked on is always a folder the walk opened, so a folder on the way
// swapped for a link (by a user racing a run as root) leads no operation anywhere. -1 with
// errno.
int OpenConfined(bool make)
{
    std::lock_guard<std::mutex> hold(g_confinedFdLock);
    struct stat named;
    const bool found = stat(g_confined.c_str(), &named) == 0;
    const int missing = found ? 0 : errno;
    if (g_confinedFd >= 0 && found && named.st_dev == g_confinedDev && named.st_ino == g_confinedIno)
        return fcntl(g_confinedFd, F_DUPFD_CLOEXEC, 0);
    if (g_confinedFd >= 0) { // the path names another folder now, or none
        close(g_confinedFd);
        g_confinedFd = -1;
    }
    // Not there (a game that looks for its saves before it made any, or after the folder went):
    // said at once, without the walk. Nothing is done by this path but to refuse.
    if (!make && missing == ENOENT) {
        errno = ENOENT;
        return -1;
    }
    const int fd = MakeFolders(g_confined, make, AboveConfined());
    struct stat held;
    if (fd < 0 || fstat(fd, &held) != 0) return fd;
    g_confinedFd = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    g_confinedDev = held.st_dev;
    g_confinedIno = held.st_ino;
    return fd;
}

// A descriptor of root/parts[0]/.../parts[count - 1], from the confined folder's held
// descriptor, each folder opened from the one before, links followed as BelowConfined() says;
// with make, missing folders are made on the way (and the confined folder itself when it is
// missing), each given as GiveToFolderOwner says. *left tells whether the walk followed a
// link of the player's (it is then outside the confined folder's rules). -1 with errno when
// refused.
int WalkFolders(const std::string& root, const std::vector<std::string>& parts, size_t count, bool make, bool* left)
{
    *left = false;
    int dfd = OpenConfined(make);
    if (dfd < 0) {
        if (make) SayConfinedFolderFailed(root);
        return -1;
    }
    for (size_t i = 0; i < count && dfd >= 0; i++) {
        bool followed = false;
        const int next = OpenFolderAt(dfd, parts[i].c_str(), *left ? Links::Any : BelowConfined(), make, &followed);
        *left = *left || followed;
        CloseKeepingErrno(dfd);
        dfd = next;
    }
    return dfd;
}

// Where a host path lies for the *at calls: the descriptor of its folder and its last name.
// Outside the confined folder the folder is opened once, following links, and the name
// worked on from it; a path without a folder part (or ending in "/", "." or "..") is taken
// from the current folder as it is (AT_FDCWD).
struct Place {
    int dirfd = AT_FDCWD;
    std::string name;
    bool confined = false; // below the confined folder: the last name's link is not followed (FollowOwnLink)
    Place() = default;
    Place(const Place&) = delete;
    Place& operator=(const Place&) = delete;
    ~Place()
    {
        if (dirfd >= 0) close(dirfd);
    }
};

// Fills place; false (errno set) when a folder on the way is refused or missing. With make,
// missing folders on the way are made (below the confined folder).
bool Locate(const char* path, bool make, Place* place)
{
    std::string root;
    std::vector<std::string> parts;
    if (!ConfinedParts(path, &root, &parts)) {
        const std::string p = path;
        const size_t slash = p.rfind('/');
        const std::string last = slash == std::string::npos ? "" : p.substr(slash + 1);
        if (last.empty() || last == "." || last == "..") {
            place->name = p;
            return true;
        }
        place->dirfd = open(slash == 0 ? "/" : p.substr(0, slash).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        place->name = last;
        return place->dirfd >= 0;
    }
    const size_t folders = parts.empty() ? 0 : parts.size() - 1;
    bool left = false;
    place->dirfd = WalkFolders(root, parts, folders, make, &left);
    place->confined = !left;
    place->name = parts.empty() ? "." : parts.back(); // "." names the confined folder itself
    return place->dirfd >= 0;
}

// In a plain user's run, a last name below the confined folder that is a link of the user's own
// (the player made it) is followed: place then names its text from the same folder, which
// the system resolves as it resolves any path outside the confined folder.
void FollowOwnLink(Place* place)
{
    std::string target;
    uid_t owner = 0;
    if (!place->confined || BelowConfined() != Links::Own || place->name == "." ||
        !ReadLinkAt(place->dirfd, place->name.c_str(), &target, &owner) || owner != geteuid())
        return;
    place->name = target;
    place->confined = false;
}

// The one safe open (File.h): non-blocking, plain files only (folders with O_DIRECTORY), no
// link below the confined folder, no file with other names opened for writing there, a
// truncation only once the file is known to be a plain file.
int OpenSafe(const char* path, int flags)
{
    if (!path || !*path) {
        errno = ENOENT;
        return -1;
    }
    Place place;
    if (!Locate(path, false, &place)) return -1;
    const bool folder = (flags & O_DIRECTORY) != 0;
    const bool writing = (flags & O_ACCMODE) != O_RDONLY;
    int how = (flags & ~O_TRUNC) | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    if (place.confined) how |= O_NOFOLLOW;
    int fd = -1;
    if ((flags & O_CREAT) && !(flags & O_EXCL) && GoesToFolderOwner(place.dirfd)) {
        // A file made here goes to the folder's owner, so it must be known whether the open
        // makes it. Outside the confined folder a link to no file yet makes it where it
        // points, as an open that follows it does (root's there).
        fd = openat(place.dirfd, place.name.c_str(), how | O_EXCL, 0666);
        if (fd >= 0) GiveToFolderOwner(place.dirfd, fd);
        else if (errno == EEXIST) fd = openat(place.dirfd, place.name.c_str(), how & ~O_CREAT, 0666);
        if (fd < 0 && errno == ENOENT && !place.confined) fd = openat(place.dirfd, place.name.c_str(), how, 0666);
    } else {
        fd = openat(place.dirfd, place.name.c_str(), how, 0666);
    }
    if (fd < 0 && (errno == ELOOP || errno == ENOTDIR) && place.confined) {
        // A link: followed where it is the player's own (a plain user's run).
        const int refused = errno;
        FollowOwnLink(&place);
        if (!place.confined) fd = openat(place.dirfd, place.name.c_str(), how & ~O_NOFOLLOW, 0666);
        else errno = refused;
    }
    if (fd < 0) return -1;
    struct stat st;
    int refusal = 0;
    if (fstat(fd, &st) != 0) refusal = errno;
    else if (folder ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode)) refusal = folder ? ENOTDIR : EINVAL;
    else if (place.confined && writing && st.st_nlink > 1) refusal = EMLINK;
    else if ((flags & O_TRUNC) && writing && ftruncate(fd, 0) != 0) refusal = errno;
    if (refusal) {
        close(fd);
        errno = refusal;
        return -1;
    }
    int fl = fcntl(fd, F_GETFL);
    if (fl != -1) fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    return fd;
}

// open(2) flags of a stdio mode; -1 for a mode that is not one.
int FlagsOfMode(const char* mode)
{
    if (!mode || !*mode) return -1;
    bool plus = std::strchr(mode, '+') != nullptr;
    switch (mode[0]) {
    case 'r': return plus ? O_RDWR : O_RDONLY;
    case 'w': return (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
    case 'a': return (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
    default: return -1;
    }
}

// The mode bits of what a (resolved) name is, without following a link below the confined
// folder; 0 when nothing is there.
int StatMode(const char* path)
{
    if (!path || !*path) return 0;
    std::string r = File_Resolve(path);
    Place place;
    if (!Locate(r.c_str(), false, &place)) return 0;
    struct stat st;
    if (fstatat(place.dirfd, place.name.c_str(), &st, place.confined ? AT_SYMLINK_NOFOLLOW : 0) != 0) return 0;
    if (S_ISLNK(st.st_mode)) { // below the confined folder: followed where it is the player's own
        FollowOwnLink(&place);
        if (place.confined || fstatat(place.dirfd, place.name.c_str(), &st, 0) != 0) return 0;
    }
    return int(st.st_mode);
}

// The folder name of the folder dirfd opened for reading without following a link, given
// read, write and search rights first where it lacks them (fchmod on the descriptor); -1
// with errno. Only a plain user may find its own folder closed to reading: it is then
// opened up by name, which reaches nothing the user could not change anyway.
int OpenToEmpty(int dirfd, const char* name)
{
    int fd = openat(dirfd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == EACCES && geteuid() != 0) {
        struct stat st;
        if (fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode)) return -1;
        fchmodat(dirfd, name, (st.st_mode & 07777) | S_IRWXU, 0);
        fd = openat(dirfd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0 && (st.st_mode & S_IRWXU) != S_IRWXU) fchmod(fd, (st.st_mode & 07777) | S_IRWXU);
    return fd;
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
            const int sub = OpenToEmpty(dirfd, name.c_str());
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

// A name for a temporary file beside name (a last name, or a path): ".NAME.XXXXXX" in the same
// folder (the name cut so that a long one still leaves room), the suffix from the clock, the
// process and a counter.
std::string TemporaryName(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = path.substr(folder.size());
    static std::atomic<uint64_t> counter{0};
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    uint64_t x = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                 (uint64_t(getpid()) << 32) ^ (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
    std::string suffix;
    for (int i = 0; i < 6; i++) {
        x ^= x >> 29;
        x *= 0xBF58476D1CE4E5B9ull;
        suffix += kDigits[x % 62];
    }
    return folder + "." + name.substr(0, 200) + "." + suffix;
}

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

std::string File_LinkTarget(const char* name)
{
    if (!name || !*name) return "";
    char* real = realpath(File_Resolve(name).c_str(), nullptr);
    std::string out = real ? real : "";
    std::free(real);
    return out;
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
    std::string root;
    std::vector<std::string> parts;
    int fd = -1;
    if (!ConfinedParts(r.c_str(), &root, &parts)) {
        fd = MakeFolders(r, true, Links::Any);
    } else {
        Place place;
        if (!Locate(r.c_str(), true, &place)) return false;
        fd = OpenFolderAt(place.dirfd, place.name.c_str(), place.confined ? BelowConfined() : Links::Any, true);
    }
    if (fd < 0) return false; // a file or a link in the way, as for the folders above it: ENOTDIR
    close(fd);
    return true;
}

void File_SetConfinedFolder(const char* folder)
{
    {
        std::lock_guard<std::mutex> hold(g_confinedFdLock);
        if (g_confinedFd >= 0) close(g_confinedFd);
        g_confinedFd = -1;
    }
    g_confined.clear();
    g_confinedFailureSaid = false;
    if (!folder || !*folder) return;
    g_confined = File_FullPath(folder);
    if (g_confined.back() != '/') g_confined += '/';
}

int File_OpenDescriptor(const char* hostPath, int openFlags) { return OpenSafe(hostPath, openFlags); }

FILE* File_OpenStream(const char* hostPath, const char* mode)
{
    int flags = FlagsOfMode(mode);
    if (flags < 0) {
        errno = EINVAL;
        return nullptr;
    }
    int fd = OpenSafe(hostPath, flags);
    if (fd < 0) return nullptr;
    FILE* f = fdopen(fd, mode);
    if (!f) CloseKeepingErrno(fd);
    return f;
}

bool File_Delete(const char* hostPath)
{
    if (!hostPath || !*hostPath) return false;
    Place place;
    return Locate(hostPath, false, &place) && unlinkat(place.dirfd, place.name.c_str(), 0) == 0;
}

bool File_Rename(const char* from, const char* to)
{
    if (!from || !*from || !to || !*to) return false;
    Place a, b;
    if (!Locate(from, false, &a) || !Locate(to, false, &b)) return false;
    if (renameat2(a.dirfd, a.name.c_str(), b.dirfd, b.name.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the no-replace rename: check, then rename.
    struct stat st;
    if (fstatat(b.dirfd, b.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return false;
    return renameat(a.dirfd, a.name.c_str(), b.dirfd, b.name.c_str()) == 0;
}

uint8_t* File_ReadAll(const char* hostPath, int32_t* size)
{
    if (size) *size = 0;
    int fd = OpenSafe(hostPath, O_RDONLY);
    if (fd < 0) return nullptr;
    LockFile(fd, LOCK_SH); // no runner writes it in place meanwhile
    struct stat st;
    if (fstat(fd, &st) != 0 || st.st_size >= FILE_READ_ALL_LIMIT) {
        const int error = fstat(fd, &st) != 0 ? errno : EFBIG;
        close(fd);
        errno = error;
        return nullptr;
    }
    int64_t want = st.st_size;
    auto* data = static_cast<uint8_t*>(MEM_ALLOC_CLEAR(uint32_t(want + 1)));
    constexpr int64_t kReadRun = int64_t(16) << 20; // the quit request is read between runs
    int64_t got = 0;
    while (got < want) {
        if (got > 0 && QuitRequest_Pending()) {
            MEM_FREE(data);
            close(fd);
            return nullptr;
        }
        ssize_t n = read(fd, data + got, size_t(std::min(want - got, kReadRun)));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) { // a failed read: no file cut short where it failed
            MEM_FREE(data);
            CloseKeepingErrno(fd);
            return nullptr;
        }
        if (n == 0) break; // the file shrank while it was read: what is there
        got += n;
    }
    close(fd);
    data[got] = 0;
    if (size) *size = int32_t(got);
    return data;
}

void File_LockForReading(FILE* stream)
{
    if (stream) LockFile(fileno(stream), LOCK_SH);
}

bool File_WriteAll(const char* hostPath, const void* data, int64_t length)
{
    if (!hostPath || !*hostPath || length < 0 || (length > 0 && !data)) {
        errno = EINVAL;
        return false;
    }
    int fd = OpenSafe(hostPath, O_WRONLY | O_CREAT | O_TRUNC);
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

// [SECTION] Files written whole

namespace {

// The stream of a file written from memory: every byte is kept (cookie: the string) until the
// commit writes the whole content at once.
ssize_t StageWrite(void* cookie, const char* data, size_t size)
{
    try {
        static_cast<std::string*>(cookie)->append(data, size);
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return 0; // the stream's error
    }
    return ssize_t(size);
}

// The whole of the open file fd (from its start) into out. False with errno.
bool ReadWhole(int fd, std::string* out)
{
    struct stat st;
    if (fstat(fd, &st) != 0) return false;
    try {
        out->resize(size_t(st.st_size));
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return false;
    }
    size_t got = 0;
    while (got < out->size()) {
        const ssize_t n = pread(fd, out->data() + got, out->size() - got, off_t(got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break; // shorter than it was
        got += size_t(n);
    }
    out->resize(got);
    return true;
}

// Writes content from the start of fd and cuts the file to its length. False with errno.
bool PutWhole(int fd, const std::string& content)
{
    for (size_t done = 0; done < content.size();) {
        const ssize_t n = pwrite(fd, content.data() + done, content.size() - done, off_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        done += size_t(n);
    }
    return ftruncate(fd, off_t(content.size())) == 0;
}

// Writes the whole new content over the open file fd in place, holding its exclusive lock so
// that no runner reads it meanwhile, and closes fd. Nothing is changed when the content cannot
// fit (past the file-size limit, or where the file system reserves room with fallocate and has
// none). A write that fails part way puts the earlier content back when fd may be read (it
// takes no room the file did not have). False with errno at the first failure.
bool WriteOver(int fd, const std::string& content)
{
    LockFile(fd, LOCK_EX);
    int error = 0;
    rlimit limit;
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && content.size() > limit.rlim_cur)
        error = EFBIG;
    std::string earlier;
    const int access = fcntl(fd, F_GETFL);
    const bool restorable = !error && access != -1 && (access & O_ACCMODE) == O_RDWR && ReadWhole(fd, &earlier);
    if (!error && !content.empty() && fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, off_t(content.size())) != 0 &&
        (errno == ENOSPC || errno == EDQUOT || errno == EFBIG))
        error = errno; // a file system without fallocate is written all the same
    if (!error && !PutWhole(fd, content)) {
        error = errno;
        if (restorable) PutWhole(fd, earlier);
    }
    if (close(fd) != 0 && !error) error = errno;
    errno = error;
    return error == 0;
}

} // namespace

FileReplace::~FileReplace() { Discard(); }

void FileReplace::Discard()
{
    const int saved = errno;
    if (m_stream) std::fclose(m_stream); // from memory: the staging stream; else the temporary's descriptor
    if (m_fd >= 0 && (m_inMemory || !m_stream)) close(m_fd);
    if (!m_temporary.empty()) unlinkat(m_dirfd, m_temporary.c_str(), 0);
    if (m_dirfd >= 0) close(m_dirfd);
    m_dirfd = AT_FDCWD;
    m_fd = -1;
    m_stream = nullptr;
    m_path.clear();
    m_name.clear();
    m_temporary.clear();
    std::string().swap(m_staged);
    m_over = m_inMemory = false;
    m_error = 0;
    m_earlierDev = 0;
    m_earlierIno = 0;
    errno = saved;
}

bool FileReplace::OpenInMemory(const char* hostPath)
{
    m_fd = OpenSafe(hostPath, O_RDWR | O_CREAT);
    if (m_fd < 0 && errno == EACCES) m_fd = OpenSafe(hostPath, O_WRONLY | O_CREAT); // written, never read
    m_inMemory = m_fd >= 0;
    if (m_inMemory) m_path = hostPath;
    return m_inMemory;
}

int FileReplace::OpenEarlier(int dirfd, const std::string& name) const
{
    const int how = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    int fd = openat(dirfd, name.c_str(), O_RDWR | how);
    if (fd < 0 && errno == EACCES) fd = openat(dirfd, name.c_str(), O_WRONLY | how); // written, never read
    if (fd < 0) return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_dev != m_earlierDev || st.st_ino != m_earlierIno) {
        close(fd);
        errno = EAGAIN; // another file there now: not written over
        return -1;
    }
    const int fl = fcntl(fd, F_GETFL);
    if (fl != -1) fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    return fd;
}

bool FileReplace::Open(const char* hostPath)
{
    Discard();
    if (!hostPath || !*hostPath) {
        errno = ENOENT;
        return false;
    }
    Place place;
    if (!Locate(hostPath, false, &place)) return false;
    struct stat earlier;
    const bool existed = fstatat(place.dirfd, place.name.c_str(), &earlier, AT_SYMLINK_NOFOLLOW) == 0;
    if (!existed && errno != ENOENT) return false;
    if (place.name == "." || (existed && S_ISDIR(earlier.st_mode))) {
        errno = EISDIR;
        return false;
    }
    if (existed && S_ISLNK(earlier.st_mode)) {
        FollowOwnLink(&place); // below the confined folder, only the player's own
        if (place.confined) {
            errno = ELOOP;
            return false;
        }
        // The user's own link: the file it names is replaced, and the link stays.
        char* real = realpath(hostPath, nullptr);
        const std::string target = real ? real : "";
        std::free(real);
        if (!target.empty()) return Open(target.c_str()); // never a link itself
        return OpenInMemory(hostPath); // a link to no file yet: made where it points
    }
    if (existed && !S_ISREG(earlier.st_mode)) {
        errno = EINVAL;
        return false;
    }
    if (existed) {
        m_earlierDev = earlier.st_dev;
        m_earlierIno = earlier.st_ino;
    }
    if (existed && earlier.st_nlink > 1) {
        if (place.confined) {
            errno = EMLINK;
            return false;
        }
        m_over = true; // every name sees the new content: written over the file, never renamed
    }
    // A file the user may not write stays so (a rename would replace it all the same).
    if (existed && faccessat(place.dirfd, place.name.c_str(), W_OK, AT_EACCESS) != 0) return false;
    for (int attempt = 0; attempt < 100; attempt++) {
        const std::string temporary = TemporaryName(place.name);
        const int fd = openat(place.dirfd, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) {
            // A folder the user may not write, holding a file the user may: from memory.
            m_over = false;
            if (!existed || (errno != EACCES && errno != EPERM)) return false;
            m_fd = OpenEarlier(place.dirfd, place.name);
            m_inMemory = m_fd >= 0;
            if (m_inMemory) m_path = hostPath;
            return m_inMemory;
        }
        struct stat made;
        if (existed && fstat(fd, &made) == 0 && (made.st_uid != earlier.st_uid || made.st_gid != earlier.st_gid) &&
            fchown(fd, earlier.st_uid, earlier.st_gid) != 0 && made.st_gid != earlier.st_gid) {
            // The owner cannot be given back (another user's file): the new file is the user's
            // own, as a file the user makes, with the earlier group where the user is in it.
            (void)fchown(fd, uid_t(-1), earlier.st_gid);
        }
        if (existed) fchmod(fd, earlier.st_mode & 07777); // after the owner, which clears set-id bits
        else GiveToFolderOwner(place.dirfd, fd);
        m_fd = fd;
        m_dirfd = place.dirfd;
        place.dirfd = AT_FDCWD; // the folder stays open for the rename
        m_path = hostPath;
        m_name = place.name;
        m_temporary = temporary;
        return true;
    }
    errno = EEXIST;
    return false;
}

FILE* FileReplace::Stream()
{
    if (m_stream || m_fd < 0) return m_stream;
    if (m_inMemory) m_stream = fopencookie(&m_staged, "wb", cookie_io_functions_t{nullptr, StageWrite, nullptr, nullptr});
    else m_stream = fdopen(m_fd, "wb");
    return m_stream;
}

bool FileReplace::Write(const void* data, int64_t length)
{
    if (m_fd < 0 || length < 0 || (length > 0 && !data)) {
        errno = EINVAL;
        return false;
    }
    const auto* p = static_cast<const uint8_t*>(data);
    if (m_stream) {
        if (length > 0 && std::fwrite(p, 1, size_t(length), m_stream) != size_t(length)) {
            if (!m_error) m_error = errno ? errno : EIO;
            return false;
        }
        return true;
    }
    if (m_inMemory) {
        if (StageWrite(&m_staged, reinterpret_cast<const char*>(p), size_t(length)) != ssize_t(length)) {
            if (!m_error) m_error = errno;
            return false;
        }
        return true;
    }
    int64_t done = 0;
    while (done < length) {
        const ssize_t n = write(m_fd, p + done, size_t(length - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (!m_error) m_error = n < 0 ? errno : EIO;
            errno = m_error;
            return false;
        }
        done += n;
    }
    return true;
}

int FileReplace::OverFromTemporary()
{
    // The temporary file is whole and closed, every write and the close checked: the room for
    // the new content was there (file systems take it, or refuse it, as the bytes are written;
    // a network one at the close). It is read and removed, which gives that room back for the
    // write over the file. No fsync: that would cost each such write a disk flush.
    const int t = openat(m_dirfd, m_temporary.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (t < 0) return errno;
    std::string content;
    const bool ready = ReadWhole(t, &content);
    const int error = errno;
    close(t);
    if (!ready) return error;
    unlinkat(m_dirfd, m_temporary.c_str(), 0);
    m_temporary.clear();
    const int fd = OpenEarlier(m_dirfd, m_name);
    if (fd < 0) return errno;
    return WriteOver(fd, content) ? 0 : errno;
}

bool FileReplace::Commit()
{
    if (m_fd < 0) {
        errno = EBADF;
        return false;
    }
    int error = m_error;
    if (m_stream) {
        if ((std::fflush(m_stream) != 0 || std::ferror(m_stream)) && !error) error = errno ? errno : EIO;
        if (std::fclose(m_stream) != 0 && !error) error = errno;
        if (!m_inMemory) m_fd = -1; // the stream's descriptor
        m_stream = nullptr;
    }
    if (m_inMemory) {
        if (error) close(m_fd);
        else if (!WriteOver(m_fd, m_staged)) error = errno;
    } else if (m_fd >= 0 && close(m_fd) != 0 && !error) {
        error = errno;
    }
    m_fd = -1;
    if (!error && !m_inMemory) {
        if (m_over) {
            error = OverFromTemporary();
        } else if (renameat(m_dirfd, m_temporary.c_str(), m_dirfd, m_name.c_str()) == 0) {
            m_temporary.clear(); // in place now
        } else {
            error = errno;
            // The rename refused (another user's file in a folder with the sticky bit, a name
            // mounted over) where the file itself may be written: written over it.
            if (error == EPERM || error == EACCES || error == EBUSY) error = OverFromTemporary();
        }
    }
    Discard();
    errno = error;
    return error == 0;
}

bool File_ReplaceAll(const char* hostPath, const void* data, int64_t length)
{
    FileReplace file;
    return file.Open(hostPath) && file.Write(data, length) && file.Commit();
}

void File_SayWriteFailed(const char* hostPath, int error)
{
    if (!hostPath || !*hostPath) return;
    std::string root;
    std::vector<std::string> parts;
    if (ConfinedParts(hostPath, &root, &parts)) {
        const bool refused = error == EACCES || error == EPERM || error == EROFS;
        if (g_confinedFailureSaid && (refused || error == ENOENT || error == ENOTDIR)) return; // the area's line said it
        if (refused && access(root.c_str(), W_OK) != 0) {
            g_confinedFailureSaid = true;
            Console_Problem("the save area %s cannot be written: %s; what the game writes there is lost", root.c_str(),
                            std::strerror(error));
            return;
        }
    }
    Console_WriteFailed(hostPath, File_ErrorText(error));
}

bool File_CanRead(const char* hostPath)
{
    int fd = OpenSafe(hostPath, O_RDONLY);
    if (fd < 0) return false;
    close(fd);
    return true;
}

bool File_DeleteTree(const char* path)
{
    if (!path || !*path) return false;
    std::string r = File_Resolve(path);
    while (r.size() > 1 && r.back() == '/') r.pop_back();
    Place place;
    if (!Locate(r.c_str(), false, &place) || place.name == "." || place.name == ".." ||
        place.name.find('/') != std::string::npos)
        return false; // the folder must be a name in a folder held open
    const int fd = OpenToEmpty(place.dirfd, place.name.c_str());
    if (fd < 0) return false;
    if (!DeleteContents(fd)) return false;
    return unlinkat(place.dirfd, place.name.c_str(), AT_REMOVEDIR) == 0;
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
