// The installation's flow: the search and the choice of a camera, the
// password and the network settings sent to it, and finding it again.
#include <algorithm>
#include <cstring>

#include "app/entry_rules.h"
#include "app/fixed_address_form.h"
#include "app/page_text.h"
#include "app/quenlo_dlg.h"
#include "app/text_convert.h"
#include "discovery/free_address.h"
#include "net/wipe.h"

namespace {

constexpr uint8_t kFinderPause = 0;

// Error codes of the failure page.
constexpr int kErrNotFoundAgain = 0;
constexpr int kErrNoSettingsReply = 1;
constexpr int kErrOtherSubnet = 2;
constexpr int kErrPasswordRefused = 3;
constexpr int kErrNoDeviceChosen = 4;  // several devices answered as it, none chosen
// The change got no answer: the camera may have either password.
constexpr int kErrPasswordInDoubt = 5;
// The retry after that found the camera taking neither of them.
constexpr int kErrNeitherPassword = 6;

constexpr const char* kKeepSettings = "Use it anyway";
constexpr const char* kChangeSettings = "Change it";

// Whether `address` lies in none of the adapters' networks; with no adapter
// known nothing can be said, and it does not.
bool OutsideEveryNetwork(const std::vector<AdapterEntry>& adapters, uint32_t address) {
  return !adapters.empty() &&
         std::none_of(adapters.begin(), adapters.end(), [&](const AdapterEntry& adapter) {
           return IsOnAdapterSubnet(adapter, address);
         });
}

}  // namespace

// ---- What the finder reports ----

void CQuenloDlg::FinderThunk(void* context, const void* data, int eventType, bool done) {
  if (context) static_cast<CQuenloDlg*>(context)->OnFinderEvent(data, eventType, done);
}

// The cameras go straight to the list, which a flood of answers must not
// hold up; everything else is decided on the UI thread, in order.
void CQuenloDlg::OnFinderEvent(const void* data, int eventType, bool done) {
  if (eventType == kCommandSearch && !done) {
    CameraRecord record{};
    if (data) std::memcpy(&record, data, sizeof record);
    if (RecordModelName(record) != Utf8ToLatin1(state_.m_model)) {
      state_.other_models.Add(record);
    } else if (state_.m_cameras.Add(record) && !rows_posted_.exchange(true)) {
      PostToUi([this] { OnCamerasArrived(); });
    }
  } else if (eventType == kCommandSetAddress && !done) {
    const uint8_t status = data ? *static_cast<const uint8_t*>(data) : 0;
    PostToUi([this, status] { OnSettingsReply(status); });
  } else if (done) {
    PostToUi([this, eventType] { OnFinderJobEnd(eventType); });
  }
}

void CQuenloDlg::OnSettingsReply(uint8_t status) {
  state_.m_noReply = false;
  state_.m_replyStatus = status;
}

void CQuenloDlg::OnCamerasArrived() {
  rows_posted_ = false;
  ShowArrivedCameras();
}

void CQuenloDlg::OnWaitSearchLoaded() {
  rows_shown_ = 0;
  ShowArrivedCameras();
}

void CQuenloDlg::ShowArrivedCameras() {
  if (loaded_page_ != PageKey("WaitSearch.html")) return;
  for (const CameraRecord& camera : state_.m_cameras.From(rows_shown_)) {
    CallScript("WaitSearchAddCamera", {SearchRowJson(camera)});
    ++rows_shown_;
  }
}

void CQuenloDlg::OnFinderJobEnd(int eventType) {
  if (m_finder) m_finder->Join();  // it has reported its end
  finder_job_ = false;
  if (eventType == kFinderPause) {
    StartLiveViewThenFinish();
  } else if (eventType == kCommandSearch) {
    OnSearchFinished();
  } else if (eventType == kCommandSetAddress) {
    OnSettingsResult(state_.m_replyStatus);
  }
}

void CQuenloDlg::StartFinderJob(int commandCode) {
  if (!m_finder || FinderBusy()) return;
  finder_job_ = true;
  m_finder->commandCode = commandCode;
  if (!m_finder->Start()) OnFinderEvent(nullptr, commandCode, true);
}

// ---- Search and selection ----

void CQuenloDlg::OnStartSearch() {
  ShowPage("WaitSearch.html");
  StartSearch();
}

// While an earlier job still runs it goes on; its answers and end are
// handled as those of this search.
void CQuenloDlg::StartSearch() {
  state_.m_cameras.Clear();
  state_.other_models.Clear();
  rows_shown_ = 0;
  state_.m_replyStatus = 0;
  state_.m_errorCode = 0;
  StartFinderJob(kCommandSearch);
}

