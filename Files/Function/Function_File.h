// The "File.." group of built-in functions: binary and text files by handle, the older
// single-file functions, files and folders (test, delete, rename, copy, make, list by
// pattern and attributes), file names taken apart, programs started, the command line and
// the environment (Function_File.cpp); INI files and the registry-named key store
// (Function_Ini.cpp).
//
// Every name a game gives goes through the save-area and program-folder mappings of
// Files/Support/LoadSave.h: reads come from the save area or the program folder, writes go only to
// the save area (or files the player picked in a file dialog).
#pragma once

#include <cstdint>
#include <string>

// Registers the file built-ins, then the INI and registry built-ins, and clears the two file
// tables. InitFunctions_File (the start-up's "File.." registrar) calls it.
void Function_File_Init();
// Closes every open file of the built-ins (binary, text and the older file), writes out an
// INI still open, forgets the find list and the key store. Shutdown calls it through
// File_CloseAll; tests call it between cases.
void Function_File_CloseAll();
void File_CloseAll();

// The INI and registry built-ins (Function_Ini.cpp), registered by Function_File_Init.
void Function_Ini_Register();
// Closes the current INI (writing it out when it changed) and empties the key store.
void Function_Ini_CloseAll();
