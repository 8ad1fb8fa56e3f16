// Program entry and start-up order. Backed by Linux/ZimbrelM.cpp for the host facilities.
#include "Zimbrel.h"

#include <cstdio>

#include "Platform/MemoryManager.h"

int Zimbrel_Main(int argc, char** argv)
{
    (void)argc;
    (void)argv;
    MemoryManager_Install();
    std::fprintf(stderr, "runner: playing games is not built yet\n");
    return 1;
}
