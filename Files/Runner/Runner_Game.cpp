// Finding and reading the game file, the chunk dispatcher and the texture pages.
#include "Files/Debug/FileDialog.h"
#include "Files/IO/IO_VirtualButton.h"
#include "Files/Runner/Runner_Game.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "Files/Background/Background_Main.h"
#include "Files/Base/Console.h"
#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Load.h"
#include "Files/Code/VM_Format.h"
#include "Files/Extension/Extension.h"
#include "Files/Font/Font_Main.h"
#include "Files/Graphics/Graphics_PageEntries.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/IO/IO_Input.h"
#include "Files/Networking/OnlineServices.h"
#include "Files/Object/Event.h"
#include "Files/Object/Object.h"
#include "Files/Option/Options.h"
#include "Files/Path/Path.h"
#include "Files/Room/Room.h"
#include "Files/Runner/Runner_Reset.h"
#include "Files/Runner/Runner_Wiring.h"
#include "Files/Script/Script_Main.h"
#include "Files/Sound/Sound_Main.h"
#include "Files/Sprite/Sprite_Main.h"
#include "Files/Support/CommandLine.h"
#include "Files/Support/File.h"
#include "Files/Support/IniFile.h"
#include "Files/TimeLine/TimeLine.h"
#include "Platform/MemoryManager.h"

GameFileState g_GameFile;

namespace {

constexpr uint32_t kPageEntrySize = 22;
constexpr uint32_t kPageEntryTexture = 20; // i16: the page index, then the texture id

// Reads a whole file into a new block; null when it cannot be read (or is 4 GB or more).
uint8_t* ReadWhole(const char* path, uint32_t& size)
{
    int32_t n = 0;
    uint8_t* data = File_ReadAll(path, &n);
    size = data ? uint32_t(n) : 0;
    return data;
}

void FreeBlock(uint8_t*& block)
{
    MEM_FREE(block);
    block = nullptr;
}

// A resource chunk whose list is checked here and whose records are read by its loader.
using ListLoader = bool (*)(const FileImage&, uint32_t, uint32_t);

bool LoadList(const FileImage& image, uint32_t begin, uint32_t end, ListLoader loader)
{
    ChunkList list;
    if (!list.Read(image, begin, end)) return false;
    return loader ? loader(image, begin, end) : true;
}

} // namespace

char* Runner_OptionsIniPath(const char* gamePath)
{
    if (!gamePath) return nullptr;
    const char* cut = std::strrchr(gamePath, '/');
    if (!cut) cut = std::strrchr(gamePath, '\\');
    if (!cut) return nullptr;
    size_t keep = size_t(cut - gamePath);
    char* out = static_cast<char*>(MEM_ALLOC(keep + sizeof("/options.ini")));
    std::memcpy(out, gamePath, keep);
    std::memcpy(out + keep, "/options.ini", sizeof("/options.ini"));
    return out;
}

char* Runner_DebugCompanionPath(const char* gamePath)
{
    if (!gamePath) return nullptr;
    const char* name = gamePath;
    for (const char* p = gamePath; *p; ++p)
        if (*p == '/' || *p == '\\') name = p + 1;
    const char* dot = std::strrchr(name, '.');
    size_t keep = dot ? size_t(dot - gamePath) : std::strlen(gamePath);
    char* out = static_cast<char*>(MEM_ALLOC(keep + sizeof(".kvdebug")));
    std::memcpy(out, gamePath, keep);
    std::memcpy(out + keep, ".kvdebug", sizeof(".kvdebug"));
    return out;
}

