// The fixed-address page's look at the network: the proposal moves off
// addresses where a device already answers, and a typed address that one
// answers at is taken only once the user confirms it. A second device on
// the camera's address would make both of them unreachable.
#include <functional>

#include "app/quenlo_dlg.h"
#include "discovery/free_address.h"

namespace {

// One address: an answer on a LAN comes within milliseconds, a sleepy
// wireless device may take a few hundred.
constexpr std::chrono::milliseconds kTypedAddressWait{500};
constexpr const char* kTakenUse = "Use it anyway";
constexpr const char* kTakenChange = "Change the address";

}  // namespace

// UI thread. Only the plain proposal is checked: an address the user typed,
// or one this check already moved to, stays.
void CQuenloDlg::CheckProposedAddress() {
  NeighbourProbe* probe = m_services.neighbours;
  const std::optional<CameraRecord> camera = SelectedCamera();
  if (!probe || !camera || !m_finder || FinderBusy()) return;
  NetSettings plain;
  m_finder->ProposeSettings(*camera, &plain.ipAddress, &plain.subnetMask, &plain.gateway,
                            &plain.dns1, &plain.dns2);
  const AdapterEntry* found = FindAdapter(m_finder->Adapters(), camera->adapterAddress);
  if (!found || plain.ipAddress != m_netSettings.ipAddress) return;
  const AdapterEntry adapter = *found;
  std::vector<uint32_t> cameras;
  {
    std::lock_guard<std::mutex> lock(m_camerasMutex);
    for (const CameraRecord& record : m_cameras) cameras.push_back(RecordIpAddress(record));
  }
  uint32_t address = plain.ipAddress;
  WhileWaiting(std::function<bool()>([&] {
    address = ProposeFreeAddress(adapter, cameras, *probe, clock());
    return true;
  }));
  m_netSettings.ipAddress = address;
}

// UI thread: true to go on with m_netSettings' address.
bool CQuenloDlg::ConfirmTypedAddress() {
  NeighbourProbe* probe = m_services.neighbours;
  const std::optional<CameraRecord> camera = SelectedCamera();
  if (!probe || !camera || !m_finder || FinderBusy()) return true;
  m_finder->RefreshAdapters();
  const AdapterEntry* found = FindAdapter(m_finder->Adapters(), camera->adapterAddress);
  const uint32_t address = m_netSettings.ipAddress;
  // Off the adapter's link nobody can be asked.
  if (!found || !IsOnAdapterSubnet(*found, address)) return true;
  const AdapterEntry adapter = *found;
  std::optional<MacAddress> mac;
  WhileWaiting(std::function<bool()>([&] {
    mac = probe->WhoAnswers(adapter, address, kTypedAddressWait);
    return true;
  }));
  if (commands_stopped_) return false;  // the window closes next
  // The camera answering at the address it is to keep is no conflict.
  if (!mac || std::equal(mac->begin(), mac->end(), camera->header.macAddress)) return true;
  const std::string question = "Another device answers at " + DottedAddress(address) + " (MAC " +
                               MacText(*mac) +
                               "). If the camera takes this address too, neither of them may be "
                               "reachable. Use this address anyway?";
  return m_services.messages->Ask(m_title, question, kTakenUse, kTakenChange);
}
