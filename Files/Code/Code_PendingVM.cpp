// Placeholders of the script language (built-in tables, scripts, the virtual machine, the
// object hash it shares with the world) and of the compiler's tables, until the script-machine
// and compiler modules land. Names bind to nothing here: every variable and function name is
// unknown.
#include "Files/Runner/Runner_Services.h"
#include "Files/Base/Console.h"

// Stands in for: registers the built-in constants.
void Code_Constant_Init() {}
// Stands in for: defines the game's constants.
bool Code_Constant_Prepare() { return true; }
// Stands in for: frees the constant table.
void Code_Constant_Free() {}
// Stands in for: built-in, script and extension function ids.
bool Code_Function_Find(const char*, int32_t* id) { *id = -1; return false; }
// Stands in for: the variable-name table.
int32_t Code_Variable_Find(const char*) { return -1; }
// Stands in for: empties the variable-name table.
void Code_Variable_Free() {}
// Stands in for: the error dialog.
void Code_Error_Show(const char* text, bool) { Console_Output("ERROR!!! :: %s\n", text); }
// Stands in for: frees the compiler's code.
void Code_Free() {}
// Stands in for: frees the built-in function table.
void Function_Free() {}
// Stands in for: empties the script table.
void Script_Init() {}
// Stands in for: reads the SCPT chunk.
bool Script_Load(const FileImage&, uint32_t, uint32_t) { return true; }
// Stands in for: compiles or binds the scripts.
bool Script_Prepare() { return true; }
// Stands in for: frees the scripts.
void Script_Free() {}
// Stands in for: registers the built-in variables.
void Variable_BuiltIn_Init() {}
// Stands in for: re-creates the global variable list.
void Variable_Global_Init() {}
// Stands in for: frees the global variables.
void Variable_Free() {}
// Stands in for: virtual-machine start-up.
void VM_Init() {}
// Stands in for: virtual-machine finaliser.
void VM_Finalise() {}
// Stands in for: sizes the code table.
void Code_Table_Init(int32_t) {}
// Stands in for: one code-table entry.
void Code_Table_SetEntry(int32_t, const char*, const uint8_t*, int32_t, const uint8_t*, int32_t, const char*) {}
// Stands in for: frees the code table.
void Code_Table_Free() {}
// Stands in for: creates the object table.
void Object_InitHash() {}
// Stands in for: frees the objects.
void Object_Free() {}
