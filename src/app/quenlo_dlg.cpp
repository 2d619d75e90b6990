#include "app/quenlo_dlg.h"

#include <arpa/inet.h>

#include <cctype>

#include "app/about_dlg.h"
#include "app/app_paths.h"
#include "app/profile.h"

namespace {

const char* const kMessageKeys[CQuenloDlg::kMessageCount] = {
    "msg_pw_incorrect",      "msg_pw_not_match",       "msg_pw_format_error",
    "msg_change_pwd_fail",   "msg_ip_incorrect",       "msg_mask_incorrect",
    "msg_gateway_incorrect", "msg_set_dhcp_fail",      "msg_set_fixed_ip_fail",
    "msg_rediscovery_fail",  "msg_not_in_same_subnet",
};
const char* const kMenuKeys[CQuenloDlg::kMenuCount] = {"IPSetup", "VigilonPro", "Manual", "QIG",
                                                       "ProDuctReg"};
constexpr int kProductRegSlot = 4;

std::string UpperAscii(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::string DottedAddress(uint32_t network_order) {
  char text[INET_ADDRSTRLEN] = {};
  in_addr addr{};
  addr.s_addr = network_order;
  inet_ntop(AF_INET, &addr, text, sizeof(text));
  return text;
}

std::string MacTextUpper(const CameraRecord& record) {
  char text[13];
  FormatMacText(record.header.macAddress, text);
  return UpperAscii(text);
}

std::string CameraWebAddress(const CameraRecord& record) {
  return "http://" + DottedAddress(RecordIpAddress(record)) + ":" +
         std::to_string(RecordHttpPort(record)) + "/";
}

// The element ids and their handlers, in the order the pages rely on. The
// camera flows (list, password, network, fixed address, finish and failure
// pages) add their entries with those flows.
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
  // The discovery, video and audio workers are created here, in that order;
  // a failure shows "Error Code: 0x0000000N" and posts the quit message.
  m_liveWnd->Hide();
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
  m_newPassword.clear();
  std::lock_guard<std::mutex> lock(m_pendingMutex);
  m_pendingPage.clear();
}

void CQuenloDlg::LoadConfiguration() {
  ProfileFile config, messages;
  config.Load(m_htmlFolder + "Config.ini");
  messages.Load(m_htmlFolder + "Message.ini");
  for (int i = 0; i < kMessageCount; ++i)
    m_messages[i] = messages.GetString("Message", kMessageKeys[i], "");
  for (int i = 0; i < kMenuCount; ++i) {
    m_menuTargets[i] = config.GetString("Menu", kMenuKeys[i], "");
    if (!m_menuTargets[i].empty() && i != kProductRegSlot) {
      m_menuTargets[i] = m_baseFolder + m_menuTargets[i];
    }
  }
  m_model = config.GetString("System", "Model", "");
  m_password = config.GetString("Default_Password", "Default", "");
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

std::string CQuenloDlg::FirstPage() const { return m_showMenu >= 1 ? "Main.html" : "Mac.html"; }

void CQuenloDlg::OnDestroy() {
  m_closing = 1;
  for (std::unique_ptr<UThread>* worker : {&m_finder, &m_video, &m_audio}) {
    if (!*worker) continue;
    (*worker)->Stop();
    WaitForWorker(worker->get(), -1);
    worker->reset();
  }
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
    m_services.pages->Navigate(PendingPage());
  } else if (id == TIMER_REDISCOVER) {
    m_services.timers->Kill(id);
    // The re-discovery search starts once the previous job has ended, or
    // after about 1.1 s regardless.
    WaitForWorker(m_finder.get(), kRediscoverPolls);
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
  m_services.pages->Navigate(m_htmlFolder + page);
}

void CQuenloDlg::ShowPageLater(const std::string& page) {
  {
    std::lock_guard<std::mutex> lock(m_pendingMutex);
    m_pendingPage = m_htmlFolder + page;
  }
  m_services.timers->Start(TIMER_SHOW_PAGE, kShowPageMs);
}

bool CQuenloDlg::CallScript(const std::string& function, const std::vector<std::string>& args) {
  return m_services.pages->CallScript(function, args);
}

void CQuenloDlg::MessageBox(const std::string& text) { m_services.messages->Show(m_title, text); }

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
  } else if (IsPage(upper, "List.html")) {
    OnListLoaded();
  } else if (IsPage(upper, "IDPassword.html")) {
    OnIdPasswordLoaded();
  } else if (IsPage(upper, "Network.html")) {
    OnNetworkLoaded();
  } else if (IsPage(upper, "FixedIP.html")) {
    OnFixedIpLoaded();
  } else if (IsPage(upper, "ConfigureFail.html")) {
    ShowConfigFailInfo();
  }
}