bool RunnerLoadGame()
{
    const char* name = g_StartupOptions.gameFileName;
    Console_Output("RunnerLoadGame: %s\n", name ? name : "(null)");
    std::string chosen;
    if (!name || !*name) {
        // No game given: the player picks one (cancelled: the run ends with code 1).
        if (!FileDialog_Run(false, "All Files (*.*)|*.*", "", "", "", &chosen)) return false;
        name = chosen.c_str();
    }

    // The game file is opened by its absolute path, never through the save-area mapping; the
    // program folder is its folder (start-up sets it from this name).
    std::string full = File_FullPath(name);
    Console_Output("RunnerLoadGame() - %s\n", full.c_str());
    MEM_FREE(g_StartupOptions.gameFileName);
    g_StartupOptions.gameFileName = MEM_STRDUP(full.c_str());
    const char* path = g_StartupOptions.gameFileName;

    MEM_FREE(g_GameFile.optionsIniPath);
    g_GameFile.optionsIniPath = Runner_OptionsIniPath(path);
    if (g_GameFile.optionsIniPath) {
        Console_Output("Checking if INIFile %s Exists\n", g_GameFile.optionsIniPath);
        if (File_Exists(g_GameFile.optionsIniPath)) {
            uint32_t size = 0;
            uint8_t* text = ReadWhole(g_GameFile.optionsIniPath, size);
            delete g_GameFile.ini;
            g_GameFile.ini = new IniFile();
            g_GameFile.ini->SetText(reinterpret_cast<const char*>(text), int32_t(size));
            MEM_FREE(text);
            IO_InitVirtualButtons(g_GameFile.ini);
            Options_ReadIni(g_GameFile.ini);
            OS_SetAllowedOrientations(g_Options.orientLandscape, g_Options.orientPortrait,
                                      g_Options.orientLandscapeFlipped, g_Options.orientPortraitFlipped);
        } else {
            Console_Output("!!!!No INI File %s\n", g_GameFile.optionsIniPath);
        }
    }

    MEM_FREE(g_GameFile.debugPath);
    g_GameFile.debugPath = Runner_DebugCompanionPath(path);
    // A game played through a symbolic link has its companion beside the file the link names,
    // where the packer writes it, when there is none beside the link.
    if (!File_Exists(g_GameFile.debugPath)) {
        const std::string real = File_LinkTarget(path);
        char* beside = real.empty() ? nullptr : Runner_DebugCompanionPath(real.c_str());
        if (beside && File_Exists(beside)) std::swap(g_GameFile.debugPath, beside);
        MEM_FREE(beside);
    }
    Code_ClearDebug();
    if (File_Exists(g_GameFile.debugPath)) {
        FreeBlock(g_GameFile.debugBlock);
        g_GameFile.debugBlock = ReadWhole(g_GameFile.debugPath, g_GameFile.debugSize);
        if (g_GameFile.debugBlock &&
            !Code_LoadDebugCompanion(FileImage(static_cast<const uint8_t*>(g_GameFile.debugBlock), g_GameFile.debugSize))) {
            Console_Output("Debug information %s is damaged and was not read\n", g_GameFile.debugPath);
            FreeBlock(g_GameFile.debugBlock);
            g_GameFile.debugSize = 0;
        }
    }

    Console_Output("Reading File %s\n", path);
    FreeBlock(g_GameFile.block);
    g_GameFile.block = ReadWhole(path, g_GameFile.size);
    const int readError = errno;
    g_GameFile.image = g_GameFile.block ? FileImage(g_GameFile.block, g_GameFile.size) : FileImage();
    // A companion that describes another game file (one packed beside it under a name that
    // shares the companion) would show that game's code in this game's error reports.
    if (g_GameFile.block && g_GameFile.debugBlock && !Code_DebugCompanionFits(g_GameFile.block, g_GameFile.size)) {
        Console_Debug()->Output("Debug information %s belongs to another game file and was not read\n", g_GameFile.debugPath);
        Code_ClearDebug();
        FreeBlock(g_GameFile.debugBlock);
        g_GameFile.debugSize = 0;
    }
    Console_Output(g_GameFile.block ? "Loaded File %s\n" : "FAILED to load File %s\n", path);
    g_GameFile.sizePlus128 = int64_t(g_GameFile.size) + 128;
    g_GameFile.broken = false;
    g_GameFile.problem.clear();
    uint32_t magic = 0;
    if (g_GameFile.image.U32(0, magic) && (magic == IFF_MAGIC || magic == IFF_MAGIC_REVERSED))
        Console_Output("IFF wad found\n");
    g_GameFile.containerOk = FileImage_CheckContainer(g_GameFile.image);
    Runner_NoteProblem(g_GameFile.block ? FileImage_ContainerProblem(g_GameFile.image) : File_ErrorText(readError));
    return true;
}

void Runner_NoteProblem(const std::string& why)
{
    if (g_GameFile.problem.empty()) g_GameFile.problem = why;
}

bool Runner_CanLoad()
{
    if (g_GameFile.broken && g_Code.failedChunk)
        Runner_NoteProblem(std::string("chunk ") + ChunkTagText(g_Code.failedChunk).text + " is damaged");
    return g_GameFile.block && g_GameFile.containerOk && !g_GameFile.broken && g_GameFile.problem.empty();
}

void Runner_HeaderRead()
{
    g_GameFile.dataFileVersion = 800;
    Console_Output("InitZBLFunctions\n");
    InitZBLFunctions();
}

