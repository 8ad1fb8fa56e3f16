// File and folder services of the platform layer: file-name splitting, folder creation,
// existence tests, whole-file reads and writes, the run's temporary folder, and the Linux
// path rules every file open goes through.
//
// Linux path rules: game code names files with '\' or '/'; both become '/'. When a name is
// not found as written, each of its components is looked up case-insensitively (ASCII) in
// its folder before the open fails, because games were written for a case-insensitive file
// system (File_Resolve). Names of the form "C:\..." keep their drive and are never absolute
// here, so they never fall inside a folder of the game.
//
// Strings returned as "new" come from MemoryManager (MEM_FREE them). File.cpp holds the
// portable part (name splitting, the temporary-file namer); Linux/FileM.cpp the POSIX part.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// ---- Names (File.cpp) ---------------------------------------------------------------------
// Folder part: everything before the last '\' or '/'; "" when there is none or it is the
// first character ("/x" gives ""). New string.
char* File_ExtractDir(const char* path);
// Everything after the last '\' or '/'; the whole path when there is none. New string.
char* File_ExtractName(const char* path);
// The drive ("C:") when the path starts with a letter and ':'; else "". New string.
char* File_ExtractDrive(const char* path);
// The extension with its dot: from the last '.' of the name part; "" when none. New string.
char* File_ExtractExt(const char* path);

// '\' becomes '/'. Null gives "".
std::string File_NormaliseSeparators(const char* name);
// True for "C:..." names (a letter and a colon).
bool File_HasDrive(const std::string& name);
// The absolute form of a name, as the system's full-path service gives it: separators
// normalised, relative names put under the current folder, "." and ".." components and
// doubled separators folded away (".." at the root stays at the root). A trailing '/' is
// kept. Drive names are only normalised and folded. Null or "" gives "".
std::string File_FullPath(const char* name);

// ---- Host files (Linux/FileM.cpp) ---------------------------------------------------------
// The host path of a name: separators normalised, then every component that does not exist
// as written replaced by the entry of its folder that matches it ignoring ASCII case (the
// byte-wise smallest when several do). From the first component that matches nothing on,
// the rest stays as written (so names of files yet to be made resolve too).
std::string File_Resolve(const char* name);

// The file a name (resolved) names at the end of its symbolic links, as an absolute path
// without links; "" when it does not exist.
std::string File_LinkTarget(const char* name);

// The current folder (no trailing '/'); "" when the system cannot tell.
std::string File_CurrentFolder();
// A new copy of the current folder.
char* File_WorkingDirectory();

// True when the name (resolved) is a plain file: neither a folder nor a device. Below the
// confined folder a link is neither.
bool File_Exists(const char* path);
// True when the name (resolved) is a folder.
bool File_DirectoryExists(const char* path);
// Makes the folder and any missing parents (one trailing separator ignored). True when the
// folder exists afterwards; false for null or "". Below the confined folder the folders are
// made one by one from it and a link on the way refuses.
bool File_CreateDirectory(const char* path);

// ---- Opening files (Linux/FileM.cpp) -------------------------------------------------------
// Every open of a file in this layer (and of the file built-ins' streams, the PNG writer and
// the folder listings, through the functions below) goes through one safe open:
//   - it never waits: the open is non-blocking, so a pipe or a device cannot hold the game,
//     and then only a plain file is taken (a folder where one is asked for);
//   - below the confined folder (the save area) the path is walked one component at a time
//     from that folder's descriptor (openat with O_NOFOLLOW), held while its path names it.
//     In a run as root no symbolic link is followed there, neither a folder on the way nor
//     the file itself, so nothing placed there by anyone else can lead a read,
//     a write, a delete or a rename outside it, and a file that also has a name elsewhere (a
//     hard link) is not opened for writing there. In a plain user's run the user's own links
//     (the player made them) are followed, and only a link of anyone else's is refused;
//   - the descriptor is not passed to programs the game starts.
// A refused open fails as a missing file does (errno ELOOP for a link, ENXIO or EINVAL for
// what is not a plain file), so each caller reports it as it reports a failed open.
//
// The folder below which no link but the user's own is followed (none in a run as root):
// absolute; null or "" for none. It is the folder its path names: opened (or made) at its first
// use, walked from "/", and its descriptor held while the path still names that folder (the same
// device and inode); once the folder is moved, removed or replaced, the next operation walks
// the path again (and a write makes it again where it is missing). The folder itself, and the
// folders above it, may be reached through links (the user's own setup); in a run as root a
// user's link there is followed only into a folder of that user. Set by LoadSave_SetFolders to
// the save area. When a write needs that folder and it cannot be made (a file in its place, a
// name too long, no permission), one "runner: " line on stderr says so with the path and the
// reason, once for each folder set.
void File_SetConfinedFolder(const char* folder);
// A descriptor of the host path opened with open(2) flags (O_RDONLY, O_WRONLY or O_RDWR, with
// O_CREAT, O_TRUNC, O_APPEND; O_DIRECTORY for a folder), as the safe open above; -1 with
// errno set when refused. For the Linux/ files that need descriptors.
int File_OpenDescriptor(const char* hostPath, int openFlags);
// A C stream of the host path opened with a stdio mode ("rb", "wb", "r+b", "w+b", "ab+",
// "w", "a+", ...), as the safe open above. Null when refused.
FILE* File_OpenStream(const char* hostPath, const char* mode);
// Removes a file (never a folder) or a link itself; below the confined folder the folders on
// the way are not followed through links. True when it went.
bool File_Delete(const char* hostPath);
// Renames a file or folder, never over something that already has the new name; below the
// confined folder the folders on the way are not followed through links. True when renamed.
bool File_Rename(const char* from, const char* to);