void CQuenloDlg::OnSearchFinished() {
  if (state_.m_rediscovering) {
    OnRediscovered();
  } else {
    ShowPage(state_.m_cameras.Count() == 0 ? "NotFound.html" : "List.html");
  }
}

void CQuenloDlg::OnListNext() {
  if (!m_finder || FinderBusy()) return;
  WizardState& s = state_;
  s.m_selectedIndex = -1;
  s.selected_device = 0;
  const size_t count = s.m_cameras.Count();
  for (size_t i = 0; i < count; ++i) {
    if (ReadPageChecked(*m_services.pages, "list_radio" + std::to_string(i + 1)).value_or(false)) {
      s.m_selectedIndex = static_cast<int>(i);
      break;
    }
  }
  // No row checked, or none of a row's devices chosen: the list page stays.
  const std::optional<CameraList::Row> row = s.m_cameras.RowAt(s.m_selectedIndex);
  if (!row) return;
  std::vector<size_t> all(row->devices.size());
  for (size_t i = 0; i < all.size(); ++i) all[i] = i;
  const std::optional<size_t> device = ChooseDevice(*row, all);
  if (!device) return;
  s.selected_device = *device;
  const std::optional<CameraRecord> camera = SelectedCamera();
  if (!camera) return;
  s.m_netSettings = NetSettings{};
  m_finder->ProposeSettings(*camera, &s.m_netSettings.ipAddress, &s.m_netSettings.subnetMask,
                            &s.m_netSettings.gateway, &s.m_netSettings.dns1, &s.m_netSettings.dns2);
  s.m_sameSubnet = m_finder->IsSameSubnet(*camera);
  if (!s.m_sameSubnet) s.m_fixedIp = 0;
  ShowPage(s.m_sameSubnet ? "IDPassword.html" : "Network.html");
}

// ---- The password ----

void CQuenloDlg::OnIdPwNext() {
  if (FinderBusy()) return;
  state_.password_found.clear();
  if (const int refusal = TakePasswordFields(*m_services.pages, state_); refusal >= 0) {
    ShowMessage(refusal);
    return;
  }
  const std::optional<CameraRecord> camera = SelectedCamera();
  if (!camera || !m_finder) return;
  if (state_.m_sameSubnet) {
    StartPasswordJob(*camera, true, PasswordStage::kPage);
  } else {
    ApplyOverDiscovery(*camera);
  }
}

// Asked when the row is chosen, before anything is decided from the
// device's address, and again when the camera is found again.
std::optional<size_t> CQuenloDlg::ChooseDevice(const CameraList::Row& row,
                                               const std::vector<size_t>& candidates) {
  if (candidates.size() <= 1) {
    if (candidates.empty()) return std::nullopt;
    return candidates.front();
  }
  CameraList::Row asked = row;
  asked.devices.clear();
  asked.more_devices = 0;
  std::vector<std::string> addresses;
  for (size_t i : candidates) {
    asked.devices.push_back(row.devices[i]);
    addresses.push_back(DottedAddress(RecordIpAddress(row.devices[i])));
  }
  const int chosen = m_services.messages->Choose(state_.m_title, TwinQuestion(asked, kTwinWarning),
                                                 addresses, kTwinNone);
  if (chosen < 0 || static_cast<size_t>(chosen) >= candidates.size()) return std::nullopt;
  return candidates[static_cast<size_t>(chosen)];
}

// Proves m_password (when `prove`) and changes it to m_newPassword when
// asked; the page stays busy until the outcome is handled.
void CQuenloDlg::StartPasswordJob(const CameraRecord& camera, bool prove, PasswordStage stage) {
  WizardState& s = state_;
  busy_ = true;
  password_pending_ = true;
  const std::string* next = s.m_changePassword ? &s.m_newPassword : nullptr;
  password_job_.Start(camera, s.m_password, next, prove, command_stop_.fd(),
                      [this, stage](PasswordOutcome outcome) {
                        PostToUi([this, outcome, stage] { OnPasswordOutcome(outcome, stage); });
                      });
}

// After a change that got no answer: the new password is tried first, as the
// camera most likely took it.
void CQuenloDlg::StartProofOfEither(const CameraRecord& camera) {
  WizardState& s = state_;
  busy_ = true;
  password_pending_ = true;
  password_job_.StartProofOfEither(
      camera, s.m_newPassword, s.m_password, command_stop_.fd(), [this](PasswordOutcome outcome) {
        PostToUi([this, outcome] { OnPasswordOutcome(outcome, PasswordStage::kInDoubt); });
      });
}

