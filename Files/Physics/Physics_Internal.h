// What the physics layer's files share among themselves: the debug trace.
#pragma once

// "Physics: " and the text on the log console, while the debug messages are on.
void Physics_Debug(const char* format, ...) __attribute__((format(printf, 1, 2)));
