// gamepack: writes a game data file from a project manifest.
//   gamepack MANIFEST.json OUTPUT.win [--source | --bytecode] [--absent-code-empty]
// Byte-code mode also writes OUTPUT's ".kvdebug" companion beside it. --absent-code-empty
// writes the text field of absent code (a room or instance without creation code) as the
// offset of an empty text instead of 0, as game files from other writers commonly hold it.
#include <cstdio>
#include <cstring>
#include <string>

#include "GamePack_Project.h"
#include "GamePack_Writer.h"

int main(int argc, char** argv)
{
    std::string manifest, output;
    int mode = -1; // -1: as the manifest says; 0 source; 1 byte code
    bool absentCodeEmpty = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--source") == 0) mode = 0;
        else if (std::strcmp(argv[i], "--bytecode") == 0) mode = 1;
        else if (std::strcmp(argv[i], "--absent-code-empty") == 0) absentCodeEmpty = true;
        else if (manifest.empty()) manifest = argv[i];
        else if (output.empty()) output = argv[i];
        else manifest.clear(), i = argc;
    }
    if (manifest.empty() || output.empty()) {
        std::fprintf(stderr, "usage: gamepack MANIFEST.json OUTPUT.win [--source | --bytecode] [--absent-code-empty]\n");
        return 2;
    }
    PackProject project;
    std::string error;
    if (!GamePack_LoadProject(manifest, project, error)) {
        std::fprintf(stderr, "gamepack: %s\n", error.c_str());
        return 1;
    }
    if (mode >= 0) project.byteCode = mode == 1;
    project.absentCodeAsEmptyText = absentCodeEmpty;
    PackOutput out;
    if (!GamePack_Build(project, out, error)) {
        std::fprintf(stderr, "gamepack: %s\n", error.c_str());
        return 1;
    }
    if (!GamePack_WriteFile(output, out.game)) {
        std::fprintf(stderr, "gamepack: cannot write %s\n", output.c_str());
        return 1;
    }
    if (!out.debug.empty()) {
        std::string name = output;
        size_t slash = name.find_last_of('/');
        size_t dot = name.find_last_of('.');
        if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) name.erase(dot);
        name += ".kvdebug";
        if (!GamePack_WriteFile(name, out.debug)) {
            std::fprintf(stderr, "gamepack: cannot write %s\n", name.c_str());
            return 1;
        }
    }
    return 0;
}
