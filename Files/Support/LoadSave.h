// Game file access: the two path mappings that keep a game's reads inside its program
// folder and its writes inside its save area (or files the user picked in a file dialog),
// the whole-file readers and writers built on them, and the in-memory files behind the
// text-file and binary-file built-ins and the loading of a saved game.
//
// State of this layer: the program folder, the save area and the working folder (set by
// start-up through LoadSave_SetFolders) and the two allowed-file lists (filled by the file
// dialogs). Host access goes through Files/Support/File.h (Linux/FileM.cpp).
#pragma once

#include <cstdint>
#include <string>

// ---- Folders ------------------------------------------------------------------------------
// Sets the folders the mappings use. Each is made absolute and given a trailing '/'; null or
// "" leaves that folder unset (names are then never mapped into it). The working folder is
// also kept as given, for the working_directory built-in.
void LoadSave_SetFolders(const char* programFolder, const char* saveArea, const char* workingFolder);
// The folders as set (absolute, trailing '/'); "" when unset.
const char* LoadSave_ProgramFolder();
const char* LoadSave_SaveArea();
// The working folder as given to LoadSave_SetFolders ("" when unset).
const char* LoadSave_WorkingFolder();

// The save area of a game: $XDG_DATA_HOME (default ~/.local/share), or $XDG_CONFIG_HOME
// (default ~/.config) when roaming is asked for (header info flag 0x2000), then the game's
// name and a trailing '/'. '/', '\' and ".." in the name become '_' (an empty name or "."
// becomes "_"), so the area is always one folder below the base. A new string; null when no
// home folder is known.
char* LoadSave_MakeSaveArea(const char* gameName, bool roaming);

// ---- Allowed files ------------------------------------------------------------------------
// Full paths the user picked in an open dialog (reading) or a save dialog (writing); the
// mappings pass them through. The lists only grow; LoadSave_ClearAllowedFiles is for tests.
void LoadSave_AllowRead(const char* path);
void LoadSave_AllowWrite(const char* path);
void LoadSave_ClearAllowedFiles();

// ---- Path mapping -------------------------------------------------------------------------
// The name's full path (File_FullPath) is mapped:
//   equal, ignoring case, to an allowed file of the matching list -> that file (the player's
//                                         choice, wherever it lies),
//   (save mapping only) equal to a file picked only to open -> that file when it lies in the
//                                         save area, else refused: "" (the name is read where
//                                         it was picked, and never written anywhere else),
//   else under the current folder        -> area + the rest,
//   else under the working folder        -> area + the rest,
//   else (save mapping only) under the save area itself -> area + the rest,
//   else refused: "".
// The area is the save area for LoadSave_SavePath and the program folder for
// LoadSave_BundlePath. Folder prefixes match whole components only. The result goes to out
// (capacity bytes, always terminated); a result that does not fit is refused. True when a
// path was produced; null names give "".
bool LoadSave_SavePath(char* out, int32_t capacity, const char* name);
bool LoadSave_BundlePath(char* out, int32_t capacity, const char* name);
// The same as strings ("" when refused).
std::string LoadSave_SavePathOf(const char* name);
std::string LoadSave_BundlePathOf(const char* name);
// The file the player picked in either dialog that the name names (ignoring case); "" for
// any other name.
std::string LoadSave_PickedPathOf(const char* name);
// The path a name is read from: the file the player picked (when it opens), else the save
// area when it opens there, else the program folder when it opens there; "" when none.
std::string LoadSave_ReadPathOf(const char* name);

// ---- Whole files --------------------------------------------------------------------------
// The whole file at the mapped name, in a new cleared block of size + 1 bytes (zero after the
// data), size out; null when it does not open or is not a plain file.
uint8_t* LoadSave_ReadBundleFile(const char* name, int32_t* size);
uint8_t* LoadSave_ReadSaveFile(const char* name, int32_t* size);
// A file a game reads by name: where the player picked it, else from the save area when it
// opens there, else from the program folder (the same block and size as above).
uint8_t* LoadSave_ReadGameFile(const char* name, int32_t* size);
// Writes the bytes as the whole file at the name mapped into the save area, making its
// folders first. The file is written beside its name and renamed into place (File_ReplaceAll),
// so a write that fails leaves the earlier file whole. False when refused, when the file does
// not open or a write fails; each failure but a refused name is said once on stderr
// (File_SayWriteFailed).
bool LoadSave_WriteSaveFile(const char* name, const void* data, int32_t length);
// Makes the folders of a host path in the save area (or anywhere); false, said once on
// stderr as a failed write of that path, when they cannot be made.
bool LoadSave_MakeFoldersFor(const std::string& hostPath);
// Writes the bytes as the whole file at a host path, its folders made first, beside it and
// renamed into place (File_ReplaceAll); false, said once on stderr, when not written whole
// (the earlier file then as it was).
bool LoadSave_ReplaceFile(const std::string& hostPath, const void* data, int64_t length);
// True when the mapped name is a plain file that opens for reading.
bool LoadSave_BundleFileExists(const char* name);
bool LoadSave_SaveFileExists(const char* name);
// Where the player picked it, in the save area or in the program folder.
bool LoadSave_GameFileExists(const char* name);
// Writes a block to an unmapped name (the save-game writer passes a mapped one). On failure
// reports through perror("_WriteFile") and returns false.
bool LoadSave_WriteFile(const char* name, const void* data, int32_t length);

// ---- In-memory files ----------------------------------------------------------------------
// One file read whole. The data always has a zero byte after its last byte.
struct LoadSaveFile {
    uint8_t* data;    // owned, size + 1 bytes
    int32_t size;     // bytes of the file
    int32_t position; // read position, 0..size (LoadSave_FGetC may step one past the end)
};

// Reads the file where the player picked it, else from the program folder, else from the
// save area; null when none has it. With 't' in the mode a leading UTF-8 byte-order mark is skipped.
LoadSaveFile* LoadSave_FOpen(const char* name, const char* mode);
void LoadSave_FClose(LoadSaveFile* file);
int32_t LoadSave_FTell(LoadSaveFile* file);
// whence 0: offset; 1: position + offset; 2: size - offset. The result is clamped to
// 0..size. Returns 0, or -1 for another whence (nothing moves) or a null file.
int32_t LoadSave_FSeek(LoadSaveFile* file, int32_t offset, int32_t whence);
bool LoadSave_FEof(LoadSaveFile* file);  // position >= size
bool LoadSave_FEoln(LoadSaveFile* file); // at the end, or at CR or LF
// The byte at the position (0..255), or -1 at or past the end; the position advances by one
// in both cases.
int32_t LoadSave_FGetC(LoadSaveFile* file);
// Skips white space, then reads the longest decimal number there ([sign] digits [. digits]
// [e [sign] digits]; no hex, inf or nan), independent of the locale. Stores it (0 when there
// is none) and moves past it. True when a number was read.
bool LoadSave_FReadReal(LoadSaveFile* file, double* out);
// Copies itemSize * count bytes (cut at the end of the data), advances, returns the count.
int32_t LoadSave_FRead(void* destination, int32_t itemSize, int32_t count, LoadSaveFile* file);
