#include "app/quenlo_dlg.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <functional>
#include <new>
#include <random>
#include <system_error>
#include <thread>

#include "app/about_dlg.h"
#include "app/app_paths.h"
#include "app/camera_password.h"
#include "app/entry_rules.h"
#include "app/launch_target.h"
#include "app/profile.h"
#include "app/text_convert.h"
#include "app/wizard_messages.h"
#include "net/wipe.h"

namespace {

const char* const kMenuKeys[CQuenloDlg::kMenuCount] = {"IPSetup", "VigilonPro", "Manual", "QIG",
                                                       "ProDuctReg"};
constexpr uint8_t kFinderPause = 0;

constexpr const char* kStartFailedHeading = "The set-up cannot start";
constexpr const char* kQuitWhileChangingQuestion =
    "The camera is changing its network settings. If you quit now it may not be reachable until "
    "you run the set-up again. Quit anyway?";
constexpr const char* kTwinSend = "Send";
constexpr const char* kTwinKeep = "Don't send";

// Error codes of the failure page.
constexpr int kErrNotFoundAgain = 0;
constexpr int kErrNoSettingsReply = 1;
constexpr int kErrOtherSubnet = 2;
constexpr int kErrPasswordRefused = 3;

constexpr const char* kCreateFinderFailed = "Error Code: 0x00000001";
constexpr const char* kCreateVideoFailed = "Error Code: 0x00000002";
constexpr const char* kCreateAudioFailed = "Error Code: 0x00000003";

bool SameMac(const CameraRecord& a, const CameraRecord& b) {
  return std::memcmp(a.header.macAddress, b.header.macAddress, 6) == 0;
}

uint64_t MacKey(const CameraRecord& record) {
  uint64_t key = 0;
  for (uint8_t byte : record.header.macAddress) key = key << 8 | byte;
  return key;
}

uint64_t RandomSalt() {
  try {
    std::random_device random;
    return uint64_t{random()} << 32 | random();
  } catch (...) {  // no randomness to be had: the start time, unseen by a sender, will do
    return static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  }
}

// Each byte becomes one wide character, as the camera's 8-bit texts do.
std::wstring WidenBytes(const std::string& bytes) {
  std::wstring wide;
  for (unsigned char c : bytes) wide.push_back(static_cast<wchar_t>(c));
  return wide;
}

std::string UpperAscii(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::string MacTextUpper(const CameraRecord& record) {
  char text[13];
  FormatMacText(record.header.macAddress, text);
  return UpperAscii(text);
}

// splitmix64's finaliser over the salted MAC.
size_t CQuenloDlg::MacHash::operator()(uint64_t mac) const {
  static const uint64_t salt = RandomSalt();
  uint64_t x = mac ^ salt;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9u;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebu;
  return static_cast<size_t>(x ^ (x >> 31));
}

std::string CameraWebAddress(const CameraRecord& record) {
  return "http://" + DottedAddress(RecordIpAddress(record)) + ":" +
         std::to_string(RecordHttpPort(record)) + "/";
}

// The element ids and their handlers.
const CQuenloDlg::EventEntry CQuenloDlg::kEventMap[] = {
    {"ButtonOK", &CQuenloDlg::OnButtonOk},
    {"ButtonCancel", &CQuenloDlg::OnButtonCancel},
    {"main_btn_install_camera", &CQuenloDlg::OnShowMac},
    {"main_btn_ipsetup", &CQuenloDlg::OnMenuIpSetup},
    {"main_btn_vigilonPro", &CQuenloDlg::OnMenuViewer},
    {"main_btn_manual", &CQuenloDlg::OnMenuManual},
    {"main_btn_qig", &CQuenloDlg::OnMenuQig},
    {"main_btn_product_reg", &CQuenloDlg::OnMenuProductReg},
    {"exit", &CQuenloDlg::OnExit},
    {"home", &CQuenloDlg::OnHome},
    {"mac_back", &CQuenloDlg::OnMacBack},
    {"mac_next", &CQuenloDlg::OnShowPower},
    {"power_back", &CQuenloDlg::OnShowMac},
    {"power_next", &CQuenloDlg::OnShowEthernet},
    {"ethernet_back", &CQuenloDlg::OnShowPower},
    {"ethernet_next", &CQuenloDlg::OnStartSearch},
    {"not_found_back", &CQuenloDlg::OnShowEthernet},
    {"not_found_retry", &CQuenloDlg::OnStartSearch},
    {"list_back", &CQuenloDlg::OnShowEthernet},
    {"list_retry", &CQuenloDlg::OnStartSearch},
    {"id_pw_back", &CQuenloDlg::OnIdPwBack},
    {"network_back", &CQuenloDlg::OnNetworkBack},
    {"fixedip_back", &CQuenloDlg::OnFixedIpBack},
    {"finish_next", &CQuenloDlg::OnFinishNext},
    {"finish_name", &CQuenloDlg::OnCameraWebPage},
    {"finish_hg", &CQuenloDlg::OnCameraWebPage},
    {"finish_app", &CQuenloDlg::OnFinishApp},
    {"list_next", &CQuenloDlg::OnListNext},
    {"id_pw_next", &CQuenloDlg::OnIdPwNext},
    {"network_next", &CQuenloDlg::OnNetworkNext},
    {"fixedip_next", &CQuenloDlg::OnFixedIpNext},
    {"fixedip_auto", &CQuenloDlg::OnFixedIpAuto},
    {"config_fail_retry", &CQuenloDlg::OnConfigFailRetry},
};

CQuenloDlg::CQuenloDlg(const DialogServices& services, std::string exe_path)
    : m_liveWnd(services.live), m_services(services), m_exePath(std::move(exe_path)) {}

// Owners delete the workers in OnDestroy; this only covers a dialog whose
// window never opened.
CQuenloDlg::~CQuenloDlg() { OnDestroy(); }

bool CQuenloDlg::OnInitDialog() {
  m_services.window->AddAboutItem(kAboutItemText);
  ResetState();
  m_baseFolder = BaseFolderFromExecutable(m_exePath);
  m_htmlFolder = HtmlFolderFromBase(m_baseFolder);
  LoadConfiguration();
  // A worker that can't be made ends the program; nothing after it uses it.
  m_finder = CreateFinder();
  const char* failure = !m_finder ? kCreateFinderFailed : nullptr;
  if (!failure && !(m_video = CreateVideo())) failure = kCreateVideoFailed;
  if (!failure && !(m_audio = CreateAudio())) failure = kCreateAudioFailed;
  if (!failure) {
    m_video->SetClock(clock());
    m_audio->SetClock(clock());
  }
  if (failure) {
    MessageBox(failure);
    m_services.window->PostQuit(0);
    return true;
  }
  m_liveWnd->Hide();
  m_video->SetLiveWindow(m_liveWnd->Target());
  ShowPage(FirstPage());
  return true;
}

void CQuenloDlg::ResetState() {
  m_waiting = 0;
  m_rediscovering = 0;
  m_sameSubnet = 0;
  m_replyStatus = 0;
  m_closing = 0;
  m_showMenu = 0;
  m_selectedIndex = -1;
  m_password = kStartPassword;
  m_errorCode = 0;
  m_noReply = 1;
  m_fixedIp = 0;
  m_changePassword = 0;
  WipeText(m_newPassword);
  std::lock_guard<std::mutex> lock(m_pendingMutex);
  m_pendingPage.clear();
}

void CQuenloDlg::LoadConfiguration() {
  ProfileFile config, messages;
  config.Load(m_htmlFolder + "Config.ini");
  messages.Load(m_htmlFolder + "Message.ini");
  for (int i = 0; i < kMessageCount; ++i)
    m_messages[i] = messages.GetString("Message", MessageKey(i), "");
  // Taken as written: OpenTarget decides what each one may open.
  for (int i = 0; i < kMenuCount; ++i) {
    m_menuTargets[i] = config.GetString("Menu", kMenuKeys[i], "");
  }
  m_model = config.GetString("System", "Model", "");
  m_password = config.GetString("Default_Password", "Default", "");
  m_factoryPassword = m_password;
  m_title = config.GetString("System", "Title", "");
  m_services.window->SetTitle(m_title);
  m_services.window->SetClientSize(config.GetInt("System", "WindowWidth", 0),
                                   config.GetInt("System", "WindowHeight", 0));
  m_showMenu = config.GetInt("System", "Menu", 0);
  if (m_showMenu == 0) {
    m_title = config.GetString("System", "Title2", "");
    m_services.window->SetTitle(m_title);
  }
}

std::unique_ptr<NTavoIPFinderThread> CQuenloDlg::CreateFinder() {
  return NTavoIPFinderThread::Create(&CQuenloDlg::FinderThunk, this, clock());
}

std::unique_ptr<NTavoVideoThread> CQuenloDlg::CreateVideo() {
  return std::unique_ptr<NTavoVideoThread>(new (std::nothrow) NTavoVideoThread);
}

std::unique_ptr<NTavoAudioThread> CQuenloDlg::CreateAudio() {
  return std::unique_ptr<NTavoAudioThread>(new (std::nothrow) NTavoAudioThread);
}

std::string CQuenloDlg::FirstPage() const { return m_showMenu >= 1 ? "Main.html" : "Mac.html"; }

void CQuenloDlg::OnDestroy() {
  m_closing = 1;
  closing_signal_.Signal();
  StopCameraCommands();
  auto stop_and_delete = [this](auto& worker) {
    if (!worker) return;
    worker->Stop();
    WaitForWorker(worker.get(), -1);
    worker.reset();
  };
  stop_and_delete(m_finder);
  stop_and_delete(m_video);
  stop_and_delete(m_audio);
  WipeText(m_password);
  WipeText(m_newPassword);
}

void CQuenloDlg::WaitForWorker(UThread* worker, int max_polls) {
  for (int polls = 0; worker && worker->IsRunning(); ++polls) {
    if (max_polls >= 0 && polls >= max_polls) return;
    m_services.window->PollPause(UThread::kPollMs);
  }
}

void CQuenloDlg::OnTimer(int id) {
  if (id == TIMER_SHOW_PAGE) {
    m_services.timers->Kill(id);
    m_pagePending = false;
    ++m_navigations;
    m_services.pages->Navigate(PendingPage());
  } else if (id == TIMER_REDISCOVER) {
    m_services.timers->Kill(id);
    // The re-discovery search starts once the previous job has ended, or
    // after about 1.1 s regardless.
    WaitForWorker(m_finder.get(), kRediscoverPolls);
    StartSearch();
  }
}

void CQuenloDlg::OnSysCommand(int id) {
  if ((id & 0xFFF0) != kAboutCommand) return;
  CAboutDlg about(m_title);
  m_services.window->ShowAbout(about);
}

std::string CQuenloDlg::PendingPage() const {
  std::lock_guard<std::mutex> lock(m_pendingMutex);
  return m_pendingPage;
}

void CQuenloDlg::ShowPage(const std::string& page) {
  ++m_navigations;
  m_services.pages->Navigate(m_htmlFolder + page);
}

void CQuenloDlg::ShowPageLater(const std::string& page) {
  {
    std::lock_guard<std::mutex> lock(m_pendingMutex);
    m_pendingPage = m_htmlFolder + page;
  }
  m_pagePending = true;
  m_services.timers->Start(TIMER_SHOW_PAGE, kShowPageMs);
}

bool CQuenloDlg::CallScript(const std::string& function, const std::vector<std::string>& args) {
  return m_services.pages->CallScript(function, args);
}

void CQuenloDlg::MessageBox(const std::string& text) {
  m_services.messages->Show(m_title, {kStartFailedHeading, text, ""});
}

void CQuenloDlg::ShowMessage(int slot) {
  const MessageLook& look = MessageLookOf(slot);
  m_services.messages->Show(m_title, {look.heading, m_messages[slot], look.field});
}

void CQuenloDlg::StopCameraCommands() {
  commands_stopped_ = true;
  command_stop_.Signal();
}

bool CQuenloDlg::OnCloseRequest() {
  const bool quit = !m_changingSettings ||
                    m_services.messages->Ask(m_title, kQuitWhileChangingQuestion, "Quit", "Stay");
  // A camera command must not hold the window: it may wait for its deadline.
  if (quit) StopCameraCommands();
  return quit;
}

void CQuenloDlg::StopLiveView() {
  if (m_video) m_video->Stop();
  if (m_audio) m_audio->Stop();
  while ((m_video && m_video->IsRunning()) || (m_audio && m_audio->IsRunning())) {
    m_services.window->PollPause(UThread::kPollMs);
  }
}

void CQuenloDlg::HideLiveWindow() { m_liveWnd->Hide(); }

bool CQuenloDlg::IsPage(const std::string& upper_path, const char* page) const {
  return upper_path == UpperAscii(m_htmlFolder + page);
}

void CQuenloDlg::OnDocumentComplete(const std::string& path) {
  const std::string upper = UpperAscii(path);
  if (IsPage(upper, "Mac.html")) {
    OnMacLoaded();
  } else if (IsPage(upper, "NotFound.html")) {
    OnNotFoundLoaded();
  } else if (IsPage(upper, "List.html")) {
    OnListLoaded();
  } else if (IsPage(upper, "IDPassword.html")) {
    OnIdPasswordLoaded();
  } else if (IsPage(upper, "Network.html")) {
    OnNetworkLoaded();
  } else if (IsPage(upper, "FixedIP.html")) {
    OnFixedIpLoaded();
  } else if (IsPage(upper, "Finish.html")) {
    ShowFinishInfo();
  } else if (IsPage(upper, "ConfigureFail.html")) {
    ShowConfigFailInfo();
  }
}

void CQuenloDlg::OnMacLoaded() {
  if (m_showMenu == 0) CallScript("HideHomeAndBackButton", {});
}

// One row per camera: number from 1, model name, MAC in upper case, then
// what tells cameras of one model apart: the name, the current address,
// whether it is on this computer's network ("1") or not ("0"), and the
// warning when another device answered with its MAC (empty otherwise).
void CQuenloDlg::OnListLoaded() {
  std::vector<CameraRecord> cameras;
  std::vector<bool> twins;
  size_t unlisted = 0;
  {
    std::lock_guard<std::mutex> lock(m_camerasMutex);
    cameras = m_cameras;
    for (const CameraRecord& camera : cameras) {
      const auto listed = listed_macs_.find(MacKey(camera));
      twins.push_back(listed != listed_macs_.end() && listed->second.twin);
    }
    unlisted = unlisted_macs_.size();
  }
  // The search's job may still be ending; the subnet test reads the adapter
  // list that job writes.
  WaitForWorker(m_finder.get(), kRediscoverPolls);
  if (std::vector<std::string> lost = LostAnswersFinding(); !lost.empty())
    CallScript("ListShowLostAnswers", lost);
  if (unlisted > 0)
    CallScript("ListShowMoreCameras", {std::to_string(unlisted), std::to_string(cameras.size())});
  const std::vector<bool> here = SameSubnetFlags(cameras);
  for (size_t i = 0; i < cameras.size(); ++i) {
    CallScript("ListAddCamera", {std::to_string(i + 1), Latin1ToUtf8(RecordModelName(cameras[i])),
                                 MacTextUpper(cameras[i]), RepairUtf8(RecordCameraName(cameras[i])),
                                 DottedAddress(RecordIpAddress(cameras[i])), here[i] ? "1" : "0",
                                 twins[i] ? kTwinWarning : ""});
  }
}

std::vector<bool> CQuenloDlg::SameSubnetFlags(const std::vector<CameraRecord>& cameras) {
  std::vector<bool> flags(cameras.size(), false);
  if (!m_finder || m_finder->IsRunning()) return flags;
  m_finder->RefreshAdapters();
  const std::vector<AdapterEntry>& adapters = m_finder->Adapters();
  for (size_t i = 0; i < cameras.size(); ++i) flags[i] = ::IsSameSubnet(adapters, cameras[i]);
  return flags;
}

// What this computer shows that may have kept the answers away, as pairs
// of what was found and what to do.
void CQuenloDlg::OnNotFoundLoaded() {
  if (!m_finder) return;
  WaitForWorker(m_finder.get(), kRediscoverPolls);  // the search's job may still be ending
  if (m_finder->IsRunning()) return;
  std::vector<std::string> findings = LostAnswersFinding();
  for (const SearchFinding& finding : m_finder->DiagnoseSearch()) {
    findings.push_back(finding.found);
    findings.push_back(finding.todo);
  }
  CallScript("NotFoundShowFindings", findings);
}

// Answers lost for a full receive buffer need a larger one, which only root
// can grant an ordinary user: the pages say so, with the command, as a
// (what was found, what to do) pair. Empty when nothing was lost.
std::vector<std::string> CQuenloDlg::LostAnswersFinding() const {
  const uint32_t lost = m_finder ? m_finder->LostAnswers() : 0;
  if (lost == 0) return {};
  return {std::to_string(lost) +
              " answers were lost: this computer's receive buffer is too small for so many "
              "cameras answering at once.",
          "Raise its limit, then search again: sudo sysctl -w net.core.rmem_max=4194304"};
}

void CQuenloDlg::OnIdPasswordLoaded() {
  m_services.pages->SetAttribute("id_pw_password", "value", m_password);
}

void CQuenloDlg::OnNetworkLoaded() {
  CallScript(m_fixedIp != 0 ? "ClickFixedIP" : "ClickDHCP", {});
}

void CQuenloDlg::OnFixedIpLoaded() { FillFixedIpFields(); }

// A setting not known (0) leaves its field as it is.
void CQuenloDlg::FillFixedIpFields() {
  const std::pair<const char*, uint32_t> fields[] = {{"fixedip_ip", m_netSettings.ipAddress},
                                                     {"fixedip_mask", m_netSettings.subnetMask},
                                                     {"fixedip_gw", m_netSettings.gateway}};
  for (const auto& [id, address] : fields) {
    if (address != 0) m_services.pages->SetAttribute(id, "value", DottedAddress(address));
  }
}

void CQuenloDlg::ShowConfigFailInfo() {
  int slot;
  switch (m_errorCode.load()) {
    case kErrNotFoundAgain:
      slot = kMsgRediscoveryFail;
      break;
    case kErrNoSettingsReply:
      slot = m_fixedIp == 0 ? kMsgSetDhcpFail : kMsgSetFixedIpFail;
      break;
    case kErrOtherSubnet:
      slot = kMsgNotInSameSubnet;
      break;
    case kErrPasswordRefused:
      slot = kMsgChangePwdFail;
      break;
    default:
      return;
  }
  CallScript("ConfigFailSetInfo", {m_messages[slot]});
}

// A page shows itself busy the moment its main button is pressed; a click
// that leaves the page where it is tells it the work is over.
bool CQuenloDlg::OnElementClick(const std::string& id) {
  for (const EventEntry& entry : kEventMap) {
    if (id == entry.id) {
      const int navigations = m_navigations;
      (this->*entry.handler)();
      if (m_navigations == navigations && !m_pagePending) CallScript("QuenloIdle", {});
      return true;
    }
  }
  return false;
}

void CQuenloDlg::OnButtonOk() { m_services.window->PostQuit(1); }
void CQuenloDlg::OnButtonCancel() { m_services.window->PostQuit(2); }
void CQuenloDlg::OnShowMac() { ShowPage("Mac.html"); }
// A target that may not be opened is dropped as silently as a launch that
// fails.
void CQuenloDlg::OpenTarget(const std::string& target) {
  if (std::optional<std::string> resolved = ResolveLaunchTarget(target, m_baseFolder)) {
    m_services.shell->Open(*resolved);
  }
}
void CQuenloDlg::OnMenuIpSetup() { OpenTarget(m_menuTargets[0]); }
void CQuenloDlg::OnMenuViewer() { OpenTarget(m_menuTargets[1]); }
void CQuenloDlg::OnMenuManual() { OpenTarget(m_menuTargets[2]); }
void CQuenloDlg::OnMenuQig() { OpenTarget(m_menuTargets[3]); }
void CQuenloDlg::OnMenuProductReg() { OpenTarget(m_menuTargets[4]); }
void CQuenloDlg::OnFinishApp() { OpenTarget(kMakerAppUrl); }

std::optional<CameraRecord> CQuenloDlg::CameraAt(int index) const {
  std::lock_guard<std::mutex> lock(m_camerasMutex);
  if (index < 0 || static_cast<size_t>(index) >= m_cameras.size()) return std::nullopt;
  return m_cameras[static_cast<size_t>(index)];
}

size_t CQuenloDlg::CameraCount() const {
  std::lock_guard<std::mutex> lock(m_camerasMutex);
  return m_cameras.size();
}

std::optional<CameraRecord> CQuenloDlg::SelectedCamera() const {
  return CameraAt(m_selectedIndex.load());
}

// Without a chosen camera there is no address to open: the click is ignored.
void CQuenloDlg::OnCameraWebPage() {
  if (std::optional<CameraRecord> camera = SelectedCamera()) OpenTarget(CameraWebAddress(*camera));
}

void CQuenloDlg::OnExit() {
  StopLiveView();
  HideLiveWindow();
  m_services.window->PostQuit(0);
}

void CQuenloDlg::OnHome() {
  if (m_finder && m_finder->IsRunning()) return;
  StopLiveView();
  HideLiveWindow();
  ShowPage(FirstPage());
  m_changePassword = 0;
  m_rediscovering = 0;
  WipeText(m_password);
  m_password = kStartPassword;
  WipeText(m_newPassword);
  if (m_finder) m_finder->ForgetCredentials();
}

void CQuenloDlg::OnMacBack() { ShowPage(FirstPage()); }
void CQuenloDlg::OnShowPower() { ShowPage("Power.html"); }
void CQuenloDlg::OnShowEthernet() { ShowPage("Ethernet.html"); }

void CQuenloDlg::OnStartSearch() {
  ShowPage("WaitSearch.html");
  StartSearch();
}

void CQuenloDlg::OnIdPwBack() {
  if (m_finder && m_finder->IsRunning()) return;
  if (m_sameSubnet) {
    ShowPage("List.html");
  } else {
    ShowPage(m_fixedIp == 1 ? "FixedIP.html" : "Network.html");
  }
}

void CQuenloDlg::OnNetworkBack() { ShowPage("List.html"); }
void CQuenloDlg::OnFixedIpBack() { ShowPage("Network.html"); }

void CQuenloDlg::OnFinishNext() {
  StopLiveView();
  HideLiveWindow();
  ShowPage("Finish2.html");
}

// ---- Search and selection ----

void CQuenloDlg::FinderThunk(void* context, const void* data, int eventType, bool done) {
  if (context) static_cast<CQuenloDlg*>(context)->OnFinderEvent(data, eventType, done);
}

void CQuenloDlg::OnFinderEvent(const void* data, int eventType, bool done) {
  if (m_closing) return;
  if (eventType == kFinderPause) {
    OnFinderIdle();
  } else if (eventType == kCommandSearch && done) {
    OnSearchFinished();
  } else if (eventType == kCommandSearch) {
    CameraRecord record{};
    if (data) std::memcpy(&record, data, sizeof record);
    if (RecordModelName(record) == Utf8ToLatin1(m_model)) AddCamera(record);
  } else if (eventType == kCommandSetAddress && !done) {
    m_noReply = 0;
    m_replyStatus = data ? *static_cast<const uint8_t*>(data) : 0;
  } else if (eventType == kCommandSetAddress) {
    OnSettingsResult(m_replyStatus);
  }
}

// A repeated answer (a camera heard twice, or through two adapters) changes
// nothing; the same MAC from another address is an impostor or a copied
// MAC, and the first row is kept and marked.
void CQuenloDlg::AddCamera(const CameraRecord& record) {
  const uint64_t key = MacKey(record);
  std::lock_guard<std::mutex> lock(m_camerasMutex);
  if (const auto listed = listed_macs_.find(key); listed != listed_macs_.end()) {
    const CameraRecord& first = m_cameras[listed->second.row];
    if (RecordIpAddress(first) != RecordIpAddress(record)) listed->second.twin = true;
  } else if (m_cameras.size() < kMaxListedCameras) {
    listed_macs_.emplace(key, ListedMac{m_cameras.size(), false});
    m_cameras.push_back(record);
  } else if (unlisted_macs_.size() < kMaxCountedCameras) {
    unlisted_macs_.insert(key);
  }
}

void CQuenloDlg::ClearCameras() {
  std::lock_guard<std::mutex> lock(m_camerasMutex);
  m_cameras.clear();
  listed_macs_.clear();
  unlisted_macs_.clear();
}

bool CQuenloDlg::HasTwin(const CameraRecord& camera) const {
  std::lock_guard<std::mutex> lock(m_camerasMutex);
  const auto listed = listed_macs_.find(MacKey(camera));
  return listed != listed_macs_.end() && listed->second.twin;
}

void CQuenloDlg::StartSearch() {
  ClearCameras();
  m_replyStatus = 0;
  m_errorCode = 0;
  // While an earlier job still runs it goes on; its answers and end are
  // handled as those of this search.
  StartFinderJob(kCommandSearch);
}

void CQuenloDlg::StartFinderJob(int commandCode) {
  if (!m_finder || m_finder->IsRunning()) return;
  m_finder->commandCode = commandCode;
  if (m_finder->Start()) return;
  if (!m_finder->IsRunning()) OnFinderEvent(nullptr, commandCode, true);
}

template <typename Work>
auto CQuenloDlg::WhileWaiting(Work work) -> decltype(work()) {
  decltype(work()) result{};
  std::atomic<bool> done{false};
  std::thread worker;
  try {
    worker = std::thread([&] {
      result = work();
      done = true;
    });
  } catch (const std::system_error&) {
    return work();  // no thread to spare: the window waits without repainting
  }
  while (!done) {
    // A close asked for meanwhile is handled once this wait is over; the work
    // is cut short so that the wait ends now. Quitting while the settings
    // change would ask first, and the answer may be "Stay".
    if (m_services.window->CloseRequested() && !m_changingSettings) StopCameraCommands();
    m_services.window->PollPause(kWorkPollMs);
  }
  worker.join();
  return result;
}

// The address checks of quenlo_dlg_address_check.cpp wait through this one.
template bool CQuenloDlg::WhileWaiting(std::function<bool()>);

// A close asked for meanwhile ends the wait: the window then closes at once
// instead of after the job, which goes on until the shut-down stops it.
void CQuenloDlg::WaitForFinderJob() {
  while (m_waiting && !m_closing && !m_services.window->CloseRequested())
    m_services.window->PollPause(UThread::kPollMs);
}

void CQuenloDlg::SleepUnlessClosing(int ms) {
  if (!m_closing) clock().Sleep(std::chrono::milliseconds(ms), &closing_signal_);
}

void CQuenloDlg::OnSearchFinished() {
  std::string next;
  if (!m_rediscovering) {
    next = CameraCount() == 0 ? "NotFound.html" : "List.html";
  } else {
    // The settings command is over for good: its credentials go.
    m_finder->ForgetCredentials();
    m_selectedIndex = -1;
    std::optional<CameraRecord> camera;
    {
      std::lock_guard<std::mutex> lock(m_camerasMutex);
      for (size_t i = 0; i < m_cameras.size(); ++i) {
        if (!SameMac(m_cameras[i], m_targetCamera)) continue;
        m_selectedIndex = static_cast<int>(i);
        camera = m_cameras[i];
        break;
      }
    }
    next = "ConfigureFail.html";
    if (!camera) {
      m_errorCode = kErrNotFoundAgain;
    } else if (!m_finder->IsSameSubnet(*camera)) {
      m_errorCode = kErrOtherSubnet;
    } else if (m_changePassword && ProveAndChangePassword(*camera, false) >= 0) {
      m_errorCode = kErrPasswordRefused;
    } else {
      next = "Finish.html";
      StartLiveView();
    }
  }
  ShowPageLater(next);
}

void CQuenloDlg::OnFinderIdle() {
  m_waiting = 0;
  StartLiveView();
  ShowPageLater("Finish.html");
}

bool CQuenloDlg::FinderBusy() const { return m_finder && m_finder->IsRunning(); }

void CQuenloDlg::OnListNext() {
  if (!m_finder || FinderBusy()) return;
  m_selectedIndex = -1;
  twin_accepted_row_ = -1;
  const size_t count = CameraCount();
  for (size_t i = 0; i < count; ++i) {
    if (ReadChecked("list_radio" + std::to_string(i + 1)).value_or(false)) {
      m_selectedIndex = static_cast<int>(i);
      break;
    }
  }
  // No row checked: the list page stays.
  const std::optional<CameraRecord> camera = SelectedCamera();
  if (!camera) return;
  m_netSettings = NetSettings{};
  m_finder->ProposeSettings(*camera, &m_netSettings.ipAddress, &m_netSettings.subnetMask,
                            &m_netSettings.gateway, &m_netSettings.dns1, &m_netSettings.dns2);
  m_sameSubnet = m_finder->IsSameSubnet(*camera) ? 1 : 0;
  if (m_sameSubnet) {
    ShowPage("IDPassword.html");
  } else {
    m_fixedIp = 0;
    ShowPage("Network.html");
  }
}

// ---- Password page ----

std::optional<bool> CQuenloDlg::ReadChecked(const std::string& id) {
  const PageValue value = m_services.pages->GetAttribute(id, "checked");
  if (!std::holds_alternative<bool>(value)) return std::nullopt;
  return std::get<bool>(value);
}

std::optional<std::string> CQuenloDlg::ReadText(const std::string& id) {
  PageValue value = m_services.pages->GetAttribute(id, "value");
  if (!std::holds_alternative<std::string>(value)) return std::nullopt;
  return std::move(std::get<std::string>(value));  // no copy of a password is left behind
}

void CQuenloDlg::OnIdPwNext() {
  if (FinderBusy()) return;
  m_waiting = 1;
  if (!TakePasswordFields()) return;
  const std::optional<CameraRecord> camera = SelectedCamera();
  if (!camera || !m_finder) return;
  if (!ConfirmTwin(*camera)) {
    m_waiting = 0;
    return;
  }
  if (m_sameSubnet) {
    const int failure = WhileWaiting([&] { return ProveAndChangePassword(*camera, true); });
    // The window closes next: the proof was cut short, no message.
    if (commands_stopped_) return;
    if (failure >= 0) {
      ShowMessage(failure);
      return;
    }
    ApplySameSubnet();
  } else {
    ApplyOverDiscovery(*camera);
  }
}

// Retyping after a message is expected: the page keeps no password in its
// fields once the program holds it.
bool CQuenloDlg::TakePasswordFields() {
  std::optional<std::string> current = ReadText("id_pw_password");
  std::optional<std::string> typed = ReadText("id_pw_new_pw");
  std::string confirmation = ReadText("id_pw_cf_new_pw").value_or("");
  for (const char* id : {"id_pw_password", "id_pw_new_pw", "id_pw_cf_new_pw"})
    m_services.pages->SetAttribute(id, "value", "");
  if (current) {
    WipeText(m_password);
    m_password = *current;
    WipeText(*current);
  }
  if (const std::optional<bool> change = ReadChecked("id_pw_change_pw"))
    m_changePassword = *change ? 1 : 0;
  int refusal = -1;
  if (!m_changePassword) {
    WipeText(m_newPassword);
  } else {
    if (typed) {
      WipeText(m_newPassword);
      m_newPassword = *typed;
    }
    if (!IsPasswordFormatValid(m_newPassword)) {
      refusal = kMsgPwFormatError;
    } else if (m_newPassword != confirmation) {
      refusal = kMsgPwNotMatch;
    }
  }
  if (typed) WipeText(*typed);
  WipeText(confirmation);
  if (refusal < 0) return true;
  WipeText(m_newPassword);
  ShowMessage(refusal);
  return false;
}

// Asked once per chosen row, before the password goes out by HTTP or by
// discovery.
bool CQuenloDlg::ConfirmTwin(const CameraRecord& camera) {
  if (twin_accepted_row_ == m_selectedIndex || !HasTwin(camera)) return true;
  std::string mac = MacTextUpper(camera);
  for (size_t at = 10; at > 0; at -= 2) mac.insert(at, ":");
  const std::string question = std::string(kTwinWarning) + " (MAC " + mac +
                               ") from different addresses. One of them may be posing as your "
                               "camera to learn its password. Send the password anyway?";
  if (!m_services.messages->Ask(m_title, question, kTwinSend, kTwinKeep)) return false;
  twin_accepted_row_ = m_selectedIndex;
  return true;
}

int CQuenloDlg::ProveAndChangePassword(const CameraRecord& camera, bool prove) {
  const PasswordOutcome outcome = ::ProveAndChangePassword(
      camera, m_password, m_changePassword ? &m_newPassword : nullptr, prove, command_stop_.fd());
  if (outcome == PasswordOutcome::kDone && m_changePassword) {
    WipeText(m_password);
    m_password = m_newPassword;
  }
  WipeText(m_newPassword);
  switch (outcome) {
    case PasswordOutcome::kDone:
      return -1;
    case PasswordOutcome::kChangeRefused:
      return kMsgChangePwdFail;
    case PasswordOutcome::kRefused:
      break;
  }
  return kMsgPwIncorrect;
}

// ---- Applying the settings ----

void CQuenloDlg::ApplySameSubnet() {
  m_replyStatus = 0;
  m_errorCode = 0;
  StartFinderJob(kFinderPause);
  WaitForFinderJob();
}

void CQuenloDlg::ApplyOverDiscovery(const CameraRecord& camera) {
  char mac[13];
  FormatMacText(camera.header.macAddress, mac);
  std::string password = Utf8ToLatin1(m_password);
  // The command's credential field holds 63 bytes: a longer password cannot
  // be the camera's, and nothing is sent.
  const bool fits = m_finder->SetTarget(
      camera.adapterAddress, DottedAddress(RecordIpAddress(camera)).c_str(), mac, password.c_str());
  WipeText(password);
  if (!fits) {
    m_waiting = 0;
    ShowMessage(kMsgPwIncorrect);
    return;
  }
  if (m_fixedIp == 0) {
    m_netSettings.dhcp = 1;
    m_finder->addressMode = 1;
  } else {
    m_finder->SetAddressSettings(0, DottedAddress(m_netSettings.ipAddress).c_str(),
                                 DottedAddress(m_netSettings.subnetMask).c_str(),
                                 DottedAddress(m_netSettings.gateway).c_str());
  }
  m_replyStatus = 0;
  m_noReply = 1;
  m_errorCode = 0;
  m_changingSettings = true;
  StartFinderJob(kCommandSetAddress);
  WaitForFinderJob();
}

void CQuenloDlg::OnSettingsResult(uint8_t status) {
  m_waiting = 0;
  if (status != 0) {
    ShowPageLater("Setup.html");
    // The camera restarts its network with the new settings meanwhile.
    SleepUnlessClosing(m_settingsWaitMs);
    m_changingSettings = false;
    if (m_closing) return;
    m_rediscovering = 1;
    if (std::optional<CameraRecord> camera = SelectedCamera()) m_targetCamera = *camera;
    m_services.timers->Start(TIMER_REDISCOVER, kRediscoverMs);
    return;
  }
  m_changingSettings = false;
  if (m_noReply) {
    m_errorCode = kErrNoSettingsReply;  // the retry sends the same command again
    ShowPageLater("ConfigureFail.html");
  } else {
    // Refused: the user types the password again.
    m_finder->ForgetCredentials();
    WipeText(m_newPassword);
    ShowMessage(kMsgPwIncorrect);
  }
}

void CQuenloDlg::StartLiveView() {
  const std::optional<CameraRecord> camera = SelectedCamera();
  if (!camera) return;
  const std::wstring host = WidenBytes(DottedAddress(RecordIpAddress(*camera)));
  std::string narrow = Utf8ToLatin1(m_password);
  std::wstring password = WidenBytes(narrow);
  WipeText(narrow);
  bool started = false;
  for (NTavoStreamThread* worker : {static_cast<NTavoStreamThread*>(m_video.get()),
                                    static_cast<NTavoStreamThread*>(m_audio.get())}) {
    // A worker still running keeps its camera; its fields are its own then.
    if (!worker || worker->IsRunning()) continue;
    worker->SetCamera(host.c_str(), RecordHttpPort(*camera), password.c_str());
    started = worker->Start() || started;
  }
  WipeText(password);
  if (started) SleepUnlessClosing(kLiveStartMs);
}

void CQuenloDlg::ShowFinishInfo() {
  const std::optional<CameraRecord> camera = SelectedCamera();
  if (!camera) return;
  const std::string name =
      CutToUtf16Units(RepairUtf8(RecordCameraName(*camera)), kMaxFinishNameChars);
  CallScript("FinishSetInfo", {name, MacTextUpper(*camera), CameraWebAddress(*camera)});
  if (m_password == m_factoryPassword) CallScript("FinishWarnFactoryPassword", {});
  m_liveWnd->Show();
}

void CQuenloDlg::OnConfigFailRetry() {
  m_replyStatus = 0;
  switch (m_errorCode.load()) {
    case kErrNotFoundAgain:
      m_rediscovering = 1;
      ClearCameras();
      StartFinderJob(kCommandSearch);
      ShowPage("Setup.html");
      break;
    case kErrNoSettingsReply:
      // The finder still holds the target and settings of the first attempt.
      m_changingSettings = true;
      StartFinderJob(kCommandSetAddress);
      ShowPage("Setup.html");
      break;
    case kErrOtherSubnet:
      ShowPage("NetWork.html");  // the page host finds the file whatever the case
      break;
    case kErrPasswordRefused:
      ShowPage("IDPassword.html");
      break;
    default:
      break;
  }
}

// ---- Network settings ----

void CQuenloDlg::OnNetworkNext() {
  int choice = 2;
  if (ReadChecked("network_dhcp").value_or(false)) choice = 0;
  if (ReadChecked("network_fixedip").value_or(false)) choice = 1;
  m_fixedIp = choice;
  if (choice == 0) {
    ShowPage("IDPassword.html");
  } else if (choice == 1) {
    m_netSettings.dhcp = 0;
    CheckProposedAddress();
    ShowPage("FixedIP.html");
  }
}

void CQuenloDlg::OnFixedIpNext() {
  if (FinderBusy()) return;
  if (ReadFixedIpFields() && ConfirmTypedAddress()) ShowPage("IDPassword.html");
}

void CQuenloDlg::OnFixedIpAuto() {
  if (!m_finder || FinderBusy()) return;
  const std::optional<CameraRecord> camera = SelectedCamera();
  if (!camera) return;
  m_finder->ProposeSettings(*camera, &m_netSettings.ipAddress, &m_netSettings.subnetMask,
                            &m_netSettings.gateway, &m_netSettings.dns1, &m_netSettings.dns2);
  CheckProposedAddress();
  FillFixedIpFields();
}

bool CQuenloDlg::ReadFixedIpFields() {
  struct Field {
    const char* id;
    uint32_t* value;
    int slot;
    bool pass;
  };
  Field fields[] = {{"fixedip_ip", &m_netSettings.ipAddress, kMsgIpIncorrect, false},
                    {"fixedip_mask", &m_netSettings.subnetMask, kMsgMaskIncorrect, false},
                    {"fixedip_gw", &m_netSettings.gateway, kMsgGatewayIncorrect, false}};
  for (Field& field : fields) {
    const std::optional<std::string> text = ReadText(field.id);
    if (!text) continue;
    const std::string narrow = Utf8ToLatin1(*text).substr(0, 259);
    *field.value = inet_addr(narrow.c_str());  // unparsable: 255.255.255.255
    field.pass = IsDottedText(narrow);
  }
  if (fields[0].pass) {
    const std::optional<CameraRecord> camera = SelectedCamera();
    fields[0].pass =
        camera && m_finder && m_finder->DiffersFromAdapterAddress(*camera, m_netSettings.ipAddress);
  }
  for (const Field& field : fields) {
    if (!field.pass) {
      ShowMessage(field.slot);
      return false;
    }
  }
  return ValidateFixedIp();
}

bool CQuenloDlg::ValidateFixedIp() {
  const FixedIpProblem problem =
      CheckFixedIp(m_netSettings.ipAddress, m_netSettings.subnetMask, m_netSettings.gateway);
  if (problem == FixedIpProblem::kNone) return true;
  ShowMessage(problem == FixedIpProblem::kAddress ? kMsgIpIncorrect
              : problem == FixedIpProblem::kMask  ? kMsgMaskIncorrect
                                                  : kMsgGatewayIncorrect);
  return false;
}
