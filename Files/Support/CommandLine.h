// The start-up options and the command line. Owns StartupOptions, the one record of start-up
// state that the rest of the runner reads (running flag, game file name, the command-line
// copy and the option flags), and the reading of the command line. Needs the memory manager
// and the log console (for "-output" / "-debugoutput"). No Linux/ file: on Linux the command
// line is rebuilt as one text from argv by Main_TakeCommandLine.
//
// Tokens are split at bytes 1..32 (read unsigned; bytes 0x80-0xFF belong to tokens, so UTF-8
// paths stay whole); a double quote toggles quoting and is not copied. Options are compared
// case-sensitively and whole; unknown tokens, the first one (the program path) included, are
// ignored. Main thread only; parsed once before the platform starts.
#pragma once

#include <cstdint>
#include <string>

constexpr int32_t COMMAND_LINE_MAX = 8191; // characters kept of the process command line

struct StartupOptions {
    uint8_t running = 0;              // the main loop runs while this is 1
    char* gameFileName = nullptr;     // full path of the game data file (owned); null until found
    char commandLine[COMMAND_LINE_MAX + 1] = {}; // at most 8191 characters, terminated
    int32_t commandLineLength = 0;    // length of the whole command line, before the cut

    // Set by the command line (defaults as Main_ParseCommandLine leaves them).
    uint8_t debugMode = 0;            // "-debug"
    int32_t debugFormMode = 0;        // 2 with "-debug"
    uint8_t physicsDebugMessages = 0; // "-debug": the physics layer installs its debug output
    uint8_t trace = 0;                // "-trace" (not reset by the parse)
    uint8_t extensionsOff = 0;        // "-ext": calls into extension libraries do nothing
    uint8_t errorsShown = 1;          // "-noerrors" clears it; the game's options set it again
    uint8_t byteCodeInterpreter = 1;  // "-oldexec" clears it: the tree-walking interpreter runs
    uint8_t noAudio = 0;              // "-noaudio"
    uint8_t inAWindow = 0;            // "-inawindow": the full-screen option is forced off
    uint8_t steam = 0;                // "-steam" (not reset by the parse)
    uint8_t record = 0;               // "-record FILE"
    uint8_t playback = 0;             // "-playback FILE"
    char* recordFileName = nullptr;   // shared by record and playback (owned)
    uint8_t outputToFile = 0;         // "-output FILE": the release console appends to FILE
    char* outputFileName = nullptr;   // (owned)
    uint8_t debugOutputToFile = 0;    // "-debugoutput FILE": the debug console appends to FILE
    char* debugOutputFileName = nullptr; // (owned)

    // A fatal condition asked the run to end with this code (Main_RequestExit).
    uint8_t exitRequested = 0;
    int32_t exitCode = 0;
};

extern StartupOptions g_StartupOptions;

// A fatal condition deep in the stack (a run-time error that ends the game, a name the game
// file cannot bind, a vertex buffer or screen that cannot be made) ends the run through here:
// the main loop stops, the code layer refuses every later piece of game code, and the entry
// ends the process with code after its orderly shutdown. The first request's code is kept.
void Main_RequestExit(int32_t code);
inline bool Main_ExitRequested() { return g_StartupOptions.exitRequested != 0; }

// Sets the option defaults; then, for a text that is neither null nor empty, reads it token
// by token and applies the options. An option that takes a file name but stands last takes
// an empty name. "-game" sets the game file name only when none is set yet.
void Main_ParseCommandLine(const char* text);
// What the last Main_ParseCommandLine found that the run refuses, for one line on stderr ("" for
// nothing): "-record" and "-playback" both given.
const char* Main_CommandLineProblem();

// Reads the next token from position into the token buffer; returns the position of the byte
// that ended it (a separator or the terminator). The token may be of any length.
int32_t Main_ReadToken(int32_t position, const char* text);
// The token buffer: the last token read.
const char* Main_Token();

// The command-line text of argv: the arguments joined by single spaces, each one that is
// empty or holds a byte of 32 or below put in double quotes so the tokeniser gives it back
// whole. Double quotes inside an argument cannot be carried through the tokeniser and are
// left out.
std::string Main_CommandLineFromArgv(int argc, const char* const* argv);
// True when an argument asks for the usage ("--help" or "-h"), one that is not the file name of
// an option ("-game -h" names a game called -h).
bool Main_HelpAsked(int argc, const char* const* argv);
// The usage text: the command line and every option, one a line, then the environment a run
// reads; ends in a line break.
const char* Main_Usage();

// Stores the command line of argv in g_StartupOptions: the whole length, and a copy cut at
// COMMAND_LINE_MAX characters.
void Main_TakeCommandLine(int argc, const char* const* argv);