void CQuenloDlg::OnPasswordOutcome(PasswordOutcome outcome, PasswordStage stage) {
  password_job_.Join();
  password_pending_ = false;
  WizardState& s = state_;
  const bool in_doubt = outcome == PasswordOutcome::kChangeNoAnswer ||
                        (stage == PasswordStage::kInDoubt && outcome == PasswordOutcome::kNoAnswer);
  if (in_doubt && !commands_stopped_) {
    // Both passwords are kept for the retry, which proves them.
    s.m_errorCode = kErrPasswordInDoubt;
    return ShowPage("ConfigureFail.html");
  }
  if (outcome == PasswordOutcome::kDone && s.m_changePassword) {
    WipeText(s.m_password);
    s.m_password = s.m_newPassword;
    if (stage == PasswordStage::kInDoubt) s.password_found = "new";
  } else if (outcome == PasswordOutcome::kSecondHolds) {
    s.password_found = "old";
  }
  WipeText(s.m_newPassword);
  const int failure = PasswordOutcomeSlot(outcome);
  if (stage != PasswordStage::kPage) {
    if (failure < 0) return StartLiveViewThenFinish();
    s.m_errorCode = stage == PasswordStage::kInDoubt ? kErrNeitherPassword : kErrPasswordRefused;
    ShowPage("ConfigureFail.html");
  } else if (commands_stopped_) {
    // The window closes next: the proof was cut short, no message.
  } else if (failure >= 0) {
    ClearFieldsAtFault(*m_services.pages, failure);
    ShowMessage(failure);
    EndBusy();
  } else {
    // The camera is on this network: a short pause, then the live view.
    s.m_replyStatus = 0;
    s.m_errorCode = 0;
    StartFinderJob(kFinderPause);
  }
}

// ---- Network settings ----

void CQuenloDlg::OnNetworkNext() {
  int choice = 2;
  if (ReadPageChecked(*m_services.pages, "network_dhcp").value_or(false)) choice = 0;
  if (ReadPageChecked(*m_services.pages, "network_fixedip").value_or(false)) choice = 1;
  state_.m_fixedIp = choice;
  if (choice == 0) {
    ShowPage("IDPassword.html");
  } else if (choice == 1) {
    state_.m_netSettings.dhcp = 0;
    CheckProposal(&CQuenloDlg::ShowFixedIpPage);
  }
}

void CQuenloDlg::OnFixedIpNext() {
  if (FinderBusy()) return;
  state_.unreachable_kept = false;
  std::vector<AdapterEntry> adapters;
  if (m_finder) {
    m_finder->RefreshAdapters();
    adapters = m_finder->Adapters();
  }
  const int slot =
      ReadFixedIpFields(*m_services.pages, &state_.m_netSettings, [&](uint32_t address) {
        return std::any_of(adapters.begin(), adapters.end(), [&](const AdapterEntry& adapter) {
          return ParseDottedAddress(adapter.ipAddress) == address;
        });
      });
  if (slot >= 0) return ShowMessage(slot);
  if (ConfirmFixedIpReach(adapters)) CheckTypedAddress();
}

// Settings the camera takes that leave it out of this computer's reach, or
// with a gateway it may not use, are asked about before anything is sent.
bool CQuenloDlg::ConfirmFixedIpReach(const std::vector<AdapterEntry>& adapters) {
  const NetSettings& n = state_.m_netSettings;
  const bool unreachable = OutsideEveryNetwork(adapters, n.ipAddress);
  if (unreachable && !AskToKeepSettings(kAskIpUnreachable)) return false;
  if (IsGatewayElsewhere(n.ipAddress, n.subnetMask, n.gateway) &&
      !AskToKeepSettings(kAskGatewayElsewhere))
    return false;
  state_.unreachable_kept = unreachable;
  return true;
}

// "Change it" leaves the page with the field the question is about focused.
bool CQuenloDlg::AskToKeepSettings(int slot) {
  const NetSettings& n = state_.m_netSettings;
  const std::string question =
      FillInSettings(state_.m_messages[slot], n.ipAddress, n.subnetMask, n.gateway);
  if (m_services.messages->Ask(state_.m_title, question, kKeepSettings, kChangeSettings))
    return true;
  CallScript("QuenloFocus", {MessageLookOf(slot).field});
  return false;
}

void CQuenloDlg::OnFixedIpAuto() {
  if (!m_finder || FinderBusy()) return;
  const std::optional<CameraRecord> camera = SelectedCamera();
  if (!camera) return;
  NetSettings& settings = state_.m_netSettings;
  m_finder->ProposeSettings(*camera, &settings.ipAddress, &settings.subnetMask, &settings.gateway,
                            &settings.dns1, &settings.dns2);
  CheckProposal(&CQuenloDlg::FillCheckedProposal);
}

