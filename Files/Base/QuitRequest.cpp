// The flag behind Files/Base/QuitRequest.h.
#include "Files/Base/QuitRequest.h"

namespace quitrequest_detail {
std::atomic<int32_t> g_raised{0};
std::atomic<int32_t> g_signalled{0};
} // namespace quitrequest_detail
