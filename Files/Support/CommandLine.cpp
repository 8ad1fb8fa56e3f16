// Start-up options and command-line reading. Needs the memory manager and the log console.
#include "Files/Support/CommandLine.h"

#include <cstring>

#include "Files/Base/Console.h"
#include "Platform/MemoryManager.h"

StartupOptions g_StartupOptions;

namespace {

// The token buffer. Tokens can be as long as the command line; the buffer grows with them.
std::string g_token;
// What the last parse found that the run refuses ("" for nothing).
std::string g_problem;

bool IsSeparator(unsigned char c) { return c != 0 && c <= 32; }

// Replaces an owned name with a copy of the current token.
void SetName(char** slot)
{
    MEM_FREE(*slot);
    *slot = MEM_STRDUP(g_token.c_str());
}

} // namespace

int32_t Main_ReadToken(int32_t position, const char* text)
{
    g_token.clear();
    if (!text || position < 0) return position;
    auto* p = reinterpret_cast<const unsigned char*>(text);
    int32_t i = position;
    if (p[i] == 0) return i;
    while (IsSeparator(p[i])) ++i;
    bool quoted = false;
    size_t start = size_t(i);
    for (; p[i] != 0; ++i) {
        if (p[i] == '"') {
            g_token.append(text + start, size_t(i) - start);
            start = size_t(i) + 1;
            quoted = !quoted;
            continue;
        }
        if (!quoted && IsSeparator(p[i])) break;
    }
    g_token.append(text + start, size_t(i) - start);
    return i;
}

const char* Main_Token() { return g_token.c_str(); }

void Main_ParseCommandLine(const char* text)
{
    StartupOptions& o = g_StartupOptions;
    o.debugMode = 0;
    o.extensionsOff = 0;
    o.record = 0;
    o.playback = 0;
    o.byteCodeInterpreter = 1;
    o.noAudio = 0;
    o.inAWindow = 0;
    o.debugFormMode = 0;
    g_problem.clear();
    if (!text || !*text) return;

    std::string recordName, playbackName; // each option's own, for the message below
    int32_t pos = 0;
    do {
        pos = Main_ReadToken(pos, text);
        const std::string& t = g_token;
        if (t == "-debug") {
            o.debugMode = 1;
            o.debugFormMode = 2;
            o.physicsDebugMessages = 1;
        } else if (t == "-trace") {
            o.trace = 1;
        } else if (t == "-ext") {
            o.extensionsOff = 1;
        } else if (t == "-noerrors") {
            o.errorsShown = 0;
        } else if (t == "-oldexec") {
            o.byteCodeInterpreter = 0;
        } else if (t == "-noaudio") {
            o.noAudio = 1;
        } else if (t == "-inawindow") {
            o.inAWindow = 1;
        } else if (t == "-steam") {
            o.steam = 1;
        } else if (t == "-game") {
            pos = Main_ReadToken(pos, text);
            if (!o.gameFileName) o.gameFileName = MEM_STRDUP(g_token.c_str());
        } else if (t == "-record") {
            pos = Main_ReadToken(pos, text);
            o.record = 1;
            SetName(&o.recordFileName);
            recordName = g_token;
        } else if (t == "-playback") {
            pos = Main_ReadToken(pos, text);
            o.playback = 1;
            SetName(&o.recordFileName);
            playbackName = g_token;
        } else if (t == "-output") {
            pos = Main_ReadToken(pos, text);
            o.outputToFile = 1;
            SetName(&o.outputFileName);
            Console_SetOutputFile(false, o.outputFileName);
        } else if (t == "-debugoutput") {
            pos = Main_ReadToken(pos, text);
            o.debugOutputToFile = 1;
            SetName(&o.debugOutputFileName);
            Console_SetOutputFile(true, o.debugOutputFileName);
        }
    } while (text[pos] != 0);
    // The two share one file name and one open file, and playback wins: the run would record
    // nothing, and would play back the file given to "-record" when that came last.
    if (o.record && o.playback)
        g_problem = "-record " + recordName + " and -playback " + playbackName +
                    " are both given: a run either records its input or plays a recording back; give one";
}

const char* Main_CommandLineProblem() { return g_problem.c_str(); }

std::string Main_CommandLineFromArgv(int argc, const char* const* argv)
{
    std::string line;
    for (int a = 0; a < argc; ++a) {
        const char* arg = argv[a] ? argv[a] : "";
        std::string plain;
        bool needsQuotes = false;
        for (auto* p = reinterpret_cast<const unsigned char*>(arg); *p; ++p) {
            if (*p == '"') continue;
            if (*p <= 32) needsQuotes = true;
            plain += char(*p);
        }
        if (a) line += ' ';
        if (needsQuotes || plain.empty()) {
            line += '"';
            line += plain;
            line += '"';
        } else {
            line += plain;
        }
    }
    return line;
}

namespace {
// The options followed by a file name.
bool TakesName(const char* option)
{
    for (const char* o : {"-game", "-record", "-playback", "-output", "-debugoutput"})
        if (std::strcmp(option, o) == 0) return true;
    return false;
}
} // namespace

bool Main_HelpAsked(int argc, const char* const* argv)
{
    for (int a = 1; a < argc; ++a) {
        if (!argv[a]) continue;
        if (TakesName(argv[a])) {
            ++a;
            continue;
        }
        if (std::strcmp(argv[a], "--help") == 0 || std::strcmp(argv[a], "-h") == 0) return true;
    }
    return false;
}

const char* Main_Usage()
{
    return "usage: runner -game FILE [options]\n"
           "       runner   (data.win beside the runner is played, and the command line is then not read)\n"
           "options:\n"
           "  -game FILE          the game data file to play (without it, and without data.win, a file dialog asks)\n"
           "  -output LOG         append the log to LOG as well as to the standard output\n"
           "  -debugoutput LOG    append the debug log (window, graphics and file traces) to LOG\n"
           "  -noerrors           no error dialog for errors before the game's own options are read\n"
           "  -oldexec            run code on the tree-walking interpreter, not the byte-code machine\n"
           "  -debug              the debug form beside the game window\n"
           "  -trace              log every script and function call of the byte-code machine\n"
           "  -record FILE        record the input of every step into FILE\n"
           "  -playback FILE      play the input recorded in FILE instead of the player's\n"
           "  -inawindow          never full screen\n"
           "  -noaudio            no sound\n"
           "  -ext                calls into extension libraries do nothing\n"
           "  -steam              start the Steam client library\n"
           "  -h, --help          this text\n"
           "environment:\n"
           "  SDL_VIDEODRIVER=offscreen   run without a display\n"
           "  ZIMBREL_MAX_FRAMES=N        end the run after N frames (headless runs of games that never end)\n"
           "  ZIMBREL_DIALOG_SCRIPT=FILE  the answers of the dialogs when there is no display\n";
}

void Main_TakeCommandLine(int argc, const char* const* argv)
{
    std::string line = Main_CommandLineFromArgv(argc, argv);
    StartupOptions& o = g_StartupOptions;
    o.commandLineLength = line.size() > 0x7FFFFFFFu ? 0x7FFFFFFF : int32_t(line.size());
    size_t keep = line.size() < size_t(COMMAND_LINE_MAX) ? line.size() : size_t(COMMAND_LINE_MAX);
    std::memcpy(o.commandLine, line.data(), keep);
    o.commandLine[keep] = '\0';
}

void Main_RequestExit(int32_t code)
{
    if (!g_StartupOptions.exitRequested) g_StartupOptions.exitCode = code;
    g_StartupOptions.exitRequested = 1;
    g_StartupOptions.running = 0;
}