// Reads the whole plain file at a host path into a new cleared block of size + 1 bytes (the
// extra byte is a terminating zero), size out, holding the file's shared advisory lock (no
// runner writes it in place meanwhile; FileReplace). Null for a missing file, a folder, a device,
// a pipe, a refused link, a file of 2 GB or more (errno EFBIG) or a read that fails. A quit request (Files/Base/QuitRequest.h)
// stops a long read between runs of 16 MB: null, as for a file that cannot be read.
uint8_t* File_ReadAll(const char* hostPath, int32_t* size);
// Files of this many bytes or more are not read by File_ReadAll (the game file among them).
constexpr int64_t FILE_READ_ALL_LIMIT = 0x7FFFFFFF;
// Takes the shared advisory lock of a stream's file for reading it whole, as File_ReadAll does:
// held until the stream is closed (file_copy's source).
void File_LockForReading(FILE* stream);
// Writes a block as the whole file at a host path (created or truncated). False, with errno
// set, when the file does not open or not every byte was written.
bool File_WriteAll(const char* hostPath, const void* data, int64_t length);
// True when the host path names a plain file that can be opened for reading.
bool File_CanRead(const char* hostPath);

// ---- Files written whole (Linux/FileM.cpp) ------------------------------------------------
// A file written beside its name (".NAME.XXXXXX" in the same folder) and renamed over it
// once every byte is written and the file closed: a write that fails (a full disk, a size
// limit, an error only the close reports) leaves the earlier file as it was and no temporary
// file behind, and readers see the earlier file or the new one whole. The name is checked as
// the safe open checks it (below the confined folder a link, and anywhere a folder, a pipe or
// a device, is refused; below it a file with other names too). The new file keeps the earlier
// one's owner, group and permission bits where this process may give them; where it may not
// (another user's file in a folder the user may write), it becomes the user's own, as before
// the file existed. A new file goes to the owner and group of the folder it lands in where they
// are another user's and the process may give it (a run as root in a user's save area, or a
// file the player picked in a user's folder, through whatever name); so do the folders made.
//
// Written over the file in place only where a rename would not do: a file with other names
// outside the confined folder (every name sees the new content) and a file whose rename is
// refused (another user's file in a folder with the sticky bit, a name mounted over). There
// the whole new content is first written beside it and closed, so a write that cannot be
// whole (no room, a size limit) changes nothing; then it is written over the file in one pass
// under an exclusive advisory lock (flock), which File_ReadAll takes shared, so no runner
// reads a file half-written; a failure part way puts the earlier content back. A file the user
// may write in a folder where nothing can be made beside it is written over from memory the
// same way, where only the size limit and a file system that reserves room can tell in
// advance that it fits. A link outside the confined folder is followed: the file it names is
// replaced. Readers that take no lock (other programs) may see a file written in place half
// new.
class FileReplace {
public:
    FileReplace() = default;
    ~FileReplace(); // not committed: the temporary file goes, the earlier file stays
    FileReplace(const FileReplace&) = delete;
    FileReplace& operator=(const FileReplace&) = delete;
    // Makes the temporary file for the host path (or opens the file itself to be written over
    // from memory). False with errno when refused.
    bool Open(const char* hostPath);
    // The file being written as a stream ("wb"; made at the first call, and then the only way
    // to write). Null before Open.
    FILE* Stream();
    // Writes every byte; false with errno.
    bool Write(const void* data, int64_t length);
    // Closes the file and renames it into place (or writes it over the file). False with errno
    // when a write, the close, the rename or the write over failed (the earlier file is then
    // as it was, unless putting it back failed too).
    bool Commit();

private:
    void Discard();
    bool OpenInMemory(const char* hostPath);
    int OverFromTemporary(); // 0 or errno
    // The earlier file at name in the folder dirfd, opened to be written over (read and write,
    // else write only) without following a link; -1 with errno, EAGAIN when another file is
    // there now.
    int OpenEarlier(int dirfd, const std::string& name) const;
    int m_dirfd = -100; // the folder's descriptor (AT_FDCWD for a name without a folder)
    int m_fd = -1;      // the temporary file, or from memory the file itself
    FILE* m_stream = nullptr;
    std::string m_path;              // the host path
    std::string m_name, m_temporary; // the last name and the temporary one, in that folder
    std::string m_staged;            // from memory: the content until the commit
    bool m_over = false;             // a second name: the temporary is written over the file
    bool m_inMemory = false;         // nothing can be made beside the file
    int m_error = 0;                 // the first write that failed (errno)
    uint64_t m_earlierDev = 0, m_earlierIno = 0; // the earlier file, the one written over
};
// Writes a block as the whole file at a host path through a FileReplace. False, with errno,
// when it was not written whole (the earlier file is then as it was).
bool File_ReplaceAll(const char* hostPath, const void* data, int64_t length);

