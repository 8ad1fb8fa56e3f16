// The registrars of the networking groups: "DPlay..", "Networking.." (network_send_raw), the
// Steam functions (none) and "Kovrin.." (the virtual keys, the achievement cache's lock).
#pragma once

void InitFunctions_DPlay();
void InitFunctions_Networking();
void InitFunctions_Steam();
void InitFunctions_Kovrin();