// The command's credential field holds 63 bytes: a longer password cannot
// be the camera's, and nothing is sent.
void CQuenloDlg::ApplyOverDiscovery(const CameraRecord& camera) {
  WizardState& s = state_;
  char mac[13];
  FormatMacText(camera.header.macAddress, mac);
  std::string password = Utf8ToLatin1(s.m_password);
  const bool fits = m_finder->SetTarget(
      camera.adapterAddress, DottedAddress(RecordIpAddress(camera)).c_str(), mac, password.c_str());
  WipeText(password);
  if (!fits) return ShowMessage(kMsgPwIncorrect);
  if (s.m_fixedIp == 0) {
    s.m_netSettings.dhcp = 1;
    m_finder->addressMode = 1;
  } else {
    m_finder->SetAddressSettings(0, DottedAddress(s.m_netSettings.ipAddress).c_str(),
                                 DottedAddress(s.m_netSettings.subnetMask).c_str(),
                                 DottedAddress(s.m_netSettings.gateway).c_str());
  }
  s.m_replyStatus = 0;
  s.m_noReply = true;
  s.m_errorCode = 0;
  s.m_changingSettings = true;
  busy_ = true;
  StartFinderJob(kCommandSetAddress);
}

void CQuenloDlg::OnSettingsResult(uint8_t status) {
  WizardState& s = state_;
  if (status != 0) {
    // The camera restarts its network with the new settings meanwhile.
    ShowPage("Setup.html");
    m_services.timers->Start(TIMER_SETTINGS_WAIT, s.m_settingsWaitMs);
    return;
  }
  s.m_changingSettings = false;
  if (s.m_noReply) {
    s.m_errorCode = kErrNoSettingsReply;  // the retry sends the same command again
    ShowPage("ConfigureFail.html");
  } else {
    // Refused: the user types the password again.
    m_finder->ForgetCredentials();
    WipeText(s.m_newPassword);
    ClearFieldsAtFault(*m_services.pages, kMsgPwIncorrect);
    ShowMessage(kMsgPwIncorrect);
    EndBusy();
  }
}

// ---- Finding the camera again ----

void CQuenloDlg::OnSettingsWaitOver() {
  WizardState& s = state_;
  s.m_changingSettings = false;
  s.m_rediscovering = true;
  if (std::optional<CameraRecord> camera = SelectedCamera()) s.m_targetCamera = *camera;
  m_services.timers->Start(TIMER_REDISCOVER, kRediscoverMs);
}

// A device that answers as the camera elsewhere is not it: after a fixed
// address the camera is only where it was sent, after DHCP only where the
// adapter that heard it can reach it. (No answer from this computer's own
// addresses reaches the list.)
std::vector<size_t> CQuenloDlg::RediscoveredCandidates(const CameraList::Row& row) {
  const WizardState& s = state_;
  std::vector<size_t> candidates;
  m_finder->RefreshAdapters();
  for (size_t i = 0; i < row.devices.size(); ++i) {
    const CameraRecord& device = row.devices[i];
    const uint32_t address = RecordIpAddress(device);
    bool fits = false;
    if (s.m_fixedIp != 0) {
      fits = address == s.m_netSettings.ipAddress;
    } else if (const AdapterEntry* adapter =
                   FindAdapter(m_finder->Adapters(), device.adapterAddress)) {
      const uint32_t own = ParseDottedAddress(adapter->ipAddress);
      const uint32_t mask = ParseDottedAddress(adapter->ipMask);
      fits = (address & mask) == (own & mask);
    }
    if (fits) candidates.push_back(i);
  }
  return candidates;
}

void CQuenloDlg::OnRediscovered() {
  WizardState& s = state_;
  // The settings command is over for good: its credentials go.
  m_finder->ForgetCredentials();
  s.m_selectedIndex = s.m_cameras.RowOf(s.m_targetCamera);
  s.selected_device = 0;
  const std::optional<CameraList::Row> row = s.m_cameras.RowAt(s.m_selectedIndex);
  const std::vector<size_t> candidates = row ? RediscoveredCandidates(*row) : std::vector<size_t>{};
  const std::optional<size_t> device = row ? ChooseDevice(*row, candidates) : std::nullopt;
  if (device) s.selected_device = *device;
  const std::optional<CameraRecord> camera = device ? SelectedCamera() : std::nullopt;
  if (!row) {
    s.m_errorCode = kErrNotFoundAgain;
  } else if (candidates.size() > 1 && !device) {
    s.m_errorCode = kErrNoDeviceChosen;
  } else if (!camera && s.m_fixedIp != 0) {
    // Answers only where the camera was not sent: it was not found.
    s.m_errorCode = kErrNotFoundAgain;
    s.m_selectedIndex = -1;
  } else if (!camera || !m_finder->IsSameSubnet(*camera)) {
    s.m_errorCode = kErrOtherSubnet;
  } else if (s.m_changePassword) {
    return StartPasswordJob(*camera, false, PasswordStage::kRediscovered);
  } else {
    return StartLiveViewThenFinish();
  }
  ShowPage("ConfigureFail.html");
}

