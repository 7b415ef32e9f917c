// The network's cost through the Network List Manager, and battery saver through the
// power status.
#include <windows.h>
// After windows.h, which they need.
// Defines the GUIDs of the Network List Manager in this file.
#include <initguid.h>
#include <netlistmgr.h>

#include "platform/com_handles.h"
#include "update/conditions.h"

namespace tessaren {
namespace {

// Any of these costs money or counts against a limit; "unrestricted" and "unknown"
// (no connection, or the service did not say) do not.
constexpr DWORD kMeteredCosts = NLM_CONNECTION_COST_FIXED | NLM_CONNECTION_COST_VARIABLE |
                                NLM_CONNECTION_COST_OVERDATALIMIT | NLM_CONNECTION_COST_ROAMING;

class SystemConditions final : public Conditions {
 public:
  SystemConditions() {
    void* manager = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_NetworkListManager, nullptr, CLSCTX_ALL,
                                   IID_INetworkCostManager, &manager)))
      costs_.reset(static_cast<INetworkCostManager*>(manager));
  }

  bool metered() override {
    DWORD cost = NLM_CONNECTION_COST_UNKNOWN;
    if (!costs_ || FAILED(costs_->GetCost(&cost, nullptr))) return false;
    return (cost & kMeteredCosts) != 0;
  }
  bool batterySaver() override {
    SYSTEM_POWER_STATUS status{};
    // The byte after BatteryLifePercent is SystemStatusFlag on Windows 10 and later.
    return GetSystemPowerStatus(&status) && (status.Reserved1 & SYSTEM_STATUS_FLAG_POWER_SAVING_ON);
  }

 private:
  ComOwner<INetworkCostManager> costs_;
};

}  // namespace

std::unique_ptr<Conditions> makeSystemConditions() { return std::make_unique<SystemConditions>(); }

}  // namespace tessaren
