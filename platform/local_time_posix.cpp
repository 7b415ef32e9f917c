// The local clock natively: the C library's zone, which follows TZ.
#include <time.h>

#include "platform/local_time.h"

namespace tessaren {

long systemUtcOffsetAt(std::time_t instant) {
  struct tm local {};
  if (localtime_r(&instant, &local) == nullptr) return 0;
  return local.tm_gmtoff;
}

}  // namespace tessaren
