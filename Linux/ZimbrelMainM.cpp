// The process entry of build/runner.
#include "Zimbrel.h"

int main(int argc, char** argv) { return Zimbrel_Main(argc, argv); }
