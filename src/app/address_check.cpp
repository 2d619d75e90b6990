// The fixed-address page's look at the network: the proposal moves off
// addresses where a device already answers, and a typed address that one
// answers at is taken only once the user confirms it. A second device on
// the camera's address would make both of them unreachable.
#include "app/fixed_address_form.h"
#include "app/quenlo_dlg.h"
#include "discovery/free_address.h"

namespace {

// One address: an answer on a LAN comes within milliseconds, a sleepy
// wireless device may take a few hundred.
constexpr std::chrono::milliseconds kTypedAddressWait{500};
constexpr const char* kTakenUse = "Use it anyway";
constexpr const char* kTakenChange = "Change the address";

}  // namespace

std::optional<AdapterEntry> CQuenloDlg::ProbeAdapter(const CameraRecord& camera) {
  if (!m_services.neighbours || !m_finder || FinderBusy()) return std::nullopt;
  const AdapterEntry* found = FindAdapter(m_finder->Adapters(), camera.adapterAddress);
  if (!found) return std::nullopt;
  return *found;
}

// Only the plain proposal is checked: an address the user typed stays. The
// page stays busy meanwhile (up to about 2 s); `then` runs once the
// proposal is settled.
void CQuenloDlg::CheckProposal(void (CQuenloDlg::*then)()) {
  const std::optional<CameraRecord> camera = SelectedCamera();
  const std::optional<AdapterEntry> adapter = camera ? ProbeAdapter(*camera) : std::nullopt;
  NetSettings plain;
  if (adapter) {
    m_finder->ProposeSettings(*camera, &plain.ipAddress, &plain.subnetMask, &plain.gateway,
                              &plain.dns1, &plain.dns2);
  }
  if (!adapter || plain.ipAddress != state_.m_netSettings.ipAddress) return (this->*then)();
  std::vector<uint32_t> cameras;
  for (const CameraList::Row& row : state_.m_cameras.Rows())
    cameras.push_back(RecordIpAddress(row.camera));
  busy_ = true;
  address_pending_ = true;
  address_job_.Start([this, adapter = *adapter, cameras, then] {
    // The close's stop ends the check at once.
    const uint32_t address =
        ProposeFreeAddress(adapter, cameras, *m_services.neighbours, clock(), &command_stop_);
    PostToUi([this, address, then] {
      address_job_.Join();
      address_pending_ = false;
      state_.m_netSettings.ipAddress = address;
      (this->*then)();
    });
  });
}

// A device that answers at the typed address is named, and the user decides.
void CQuenloDlg::CheckTypedAddress() {
  const std::optional<CameraRecord> camera = SelectedCamera();
  if (m_finder && !FinderBusy()) m_finder->RefreshAdapters();
  const std::optional<AdapterEntry> adapter = camera ? ProbeAdapter(*camera) : std::nullopt;
  const uint32_t address = state_.m_netSettings.ipAddress;
  // Off the adapter's link nobody can be asked.
  if (!adapter || !IsOnAdapterSubnet(*adapter, address)) return ShowPage("IDPassword.html");
  busy_ = true;
  address_pending_ = true;
  address_job_.Start([this, adapter = *adapter, address, camera = *camera] {
    const std::optional<MacAddress> mac =
        m_services.neighbours->WhoAnswers(adapter, address, kTypedAddressWait, &command_stop_);
    PostToUi([this, address, camera, mac] {
      address_job_.Join();
      address_pending_ = false;
      OnTypedAddressChecked(camera, address, mac);
    });
  });
}

void CQuenloDlg::OnTypedAddressChecked(const CameraRecord& camera, uint32_t address,
                                       const std::optional<MacAddress>& mac) {
  // The camera answering at the address it is to keep is no conflict.
  if (!mac || std::equal(mac->begin(), mac->end(), camera.header.macAddress))
    return ShowPage("IDPassword.html");
  const std::string question = "Another device answers at " + DottedAddress(address) + " (MAC " +
                               MacText(*mac) +
                               "). If the camera takes this address too, neither of them may be "
                               "reachable. Use this address anyway?";
  if (m_services.messages->Ask(state_.m_title, question, kTakenUse, kTakenChange)) {
    ShowPage("IDPassword.html");
  } else {
    EndBusy();
  }
}

void CQuenloDlg::ShowFixedIpPage() { ShowPage("FixedIP.html"); }

void CQuenloDlg::FillCheckedProposal() {
  FillFixedIpFields(*m_services.pages, state_.m_netSettings);
  EndBusy();
}
