// What the computer says about spending on an update: a metered connection (a phone's
// hotspot, roaming, over the data limit) and battery saver. Automatic updates wait while
// either holds, unless the user allowed them; the user's own Reload never waits.
#pragma once

#include <memory>

namespace tessaren {

class Conditions {
 public:
  virtual ~Conditions() = default;
  // The connection in use costs by the byte or has a limit (INetworkCostManager::GetCost).
  virtual bool metered() = 0;
  // Battery saver is on (GetSystemPowerStatus).
  virtual bool batterySaver() = 0;
};

// The system's answers. Windows build only; COM must be initialised on the calling thread.
std::unique_ptr<Conditions> makeSystemConditions();

}  // namespace tessaren
