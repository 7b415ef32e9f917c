// Counts of the program's own resources, for bench/soak only: built in when
// TESSAREN_SOAK_COUNTERS is on, absent from the program users get.
#pragma once

#ifdef TESSAREN_SOAK_COUNTERS
#include <atomic>

namespace tessaren::soak {

inline std::atomic<int> trayPictures{0};     // icons loaded and not destroyed
inline std::atomic<int> internetHandles{0};  // WinINet handles open

}  // namespace tessaren::soak
#endif
