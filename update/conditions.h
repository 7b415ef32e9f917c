// What the computer says about spending on an update and about the network: the cost of
// the connection (a phone's hotspot, roaming, over the data limit), battery saver, and
// whether any network is connected. Automatic updates wait while the cost or battery
// saver forbids them, unless the user allowed those; the user's own Reload never waits.
#pragma once

#include <memory>

namespace tessaren {

// What the connection in use costs. Unknown: the system could not say (right after a
// resume it often cannot).
enum class Cost { Free, Metered, Unknown };

class Conditions {
 public:
  virtual ~Conditions() = default;
  // INetworkCostManager::GetCost: Metered when the connection costs by the byte or has a
  // limit.
  virtual Cost cost() = 0;
  // Battery saver is on (GetSystemPowerStatus).
  virtual bool batterySaver() = 0;
  // Some network is connected (INetworkListManager::GetConnectivity); true where the
  // system cannot tell.
  virtual bool connected() = 0;
};

// The system's answers. Windows build only; COM must be initialised on the calling thread.
std::unique_ptr<Conditions> makeSystemConditions();

}  // namespace tessaren
