// gamepack: writes a game data file from a project manifest.
//   gamepack MANIFEST.json OUTPUT.win [--source | --bytecode] [--absent-code-empty]
//   gamepack --help
// Byte-code mode also writes the ".kvdebug" companion beside the file OUTPUT names (through a
// symbolic link, the file the link names), named as the runner looks for it (the extension
// replaced), and says when it replaced the companion of another game file there.
// --absent-code-empty (source mode only) writes the text field of absent code (a room or
// instance without creation code) as the offset of an empty text instead of 0, as game files
// from other writers commonly hold it. Nothing is written when the project is
// refused or a write fails (the earlier output and companion stay as they were), and no file
// the project reads is ever written over. What packs but runs only when the game's code asks
// for it is said as warnings on the standard error, one line each, and the exit is 0.
#include <dirent.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "Files/Code/Code_Load.h"
#include "Files/Runner/Runner_Game.h"
#include "GamePack_Project.h"
#include "GamePack_Writer.h"
#include "Platform/MemoryManager.h"

namespace {

const char* const kUsage = "usage: gamepack MANIFEST.json OUTPUT.win [--source | --bytecode] [--absent-code-empty]\n"
                           "Writes the game data file OUTPUT.win from the project MANIFEST.json (see docs/gamepack.md).\n"
                           "  --source             ZBL text in the game file, compiled by the runner (the default)\n"
                           "  --bytecode           compiled byte code, and the .kvdebug companion beside OUTPUT\n"
                           "                       (either one overrides the manifest's \"mode\")\n"
                           "  --absent-code-empty  absent code written as an empty text instead of 0\n"
                           "  -h, --help           this text\n";

// True when both paths name one existing file.
bool SameFile(const std::string& a, const std::string& b)
{
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// The input of the project that path would write over, or "".
std::string InputAt(const PackProject& project, const std::string& path)
{
    for (const std::string& input : project.inputs)
        if (SameFile(input, path)) return input;
    return "";
}

// Whether the file at path is the game file a companion's check describes.
bool Described(const std::string& path, const DebugCompanionCheck& check)
{
    struct stat st;
    std::string game, why;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || uint64_t(st.st_size) != check.size ||
        !GamePack_ReadFile(path, game, why))
        return false;
    return Code_GameFileCheck(reinterpret_cast<const uint8_t*>(game.data()), game.size()).hash == check.hash;
}

// A word when the companion about to be replaced describes another game file beside it, one
// whose name shares the companion (game.win and game.dat): that game's error reports lose
// their lines. "" when it describes the file the output replaces, none there, or holds no check.
std::string CompanionOfAnotherGame(const std::string& companion, const std::string& target)
{
    std::string bytes, why;
    if (!GamePack_ReadFile(companion, bytes, why)) return "";
    const DebugCompanionCheck held =
        Code_DebugCompanionCheck(FileImage(reinterpret_cast<const uint8_t*>(bytes.data()), uint32_t(bytes.size())));
    if (!held.present || Described(target, held)) return "";
    const size_t slash = companion.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "" : companion.substr(0, slash + 1);
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    std::string other;
    while (dir && other.empty()) {
        const dirent* e = readdir(dir);
        if (!e) break;
        const std::string path = folder + e->d_name;
        char* name = Runner_DebugCompanionPath(path.c_str());
        const bool shares = companion == name && path != companion && path != target;
        MEM_FREE(name);
        if (shares && Described(path, held)) other = path;
    }
    if (dir) closedir(dir);
    if (other.empty()) return "";
    return "replaced " + companion + ", the debug companion of " + other +
           ": its error reports now carry no lines; give the two outputs names that differ before their extensions";
}

} // namespace

