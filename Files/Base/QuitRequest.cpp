// The flags behind Files/Base/QuitRequest.h (its waits: Linux/QuitRequestM.cpp).
#include "Files/Base/QuitRequest.h"

namespace quitrequest_detail {
std::atomic<int32_t> g_raised{0};
std::atomic<int32_t> g_quitting{0};
} // namespace quitrequest_detail