bool LoadGameData()
{
    Console_Output("LoadGameData()\n");
    if (!Runner_CanLoad()) return false; // nothing more is read
    return Runner_ProcessChunks(g_GameFile.image) && Runner_FinishCode(g_GameFile.image);
}

bool Runner_LoadFromImage(FileImage& image)
{
    Header_Clear(g_GameHeader);
    if (!Code_Load(image, Runner_HeaderRead)) return false;
    return Runner_ProcessChunks(image) && Runner_FinishCode(image);
}

void Runner_ReleaseLoaded() { Runtime_ResetAll(); }

bool Runner_FinishCode(const FileImage& image)
{
    Code_FillTable(image);
    if (!g_Code.present) return true;
    std::string why;
    if (Code_Table_Verify(&why)) return true;
    Console_Output("Byte code refused: %s\n", why.c_str());
    Runner_NoteProblem("its byte code is refused: " + why);
    return false;
}

bool Runner_ProcessChunks(FileImage& image)
{
    Console_Output("initialise everything!\n");
    Sound_ClearAll();
    Sprite_Clear();
    Background_Clear();
    Path_FreeAll();
    Script_Init();
    Font_Clear();
    TimeLine_Init();
    Object_InitHash();
    Room_FreeAll();
    Options_SetDefaults();
    GR_FilePageEntries_Clear();
    g_GameFile.textureIds.clear();
    g_GameFile.tpagPresent = false;
    g_GameFile.tpag = ChunkList();

    if (!FileImage_CheckContainer(image)) {
        Runner_NoteProblem(FileImage_ContainerProblem(image));
        return false;
    }
    bool result = true;
    uint32_t reading = 0; // the chunk being read
    bool walked = FileImage_WalkChunks(image, [&](uint32_t tag, uint32_t data, uint32_t length) {
        Console_Output("Process Chunk: %s   %d\n", ChunkTagText(tag).text, int32_t(length));
        if (length == 0) return true;
        const uint32_t end = data + length;
        reading = tag;
        switch (tag) {
        case ChunkTag("GEN7"):
            g_GameFile.dataFileVersion = 700;
            [[fallthrough]];
        case ChunkTag("GEN8"):
            return g_GameHeader.present || Header_Parse(image, data, end, g_GameHeader);
        case ChunkTag("GENL"):
        case ChunkTag("HELP"):
        case ChunkTag("STRG"):
        case ChunkTag("VARI"):
            return true;
        case ChunkTag("OPTN"): return Options_LoadChunk(image, data, end, g_GameHeader.version);
        case ChunkTag("EXTN"): return LoadList(image, data, end, Extension_Load);
        case ChunkTag("SOND"): return LoadList(image, data, end, g_Options.newAudioEngine ? Audio_Load : Sound_Init);
        case ChunkTag("AUDO"): return LoadList(image, data, end, g_Options.newAudioEngine ? Audio_WAVs : Wave_Init);
        case ChunkTag("SPRT"): return LoadList(image, data, end, Sprite_Load);
        case ChunkTag("BGND"): return LoadList(image, data, end, Background_Load);
        case ChunkTag("PATH"): return LoadList(image, data, end, Path_LoadChunk);
        case ChunkTag("SCPT"): return LoadList(image, data, end, Script_Load);
        case ChunkTag("FONT"): return LoadList(image, data, end, Font_Load);
        case ChunkTag("TMLN"): return LoadList(image, data, end, TimeLine_Load);
        case ChunkTag("OBJT"): return LoadList(image, data, end, Object_Load);
        case ChunkTag("ROOM"): return LoadList(image, data, end, Room_LoadChunk);
        case ChunkTag("CODE"): return Code_BindStrings(image);
        case ChunkTag("FUNC"): return Code_BindFunctions(image, data, end);
        case ChunkTag("TPAG"):
            if (!g_GameFile.tpag.Read(image, data, end)) return false;
            for (uint32_t i = 0; i < g_GameFile.tpag.count; ++i) {
                uint32_t at = g_GameFile.tpag.Offset(image, i);
                if (at != 0 && !image.Contains(at, kPageEntrySize)) return false;
            }
            g_GameFile.tpagPresent = true;
            return true;
        case ChunkTag("TXTR"): return Texture_LoadChunk(image, data, end);
        case ChunkTag("DAFL"): return LoadList(image, data, end, nullptr);
        default:
            Console_Output("unknown Chunk %s:%d\n", ChunkTagText(tag).text, int32_t(tag));
            Runner_NoteProblem(std::string("unknown chunk ") + ChunkTagText(tag).text);
            result = false;
            return true;
        }
    });
    if (!walked && !Main_ExitRequested()) { // a name that cannot be bound has said so itself
        const std::string why = FileImage_ContainerProblem(image);
        Runner_NoteProblem(why.empty() ? std::string("chunk ") + ChunkTagText(reading).text + " is damaged" : why);
    }
    return walked && result;
}