// Says, once, that a write of the game's at a host path failed with errno error: the
// "runner: cannot write PATH: REASON" line (Console_WriteFailed). When the save area itself may
// not be written (no permission, a read-only file system), its own line instead, once for the
// run, as for a save area that cannot be made: "the save area PATH cannot be written: REASON;
// what the game writes there is lost"; after either line for the area, writes it refused are
// not said again one by one.
void File_SayWriteFailed(const char* hostPath, int error);
// Why an open or a read of this layer failed, for a person: the system's text of errno, with
// the refusals of the safe open (a folder, a device or a pipe where a file is asked for) as
// "not a plain file".
const char* File_ErrorText(int error);

// Deletes a folder and everything in it. Symbolic links inside are removed, never followed;
// a link given as the folder itself is refused. False at the first entry that cannot go.
bool File_DeleteTree(const char* path);

// ---- Names --------------------------------------------------------------------------------
// Makes the folders of a file's path: the path is cut at its last '\' or '/' and that folder
// is made with its parents; a path without a separator makes nothing.
void File_CreateDirectoryFor(const char* path);

// Windows-style wildcard match of a whole name: '*' any run of characters, '?' one
// character, everything else literal and compared ignoring ASCII case. A pattern ending in
// ".*" also matches a name without an extension ("*.*" matches every name).
bool File_WildcardMatch(const char* pattern, const char* name);

// ---- The run's temporary folder -----------------------------------------------------------
// Makes the temporary folder of the run ("zb_ttt_" plus a unique suffix) under $TEMP, $TMP,
// $TMPDIR or /tmp (the first that is set; /tmp when making it there fails). True on success.
bool File_InitTempDirectory();
// Deletes the temporary folder with everything in it (shutdown); nothing when there is none.
void File_DeleteTempDirectory();
// A new copy of the temporary folder's path (no trailing '/'); null before it exists.
char* File_TempDirectory();
// The temporary folder's path, or null (owned by this layer).
const char* File_TempDirectoryPath();

// A new name "<temporary folder>/a<number><ext>" of no existing plain file, the number from
// Random_Int(100000). Null when there is no temporary folder or no free name is found.
char* File_TempFileName(const char* ext);

// ---- Programs (Linux/File_ProcessM.cpp) ---------------------------------------------------
// Starts a program (a path, or a name looked up in PATH) with the arguments, in the folder
// (null or "": the current one). With wait set, checks every 50 ms, pumping events, until it
// has ended. True when the process was started.
bool File_ExecuteProgram(const char* program, const char* arguments, const char* folder, bool wait);
// Opens a file, folder or web address the way the desktop does (xdg-open), in the folder;
// an executable plain file is started with the parameters instead. Not waited for; true
// when it could be started.
bool File_ShellExecute(const char* file, const char* parameters, const char* folder);
