// The buffer built-in functions (buffer_*), over the buffer table of Files/Buffer/IBuffer.h.
#pragma once

// Registers the group "Buffers.." through Function_Add. InitFunctions_Buffers (the start-up's
// registrar, Runner_Services.h) calls it.
void Function_Buffer_Init();