int main(int argc, char** argv)
{
    std::string manifest, output;
    int mode = -1; // -1: as the manifest says; 0 source; 1 byte code
    bool absentCodeEmpty = false;
    bool usage = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("%s", kUsage);
            return 0;
        }
        if (std::strcmp(argv[i], "--source") == 0 || std::strcmp(argv[i], "--bytecode") == 0) {
            const int asked = argv[i][2] == 'b' ? 1 : 0;
            if (mode >= 0 && mode != asked) {
                std::fprintf(stderr, "gamepack: --source and --bytecode are both given; give one\n");
                usage = true;
            }
            mode = asked;
        } else if (std::strcmp(argv[i], "--absent-code-empty") == 0) {
            absentCodeEmpty = true;
        } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            std::fprintf(stderr, "gamepack: unknown option %s\n", argv[i]);
            usage = true;
        } else if (manifest.empty()) {
            manifest = argv[i];
        } else if (output.empty()) {
            output = argv[i];
        } else {
            usage = true;
        }
    }
    // Byte code has no text: the option would change nothing in what is written.
    const char* const absentWithByteCode = "gamepack: --absent-code-empty writes absent code as an empty text, which byte "
                                           "code has none of; give it with --source only\n";
    if (absentCodeEmpty && mode == 1) {
        std::fprintf(stderr, "%s", absentWithByteCode);
        usage = true;
    }
    if (usage || manifest.empty() || output.empty()) {
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }
    // A file-size limit fails the write (and the earlier files stay) instead of killing the packer.
    std::signal(SIGXFSZ, SIG_IGN);
    PackProject project;
    std::string error;
    if (!GamePack_LoadProject(manifest, project, error)) {
        std::fprintf(stderr, "gamepack: %s\n", error.c_str());
        return 1;
    }
    // What packs but may not play as its author thinks (an event only code can run): one line each.
    if (mode >= 0) project.byteCode = mode == 1;
    if (absentCodeEmpty && project.byteCode) { // the manifest's "mode": "bytecode"
        std::fprintf(stderr, "%s", absentWithByteCode);
        return 2;
    }
    for (const std::string& warning : project.warnings)
        std::fprintf(stderr, "gamepack: %s: warning: %s\n", manifest.c_str(), warning.c_str());
    project.absentCodeAsEmptyText = absentCodeEmpty;
    std::string debugName;
    if (project.byteCode) {
        // Beside the file actually written (through a symbolic link: beside the file it names),
        // where the runner playing that file looks for it.
        char* companion = Runner_DebugCompanionPath(GamePack_OutputTarget(output).c_str());
        debugName = companion;
        MEM_FREE(companion);
        if (debugName == output || SameFile(debugName, output)) {
            std::fprintf(stderr, "gamepack: the output %s is its own debug companion (the extension is replaced by \".kvdebug\"); "
                                 "give the output another extension, such as .win\n",
                         output.c_str());
            return 1;
        }
    }
    for (const std::string& target : {output, debugName}) {
        if (target.empty()) continue;
        const std::string input = InputAt(project, target);
        if (!input.empty()) {
            std::fprintf(stderr, "gamepack: the output %s would write over %s, which the project reads; give another output name\n",
                         target.c_str(), input.c_str());
            return 1;
        }
        if (const std::string why = GamePack_OutputProblem(target); !why.empty()) {
            std::fprintf(stderr, "gamepack: cannot write %s: %s\n", target.c_str(), why.c_str());
            return 1;
        }
    }
    PackOutput out;
    if (!GamePack_Build(project, out, error)) {
        std::fprintf(stderr, "gamepack: %s: %s\n", manifest.c_str(), error.c_str());
        return 1;
    }
    std::vector<PackFile> files{{output, &out.game}};
    if (!out.debug.empty()) files.push_back({debugName, &out.debug});
    const std::string replaced = out.debug.empty() ? "" : CompanionOfAnotherGame(debugName, GamePack_OutputTarget(output));
    if (!GamePack_WriteFiles(files, error)) {
        std::fprintf(stderr, "gamepack: %s\n", error.c_str());
        return 1;
    }
    if (!replaced.empty()) std::fprintf(stderr, "gamepack: %s: warning: %s\n", manifest.c_str(), replaced.c_str());
    return 0;
}
