// The network's cost and connectivity through the Network List Manager, and battery saver
// through the power status.
#include <windows.h>
// After windows.h, which they need.
// Defines the GUIDs of the Network List Manager in this file.
#include <initguid.h>
#include <netlistmgr.h>

#include "platform/com_handles.h"
#include "update/conditions.h"

namespace tessaren {
namespace {

// Any of these costs money or counts against a limit; "unrestricted" does not.
constexpr DWORD kMeteredCosts = NLM_CONNECTION_COST_FIXED | NLM_CONNECTION_COST_VARIABLE |
                                NLM_CONNECTION_COST_OVERDATALIMIT | NLM_CONNECTION_COST_ROAMING;
// A network with an address: the local network is enough, since the check that finds
// "Internet" fails behind many proxies; an update that fails meanwhile is retried.
constexpr NLM_CONNECTIVITY kConnected = static_cast<NLM_CONNECTIVITY>(
    NLM_CONNECTIVITY_IPV4_SUBNET | NLM_CONNECTIVITY_IPV4_LOCALNETWORK |
    NLM_CONNECTIVITY_IPV4_INTERNET | NLM_CONNECTIVITY_IPV6_SUBNET |
    NLM_CONNECTIVITY_IPV6_LOCALNETWORK | NLM_CONNECTIVITY_IPV6_INTERNET);

class SystemConditions final : public Conditions {
 public:
  SystemConditions() {
    void* manager = nullptr;
    if (FAILED(CoCreateInstance(CLSID_NetworkListManager, nullptr, CLSCTX_ALL,
                                IID_INetworkListManager, &manager)))
      return;
    networks_.reset(static_cast<INetworkListManager*>(manager));
    void* costs = nullptr;
    if (SUCCEEDED(networks_->QueryInterface(IID_INetworkCostManager, &costs)))
      costs_.reset(static_cast<INetworkCostManager*>(costs));
  }

  Cost cost() override {
    // Without the Network List Manager no connection is known to cost anything.
    if (!costs_) return Cost::Free;
    DWORD cost = NLM_CONNECTION_COST_UNKNOWN;
    // Right after a resume GetCost fails (ERROR_NO_NETWORK, E_PENDING) or says "unknown".
    if (FAILED(costs_->GetCost(&cost, nullptr)) || cost == NLM_CONNECTION_COST_UNKNOWN)
      return Cost::Unknown;
    return (cost & kMeteredCosts) != 0 ? Cost::Metered : Cost::Free;
  }
  bool batterySaver() override {
    SYSTEM_POWER_STATUS status{};
    // The byte after BatteryLifePercent is SystemStatusFlag on Windows 10 and later.
    return GetSystemPowerStatus(&status) && (status.Reserved1 & SYSTEM_STATUS_FLAG_POWER_SAVING_ON);
  }
  bool connected() override {
    NLM_CONNECTIVITY connectivity = NLM_CONNECTIVITY_DISCONNECTED;
    if (!networks_ || FAILED(networks_->GetConnectivity(&connectivity))) return true;
    return (connectivity & kConnected) != 0;
  }

 private:
  ComOwner<INetworkListManager> networks_;
  ComOwner<INetworkCostManager> costs_;
};

}  // namespace

std::unique_ptr<Conditions> makeSystemConditions() { return std::make_unique<SystemConditions>(); }

}  // namespace tessaren