bool Texture_Blobs(const FileImage& image, uint32_t begin, uint32_t end,
                   std::vector<std::pair<uint32_t, uint32_t>>& blobs, std::vector<uint32_t>& flags)
{
    ChunkList list;
    if (!list.Read(image, begin, end)) return false;
    // Every image lies inside the chunk and runs to the next image (in file order) or the end.
    blobs.assign(list.count, {0, 0});
    flags.assign(list.count, 0);
    std::vector<uint32_t> sorted;
    for (uint32_t i = 0; i < list.count; ++i) {
        uint32_t at = list.Offset(image, i), start = 0;
        if (at == 0) continue;
        if (!image.U32(at, flags[i]) || !image.U32(at + 4, start)) return false;
        if (start != 0 && (start < begin || start >= end)) return false;
        blobs[i].first = start;
        if (start != 0) sorted.push_back(start);
    }
    std::sort(sorted.begin(), sorted.end());
    for (auto& blob : blobs) {
        if (blob.first == 0) continue;
        auto next = std::upper_bound(sorted.begin(), sorted.end(), blob.first);
        blob.second = (next == sorted.end() ? end : *next) - blob.first;
    }
    return true;
}

static void Texture_SayPageLost(uint32_t page, int32_t width, int32_t height)
{
    // The game plays on without the page: its entries keep no texture and draw nothing.
    // Whoever started the run is told which page and why (not when no device reads pages).
    if (width < 0) return;
    const int32_t most = GR_Texture_MaxSide();
    std::string why;
    if (width == 0)
        why = "is no image the runner reads (PNG, BMP, DDS or \"RAW \")";
    else if (width > most || height > most)
        why = "is " + std::to_string(width) + " x " + std::to_string(height) + " pixels, more than a texture holds (" +
              std::to_string(most) + " pixels a side)";
    else // a damaged image, or one the device refuses
        why = "(" + std::to_string(width) + " x " + std::to_string(height) + " pixels) cannot be made into a texture";
    Console_Output("Texture page %u %s: what lies on it is not drawn\n", page, why.c_str());
    Console_Problem("texture page %u of the game %s; what lies on it is not drawn", page, why.c_str());
}

bool Texture_LoadChunk(FileImage& image, uint32_t begin, uint32_t end)
{
    std::vector<std::pair<uint32_t, uint32_t>> blobs;
    std::vector<uint32_t> flags;
    if (!Texture_Blobs(image, begin, end, blobs, flags)) return false;
    const uint32_t count = uint32_t(blobs.size());
    g_GameFile.textureIds.assign(count, -1);
    for (uint32_t i = 0; i < count; ++i) {
        if (blobs[i].first == 0) continue;
        GR_PageImage read;
        g_GameFile.textureIds[i] =
            GR_Texture_LoadFromMemory(image.Bytes(blobs[i].first, blobs[i].second), blobs[i].second, 0, int32_t(flags[i] & 1), &read);
        if (g_GameFile.textureIds[i] < 0) Texture_SayPageLost(i, read.width, read.height);
    }
    if (!g_GameFile.tpagPresent) return true;
    for (uint32_t i = 0; i < g_GameFile.tpag.count; ++i) {
        uint32_t at = g_GameFile.tpag.Offset(image, i);
        uint16_t page = 0;
        if (at == 0 || !image.U16(at + kPageEntryTexture, page)) continue;
        const int16_t index = int16_t(page);
        if (index >= 0 && uint32_t(index) < count)
            image.PutU16(at + kPageEntryTexture, uint16_t(g_GameFile.textureIds[uint32_t(index)] & 0xFFFF));
        else
            Console_Output("what!!!!\n");
    }
    GR_FilePageEntries_Refresh(image); // the resources' copies take the texture ids
    return true;
}

void Runner_FreeGame()
{
    FreeBlock(g_GameFile.block);
    FreeBlock(g_GameFile.debugBlock);
    MEM_FREE(g_GameFile.optionsIniPath);
    MEM_FREE(g_GameFile.debugPath);
    delete g_GameFile.ini;
    g_GameFile = GameFileState();
    Header_Clear(g_GameHeader);
    Code_Clear();
    Code_ClearDebug();
    GR_FilePageEntries_Clear();
}
