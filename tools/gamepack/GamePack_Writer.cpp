// The byte writer of the game packer.
#include "GamePack_Writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Files/Support/File.h"
#include "GamePack_Project.h"
#include "Platform/MemoryManager.h"

GameWriter::GameWriter()
{
    Bytes("FORM", 4);
    U32(0); // body length, patched by Finish
}

void GameWriter::U16(uint16_t v)
{
    U8(uint8_t(v));
    U8(uint8_t(v >> 8));
}

void GameWriter::U32(uint32_t v)
{
    for (int i = 0; i < 4; ++i) U8(uint8_t(v >> (8 * i)));
}

void GameWriter::F32(float v)
{
    uint32_t u;
    std::memcpy(&u, &v, 4);
    U32(u);
}

void GameWriter::Bytes(const void* data, size_t size)
{
    const uint8_t* p = static_cast<const uint8_t*>(data);
    m_data.insert(m_data.end(), p, p + size);
}

void GameWriter::PutU32(uint32_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) m_data[at + i] = uint8_t(v >> (8 * i));
}

uint32_t GameWriter::GetU32(uint32_t at) const
{
    return uint32_t(m_data[at]) | uint32_t(m_data[at + 1]) << 8 | uint32_t(m_data[at + 2]) << 16 |
           uint32_t(m_data[at + 3]) << 24;
}

int GameWriter::NewLabel()
{
    m_labels.push_back(kUnbound);
    return int(m_labels.size() - 1);
}

void GameWriter::Bind(int label) { m_labels[size_t(label)] = Pos(); }

void GameWriter::Ref(int label)
{
    m_refs.emplace_back(Pos(), label);
    U32(0);
}

int GameWriter::String(const std::string& text)
{
    auto it = m_stringLabels.find(text);
    if (it != m_stringLabels.end()) return it->second;
    int label = NewLabel();
    m_stringLabels[text] = label;
    m_stringIndexes[text] = uint32_t(m_strings.size());
    m_strings.push_back(text);
    return label;
}

uint32_t GameWriter::StringIndex(const std::string& text)
{
    String(text);
    return m_stringIndexes[text];
}

uint32_t GameWriter::BeginChunk(const char* tag)
{
    uint32_t at = Pos();
    Bytes(tag, 4);
    U32(0);
    return at;
}

void GameWriter::EndChunk(uint32_t at) { PutU32(at + 4, Pos() - at - 8); }

void GameWriter::List(const std::vector<int>& entries)
{
    U32(uint32_t(entries.size()));
    for (int e : entries) RefOrZero(e);
}

void GameWriter::WriteStrings()
{
    uint32_t chunk = BeginChunk("STRG");
    std::vector<int> entries;
    for (size_t i = 0; i < m_strings.size(); ++i) entries.push_back(NewLabel());
    List(entries);
    for (size_t i = 0; i < m_strings.size(); ++i) {
        AlignTo(4);
        Bind(entries[i]);
        U32(uint32_t(m_strings[i].size()));
        Bind(m_stringLabels[m_strings[i]]);
        Bytes(m_strings[i].data(), m_strings[i].size());
        U8(0);
    }
    AlignTo(4);
    EndChunk(chunk);
}

std::vector<uint8_t> GameWriter::Finish()
{
    for (auto& [at, label] : m_refs) {
        uint32_t target = m_labels[size_t(label)];
        if (target == kUnbound) {
            std::fprintf(stderr, "gamepack: internal error: a record was referred to but never written\n");
            std::abort();
        }
        PutU32(at, target);
    }
    PutU32(4, Pos() - 8);
    return m_data;
}

bool GamePack_WriteFile(const std::string& path, const std::vector<uint8_t>& data)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    const int why = errno;
    ok = std::fclose(f) == 0 && ok;
    if (!ok && why) errno = why;
    return ok;
}

namespace {

// What a name that is not a plain file names, for a person; "" for a plain file.
std::string NotPlain(const struct stat& st)
{
    if (S_ISREG(st.st_mode)) return "";
    if (S_ISDIR(st.st_mode)) return "a folder, not a plain file";
    if (S_ISFIFO(st.st_mode)) return "a named pipe, not a plain file";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "a device, not a plain file";
    return "not a plain file";
}

// Writes all of data to fd; false with errno set.
bool WriteAll(int fd, const std::vector<uint8_t>& data)
{
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

// The file an output name writes: the name itself, or, for a symbolic link, the file at the
// end of its chain of links, whether that file exists yet or not (an output is written
// through a link, never in its place). A chain that loops ends at a link (OutputProblem
// refuses it).
std::string Target(const std::string& path)
{
    std::string at = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
        std::vector<char> buf(size_t(st.st_size > 0 ? st.st_size : 255) + 2);
        const ssize_t n = readlink(at.c_str(), buf.data(), buf.size());
        if (n <= 0 || size_t(n) >= buf.size()) return at;
        const std::string next(buf.data(), size_t(n));
        const size_t slash = at.find_last_of('/');
        at = next[0] == '/' || slash == std::string::npos ? next : at.substr(0, slash + 1) + next;
    }
    return at;
}

} // namespace

