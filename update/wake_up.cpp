// The network after a wake-up, as automatic updates see it.
#include "update/wake_up.h"

namespace tessaren {

bool networkMayMend(FailureKind kind) {
  switch (kind) {
    case FailureKind::TimedOut:
    case FailureKind::Unreachable:
    case FailureKind::NotHttp:     // a network that answers before it lets anything through
    case FailureKind::Insecure:    // a captive portal in the middle of a TLS connection
    case FailureKind::HttpStatus:  // a gateway or proxy not yet connected (502, 503, 504)
    case FailureKind::CutShort:
      return true;
    default:
      return false;
  }
}

Cost WakeUp::costToHonour(SteadyTime now, Cost cost) {
  if (cost != Cost::Unknown) {
    unknownSince_.reset();
    return cost;
  }
  if (!unknownSince_) unknownSince_ = now;
  return now - *unknownSince_ < kUnknownCostWait ? Cost::Unknown : Cost::Free;
}

}  // namespace tessaren
