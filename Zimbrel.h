// The program entry and start-up: the start-up state, the order in which subsystems start
// and stop, and the host of the main loop. Linux/ZimbrelMainM.cpp calls Zimbrel_Main.
#pragma once

// Runs the runner with the process arguments; returns the process exit code.
int Zimbrel_Main(int argc, char** argv);
