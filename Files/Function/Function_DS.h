// The data-structure built-in functions (ds_*): stacks, queues, lists, maps, priority queues
// and grids by index, over the structures of Files/DS/DS_*.h.
#pragma once

// Registers the group "DS.." through Function_Add. InitFunctions_DS (the start-up's registrar,
// Runner_Services.h) calls it.
void Function_DS_Init();
