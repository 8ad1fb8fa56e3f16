// What the platform layer tells the game about the operating system it runs on: the kind of
// system (the os_* constants' numbering), the device and browser (none on a desktop), the
// system's version, and the size of the "browser" a desktop game runs in (the display).
// They back the six operating-system variables of the built-in variable table.
//
// Backed by Linux/OSInfoM.cpp (uname for the version).
#pragma once

#include <cstdint>

constexpr int32_t OS_TYPE_LINUX = 6;          // os_linux
constexpr int32_t OS_DEVICE_UNKNOWN = -1;     // device_ios_unknown: not an iOS device
constexpr int32_t OS_BROWSER_NONE = -1;       // browser_not_a_browser

int32_t OSInfo_Type();
int32_t OSInfo_Device();
int32_t OSInfo_Browser();
// The kernel's release as major * 65536 + minor (as the Windows version is major * 65536 +
// minor); 0 when it cannot be read.
int32_t OSInfo_Version();
// Parses a release text ("6.1.0-18-amd64") into major * 65536 + minor; 0 when it does not
// start with "N.N".
int32_t OSInfo_ParseVersion(const char* release);