std::string GamePack_OutputTarget(const std::string& path) { return Target(path); }

namespace {

// The folder of a path ("." for a bare name).
std::string FolderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// [SECTION] Interruption
// A signal that ends the packer while it writes (SIGINT, SIGTERM, SIGHUP) finds here the
// temporary files it made and the second names of the earlier files, and removes them before
// the signal takes its course. The handler only reads these fixed buffers and unlinks; the
// packer fills a slot with the signals blocked, and renames with them blocked, so a signal
// never meets a name half written or a file between its two names.
constexpr size_t kSlots = 4;         // outputs at once: the game file and its companion
constexpr size_t kSlotBytes = 4096;  // a path (PATH_MAX)
char g_temporary[kSlots][kSlotBytes];
char g_kept[kSlots][kSlotBytes];
const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_earlier[3];
void (*g_writeHook)(int stage) = nullptr;

void RemoveLeftovers()
{
    for (size_t i = 0; i < kSlots; ++i) {
        if (g_temporary[i][0]) unlink(g_temporary[i]);
        if (g_kept[i][0]) unlink(g_kept[i]);
        g_temporary[i][0] = g_kept[i][0] = '\0';
    }
}

void OnSignal(int sig)
{
    RemoveLeftovers();
    for (size_t k = 0; k < 3; ++k)
        if (kSignals[k] == sig) sigaction(sig, &g_earlier[k], nullptr);
    raise(sig); // delivered, with its earlier action, once the handler returns
}

// Blocks (or unblocks) the three signals.
void BlockSignals(bool block)
{
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kSignals) sigaddset(&set, sig);
    sigprocmask(block ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

// Sets a slot; the caller has the signals blocked.
void SetSlot(char (&slot)[kSlotBytes], const std::string& path)
{
    const size_t n = path.size() < kSlotBytes ? path.size() : 0; // a longer path is not kept
    std::memcpy(slot, path.data(), n);
    slot[n] = '\0';
}

} // namespace

bool GamePack_ReadFile(const std::string& path, std::string& out, std::string& why)
{
    out.clear();
    int32_t size = 0;
    uint8_t* data = File_ReadAll(path.c_str(), &size);
    if (!data) {
        const int error = errno;
        // The safe open refuses what is not a plain file without saying which it is.
        struct stat st;
        if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) why = NotPlain(st);
        else if (error == EFBIG) why = "it is 2 GiB or more, more than a game file holds";
        else why = File_ErrorText(error) + (error == ENOENT ? GamePack_NotFoundHint(path) : "");
        return false;
    }
    out.assign(reinterpret_cast<const char*>(data), size_t(size));
    MEM_FREE(data);
    return true;
}

std::string GamePack_OutputProblem(const std::string& path)
{
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
        if (std::string kind = NotPlain(st); !kind.empty()) return kind;
        if (access(path.c_str(), W_OK) != 0) return std::strerror(errno); // a read-only file stays so
    } else if (errno == ELOOP) {
        return "its symbolic links go round in a loop";
    }
    // The new file is written beside the one it replaces (or the file a link names) and renamed
    // into place, so its folder must be there and writable.
    const std::string folder = FolderOf(Target(path));
    if (stat(folder.c_str(), &st) != 0)
        return "there is no folder " + folder +
               (errno == ENOENT ? GamePack_NotFoundHint(folder) : " (" + std::string(std::strerror(errno)) + ")");
    if (!S_ISDIR(st.st_mode)) return folder + " is not a folder";
    if (access(folder.c_str(), W_OK | X_OK) != 0)
        return "its folder " + folder + " is not writable (" + std::strerror(errno) +
               "): the packer writes the new file beside it and renames it into place";
    return "";
}