// The live view keeps the copy of the password it logs in with; nothing on
// from the finish page needs another, so the dialog's goes.
void CQuenloDlg::StartLiveViewThenFinish() {
  WizardState& s = state_;
  const std::optional<CameraRecord> camera = SelectedCamera();
  s.factory_password_kept = s.m_password == s.m_factoryPassword;
  const bool started = camera && live_.Start(*camera, s.m_password);
  WipeText(s.m_password);
  if (started) {
    m_services.timers->Start(TIMER_LIVE_START, kLiveStartMs);
  } else {
    ShowPage("Finish.html");
  }
}

void CQuenloDlg::OnConfigFailLoaded() {
  const WizardState& s = state_;
  int slot;
  switch (s.m_errorCode) {
    case kErrNotFoundAgain:
      slot = kMsgRediscoveryFail;
      break;
    case kErrNoSettingsReply:
      slot = s.m_fixedIp == 0 ? kMsgSetDhcpFail : kMsgSetFixedIpFail;
      break;
    case kErrOtherSubnet:
      slot = kMsgNotInSameSubnet;
      break;
    case kErrPasswordRefused:
      slot = kMsgChangePwdFail;
      break;
    case kErrNoDeviceChosen:
      slot = kMsgNoDeviceChosen;
      break;
    case kErrPasswordInDoubt:
      slot = kMsgChangePwdNoAnswer;
      break;
    case kErrNeitherPassword:
      slot = kMsgPwIncorrect;
      break;
    default:
      return;
  }
  if (s.m_fixedIp == 1 && s.unreachable_kept) return ShowKeptUnreachable(slot);
  CallScript("ConfigFailSetInfo", {s.m_messages[slot]});
}

// The user kept a fixed address outside this computer's networks: the page
// says where the camera is as far as that is known. Found again outside
// those networks: where it answers; not found: what it accepted.
void CQuenloDlg::ShowKeptUnreachable(int slot) {
  const WizardState& s = state_;
  const NetSettings& n = s.m_netSettings;
  const std::optional<CameraRecord> camera = SelectedCamera();
  std::string text = s.m_messages[slot];
  if (s.m_errorCode == kErrNotFoundAgain) {
    text = FillInSettings(s.m_messages[kMsgKeptUnreachableNotFound], n.ipAddress, n.subnetMask,
                          n.gateway);
  } else if (s.m_errorCode == kErrOtherSubnet && camera && m_finder &&
             OutsideEveryNetwork(m_finder->Adapters(), RecordIpAddress(*camera))) {
    text = FillInSettings(s.m_messages[kMsgKeptUnreachableFound], RecordIpAddress(*camera),
                          RecordSubnetMask(*camera), n.gateway);
  }
  CallScript("ConfigFailSetInfo", {text});
}

void CQuenloDlg::OnConfigFailRetry() {
  WizardState& s = state_;
  s.m_replyStatus = 0;
  switch (s.m_errorCode) {
    case kErrNotFoundAgain:
    case kErrNoDeviceChosen:
      s.m_rediscovering = true;
      s.m_cameras.Clear();
      s.other_models.Clear();
      StartFinderJob(kCommandSearch);
      ShowPage("Setup.html");
      break;
    case kErrNoSettingsReply:
      // The finder still holds the target and settings of the first attempt.
      s.m_changingSettings = true;
      StartFinderJob(kCommandSetAddress);
      ShowPage("Setup.html");
      break;
    case kErrOtherSubnet:
      ShowPage("NetWork.html");  // the page host finds the file whatever the case
      break;
    case kErrPasswordRefused:
    case kErrNeitherPassword:
      ShowPage("IDPassword.html");
      break;
    case kErrPasswordInDoubt:
      if (const std::optional<CameraRecord> camera = SelectedCamera()) {
        ShowPage("Setup.html");
        StartProofOfEither(*camera);
      }
      break;
    default:
      break;
  }
}
