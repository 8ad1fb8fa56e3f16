// One reset of the whole runtime: every table and every piece of state that loading and
// playing a game fill goes back to what it was before the game file was read. The game file's
// loader releases what it made through it (Runner_ReleaseLoaded); tests and fuzz targets run it
// between cases so that no case sees what another left.
//
// What it empties: the game file's record, its header and options; the byte code, its string
// table and the code table; the scripts; the objects, their instances and the event lists;
// the rooms (the current one too), paths and time lines; the user variable names, the globals,
// the script arguments and the error reporter's record; the sprites, backgrounds, fonts and
// the built-in font and the text's font and alignment, the sprites' drawing rectangle, surfaces, the page entries of the game file, particle types, systems and
// effects, 3D models; data structures, buffers, the built-ins' open files, external calls,
// extension packages and execute_string's cache; the world's hooks (empty: start-up fills them
// again with World_InstallDefaultHooks), the run state, the event state and the pending
// instance changes.
//
// What it keeps: what start-up registers once (the built-in function, variable and constant
// tables, the compiler's phases), the graphics device and its texture table (the particle
// shapes and the built-in images live there), the folders of the save area, and the hooks of
// the lower layers that start-up's Run_Global_Init installs (they are installed again here).
//
// Needs the modules of every layer below the runner. No Linux/ file.
#pragma once

void Runtime_ResetAll();
