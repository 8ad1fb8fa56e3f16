// The process entry of build/runner. A run that a signal ended (after its orderly shutdown)
// ends the process by that signal.
#include "Zimbrel.h"

int main(int argc, char** argv)
{
    const int code = Zimbrel_Main(argc, argv);
    MainHost_EndBySignal();
    return code;
}
