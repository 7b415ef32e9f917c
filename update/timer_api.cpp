// The timer service in use, switchable for tests.
#include "update/timer_api.h"

namespace tessaren {
namespace {
TimerApi* replacement = nullptr;
}  // namespace

TimerApi& timerApi() { return replacement != nullptr ? *replacement : platformTimerApi(); }

void setTimerApi(TimerApi* api) { replacement = api; }

}  // namespace tessaren