void CQuenloDlg::OnMacLoaded() {
  if (m_showMenu == 0) CallScript("HideHomeAndBackButton", {});
}

// One row per camera: number from 1, model name, MAC in upper case.
void CQuenloDlg::OnListLoaded() {
  for (size_t i = 0; i < m_cameras.size(); ++i) {
    CallScript("ListAddCamera", {std::to_string(i + 1), std::string(RecordModelName(m_cameras[i])),
                                 MacTextUpper(m_cameras[i])});
  }
}

void CQuenloDlg::OnIdPasswordLoaded() {
  m_services.pages->SetAttribute("id_pw_password", "value", m_password);
}

void CQuenloDlg::OnNetworkLoaded() {
  CallScript(m_fixedIp != 0 ? "ClickFixedIP" : "ClickDHCP", {});
}

void CQuenloDlg::OnFixedIpLoaded() {
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
    case 0:
      slot = 9;
      break;
    case 1:
      slot = m_fixedIp == 0 ? 7 : 8;
      break;
    case 2:
      slot = 10;
      break;
    case 3:
      slot = 3;
      break;
    default:
      return;
  }
  CallScript("ConfigFailSetInfo", {m_messages[slot]});
}

bool CQuenloDlg::OnElementClick(const std::string& id) {
  for (const EventEntry& entry : kEventMap) {
    if (id == entry.id) {
      (this->*entry.handler)();
      return true;
    }
  }
  return false;
}

void CQuenloDlg::OnButtonOk() { m_services.window->PostQuit(1); }
void CQuenloDlg::OnButtonCancel() { m_services.window->PostQuit(2); }
void CQuenloDlg::OnShowMac() { ShowPage("Mac.html"); }
void CQuenloDlg::OpenTarget(const std::string& target) { m_services.shell->Open(target); }
void CQuenloDlg::OnMenuIpSetup() { OpenTarget(m_menuTargets[0]); }
void CQuenloDlg::OnMenuViewer() { OpenTarget(m_menuTargets[1]); }
void CQuenloDlg::OnMenuManual() { OpenTarget(m_menuTargets[2]); }
void CQuenloDlg::OnMenuQig() { OpenTarget(m_menuTargets[3]); }
void CQuenloDlg::OnMenuProductReg() { OpenTarget(m_menuTargets[4]); }
void CQuenloDlg::OnFinishApp() { OpenTarget(kMakerAppUrl); }

const CameraRecord* CQuenloDlg::SelectedCamera() const {
  int index = m_selectedIndex.load();
  if (index < 0 || static_cast<size_t>(index) >= m_cameras.size()) return nullptr;
  return &m_cameras[static_cast<size_t>(index)];
}

// Without a chosen camera there is no address to open: the click is ignored.
void CQuenloDlg::OnCameraWebPage() {
  if (const CameraRecord* camera = SelectedCamera()) OpenTarget(CameraWebAddress(*camera));
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
  m_password = kStartPassword;
  m_newPassword.clear();
}

void CQuenloDlg::OnMacBack() { ShowPage(FirstPage()); }
void CQuenloDlg::OnShowPower() { ShowPage("Power.html"); }
void CQuenloDlg::OnShowEthernet() { ShowPage("Ethernet.html"); }

// The search itself starts here once discovery is wired in.
void CQuenloDlg::OnStartSearch() { ShowPage("WaitSearch.html"); }

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