bool GamePack_WriteFiles(const std::vector<PackFile>& files, std::string& error)
{
    if (files.size() > kSlots) {
        error = "internal error: more outputs than the packer keeps track of";
        return false;
    }
    struct Step {
        std::string target, temporary, kept; // kept: a second name of the earlier file, while renaming
        bool existed = false, placed = false;
    };
    std::vector<Step> steps(files.size());
    // A signal that ends the packer removes what is written so far (see Interruption); one the
    // packer was started ignoring stays ignored.
    struct sigaction ours = {};
    ours.sa_handler = OnSignal;
    sigemptyset(&ours.sa_mask);
    for (int sig : kSignals) sigaddset(&ours.sa_mask, sig);
    bool installed[3] = {false, false, false};
    for (size_t k = 0; k < 3; ++k) {
        sigaction(kSignals[k], nullptr, &g_earlier[k]);
        installed[k] = (g_earlier[k].sa_flags & SA_SIGINFO) || g_earlier[k].sa_handler != SIG_IGN;
        if (installed[k]) sigaction(kSignals[k], &ours, nullptr);
    }
    auto finish = [&](bool ok) {
        BlockSignals(true);
        RemoveLeftovers(); // nothing is left by now, but a slot that names a file already gone
        for (size_t k = 0; k < 3; ++k)
            if (installed[k]) sigaction(kSignals[k], &g_earlier[k], nullptr);
        BlockSignals(false); // a signal that came meanwhile takes its course now
        return ok;
    };
    auto fail = [&](const std::string& path, const std::string& why) {
        error = "cannot write " + path + ": " + why;
        BlockSignals(true);
        // Placed files are put back (the earlier file) or removed (there was none), last first.
        for (size_t i = steps.size(); i-- > 0;) {
            Step& s = steps[i];
            if (s.placed && !s.kept.empty()) rename(s.kept.c_str(), s.target.c_str());
            else if (s.placed && !s.existed) unlink(s.target.c_str());
            else if (!s.kept.empty()) unlink(s.kept.c_str());
            if (!s.temporary.empty()) unlink(s.temporary.c_str());
            g_temporary[i][0] = g_kept[i][0] = '\0';
        }
        BlockSignals(false);
        return finish(false);
    };
    const mode_t mask = umask(0);
    umask(mask);
    for (size_t i = 0; i < files.size(); ++i) {
        Step& s = steps[i];
        s.target = Target(files[i].path);
        const size_t slash = s.target.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "" : s.target.substr(0, slash + 1);
        // ".NAME.XXXXXX" beside it, the name cut so that a long one still leaves room.
        std::string name = folder + "." + s.target.substr(folder.size(), 200) + ".XXXXXX";
        BlockSignals(true);
        const int fd = mkostemp(&name[0], O_CLOEXEC);
        const int made = errno;
        if (fd >= 0) {
            s.temporary = name;
            SetSlot(g_temporary[i], name);
        }
        BlockSignals(false);
        if (fd < 0) {
            // The file itself may be writable: the folder is what refuses a new file.
            const std::string in = FolderOf(s.target);
            return fail(files[i].path, std::string(std::strerror(made)) + " (making a new file in the folder " + in + ")" +
                                           (made == ENOENT ? GamePack_NotFoundHint(in) : ""));
        }
        struct stat earlier;
        s.existed = stat(s.target.c_str(), &earlier) == 0;
        const mode_t mode = s.existed ? earlier.st_mode & 0777 : 0666 & ~mask;
        const bool written = fchmod(fd, mode) == 0 && WriteAll(fd, *files[i].data);
        const int why = errno;
        if (!written) {
            close(fd);
            return fail(files[i].path, std::strerror(why));
        }
        if (close(fd) != 0) return fail(files[i].path, std::strerror(errno));
    }
    if (g_writeHook) g_writeHook(0);
    // The renames happen with the signals blocked: a signal between two of them would leave
    // the game file and its companion of two packs.
    BlockSignals(true);
    for (size_t i = 0; i < files.size(); ++i) {
        Step& s = steps[i];
        // The earlier file keeps a second name until every new one is in place, so that it can
        // be put back (without hard links it cannot, and the rename goes on all the same).
        if (i + 1 < files.size() && s.existed && link(s.target.c_str(), (s.temporary + ".old").c_str()) == 0) {
            s.kept = s.temporary + ".old";
            SetSlot(g_kept[i], s.kept);
        }
        if (rename(s.temporary.c_str(), s.target.c_str()) != 0) {
            return fail(files[i].path, std::strerror(errno));
        }
        s.temporary.clear();
        g_temporary[i][0] = '\0';
        s.placed = true;
        if (g_writeHook && i == 0 && files.size() > 1) g_writeHook(1);
    }
    for (size_t i = 0; i < steps.size(); ++i)
        if (!steps[i].kept.empty()) unlink(steps[i].kept.c_str());
    RemoveLeftovers();
    BlockSignals(false);
    return finish(true);
}

void GamePack_SetWriteHook(void (*hook)(int stage)) { g_writeHook = hook; }
