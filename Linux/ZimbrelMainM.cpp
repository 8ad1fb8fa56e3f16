// The process entry of build/runner. The standard descriptors are made sure of before anything
// opens a file. A run that a signal ended (after its orderly shutdown) ends the process by that
// signal.
#include "Zimbrel.h"

int main(int argc, char** argv)
{
    MainHost_KeepStandardDescriptors();
    const int code = Zimbrel_Main(argc, argv);
    MainHost_EndBySignal();
    return code;
}
