#include "app/quenlo_dlg.h"

#include <new>

#include "app/about_dlg.h"
#include "app/app_paths.h"
#include "app/fixed_address_form.h"
#include "app/launch_target.h"
#include "app/page_text.h"
#include "app/profile.h"
#include "net/wipe.h"

namespace {

const char* const kMenuKeys[WizardState::kMenuCount] = {"IPSetup", "VigilonPro", "Manual", "QIG",
                                                        "ProDuctReg"};
// The first page's element of each slot.
const char* const kMenuItems[WizardState::kMenuCount] = {"main_btn_ipsetup", "main_btn_vigilonPro",
                                                         "main_btn_manual", "main_btn_qig",
                                                         "main_btn_product_reg"};

constexpr const char* kStartFailedHeading = "The set-up cannot start";
constexpr const char* kQuitWhileChangingQuestion =
    "The camera is changing its network settings. If you quit now it may not be reachable until "
    "you run the set-up again. Quit anyway?";

constexpr const char* kCreateFinderFailed = "Error Code: 0x00000001";
constexpr const char* kCreateVideoFailed = "Error Code: 0x00000002";
constexpr const char* kCreateAudioFailed = "Error Code: 0x00000003";

}  // namespace

CQuenloDlg::CQuenloDlg(const DialogServices& services, std::string exe_path)
    : m_services(services), m_exePath(std::move(exe_path)) {}

// Owners call OnDestroy; this only covers a dialog whose window never opened.
CQuenloDlg::~CQuenloDlg() { OnDestroy(); }

bool CQuenloDlg::OnInitDialog() {
  m_services.window->AddAboutItem(kAboutItemText);
  ResetState();
  state_.m_baseFolder = BaseFolderFromExecutable(m_exePath);
  state_.m_htmlFolder = HtmlFolderFromBase(state_.m_baseFolder);
  LoadConfiguration();
  // A worker that can't be made ends the program; nothing after it uses it.
  m_finder = CreateFinder();
  std::unique_ptr<NTavoVideoThread> video;
  std::unique_ptr<NTavoAudioThread> audio;
  const char* failure = !m_finder ? kCreateFinderFailed : nullptr;
  if (!failure && !(video = CreateVideo())) failure = kCreateVideoFailed;
  if (!failure && !(audio = CreateAudio())) failure = kCreateAudioFailed;
  if (failure) {
    MessageBox(failure);
    m_services.window->PostQuit(0);
    return true;
  }
  live_.Adopt(std::move(video), std::move(audio), clock(), m_services.live->Target());
  m_services.live->Hide();
  ShowPage(FirstPage());
  return true;
}

void CQuenloDlg::ResetState() {
  state_.m_rediscovering = false;
  state_.m_sameSubnet = false;
  state_.m_replyStatus = 0;
  state_.m_showMenu = 0;
  state_.m_selectedIndex = -1;
  state_.m_password = kStartPassword;
  state_.m_errorCode = 0;
  state_.m_noReply = true;
  state_.m_fixedIp = 0;
  state_.m_changePassword = false;
  WipeText(state_.m_newPassword);
}

void CQuenloDlg::LoadConfiguration() {
  WizardState& s = state_;
  ProfileFile config, messages;
  config.Load(s.m_htmlFolder + "Config.ini");
  messages.Load(s.m_htmlFolder + "Message.ini");
  for (int i = 0; i < kMessageSlots; ++i)
    s.m_messages[i] = messages.GetString("Message", MessageKey(i), MessageFallback(i));
  // Taken as written: OpenMenuTarget decides what each one may open.
  for (int i = 0; i < WizardState::kMenuCount; ++i)
    s.m_menuTargets[i] = config.GetString("Menu", kMenuKeys[i], "");
  s.m_model = config.GetString("System", "Model", "");
  s.m_password = config.GetString("Default_Password", "Default", "");
  s.m_factoryPassword = s.m_password;
  s.m_title = config.GetString("System", "Title", "");
  m_services.window->SetTitle(s.m_title);
  m_services.window->SetClientSize(config.GetInt("System", "WindowWidth", 0),
                                   config.GetInt("System", "WindowHeight", 0));
  s.m_showMenu = config.GetInt("System", "Menu", 0);
  if (s.m_showMenu == 0) {
    s.m_title = config.GetString("System", "Title2", "");
    m_services.window->SetTitle(s.m_title);
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

std::string CQuenloDlg::FirstPage() const {
  return state_.m_showMenu >= 1 ? "Main.html" : "Mac.html";
}

void CQuenloDlg::OnDestroy() {
  alive_.reset();
  m_closing = true;
  StopCameraCommands();
  if (m_finder) {
    m_finder->Stop();
    m_finder->WaitForEnd();
    m_finder.reset();
  }
  password_job_.Join();
  address_job_.Join();
  live_.Release();
  WipeText(state_.m_password);
  WipeText(state_.m_newPassword);
}

void CQuenloDlg::SetSettingsWait(int ms) {
  if (ms >= 0 && ms <= kSettingsWaitMs) state_.m_settingsWaitMs = ms;
}

void CQuenloDlg::OnTimer(int id) {
  m_services.timers->Kill(id);
  if (m_closing) return;
  if (id == TIMER_SETTINGS_WAIT) {
    OnSettingsWaitOver();
  } else if (id == TIMER_REDISCOVER) {
    StartSearch();
  } else if (id == TIMER_LIVE_START) {
    ShowPage("Finish.html");
  }
}

void CQuenloDlg::OnSysCommand(int id) {
  if ((id & 0xFFF0) != kAboutCommand) return;
  CAboutDlg about(state_.m_title);
  m_services.window->ShowAbout(about);
}

// A page shown ends the busy state of the one before.
void CQuenloDlg::ShowPage(const std::string& page) {
  ++m_navigations;
  busy_ = false;
  loaded_page_.clear();
  m_services.pages->Navigate(state_.m_htmlFolder + page);
}

void CQuenloDlg::CallScript(const std::string& function, const std::vector<std::string>& args) {
  m_services.pages->CallScript(function, args);
}

void CQuenloDlg::MessageBox(const std::string& text) {
  m_services.messages->Show(state_.m_title, {kStartFailedHeading, text, ""});
}

void CQuenloDlg::ShowMessage(int slot) {
  const MessageLook& look = MessageLookOf(slot);
  m_services.messages->Show(state_.m_title, {look.heading, state_.m_messages[slot], look.field});
}

void CQuenloDlg::PostToUi(std::function<void()> fn) {
  m_services.timers->Post([alive = alive_token_, fn = std::move(fn)] {
    if (alive.lock()) fn();
  });
}

void CQuenloDlg::EndBusy() {
  if (!busy_) return;
  busy_ = false;
  CallScript("QuenloIdle", {});
}

void CQuenloDlg::StopCameraCommands() {
  commands_stopped_ = true;
  command_stop_.Signal();
}

bool CQuenloDlg::OnCloseRequest() {
  const bool quit =
      !state_.m_changingSettings ||
      m_services.messages->Ask(state_.m_title, kQuitWhileChangingQuestion, "Quit", "Stay");
  // A camera command must not hold the window: it may wait for its deadline.
  if (quit) StopCameraCommands();
  return quit;
}

void CQuenloDlg::StopLiveView() {
  m_services.timers->Kill(TIMER_LIVE_START);
  live_.Stop();
  m_services.live->Hide();
}

std::optional<CameraRecord> CQuenloDlg::SelectedCamera() const {
  return state_.m_cameras.At(state_.m_selectedIndex, state_.selected_device);
}

// ---- Page actions ----

// A menu item with nothing it may open is not offered.
void CQuenloDlg::OnMainLoaded() {
  std::vector<std::string> unset;
  for (int i = 0; i < WizardState::kMenuCount; ++i) {
    if (!ResolveLaunchTarget(state_.m_menuTargets[i], state_.m_baseFolder))
      unset.push_back(kMenuItems[i]);
  }
  if (!unset.empty()) CallScript("MainHideItems", unset);
}

void CQuenloDlg::OnMacLoaded() {
  if (state_.m_showMenu == 0) CallScript("HideHomeAndBackButton", {});
}

void CQuenloDlg::OnListLoaded() {
  const std::vector<CameraList::Row> rows = state_.m_cameras.Rows();
  if (std::vector<std::string> lost = LostAnswersFinding(m_finder ? m_finder->LostAnswers() : 0);
      !lost.empty())
    CallScript("ListShowLostAnswers", lost);
  if (const size_t unlisted = state_.m_cameras.Unlisted(); unlisted > 0)
    CallScript("ListShowMoreCameras", {std::to_string(unlisted), std::to_string(rows.size())});
  const std::vector<bool> here = SameSubnetFlags(rows);
  for (size_t i = 0; i < rows.size(); ++i) {
    CallScript("ListAddCamera", {ListRowJson(static_cast<int>(i) + 1, rows[i], here[i],
                                             rows[i].twin ? kTwinWarning : "")});
  }
}

// One reading of the adapters for the whole list.
std::vector<bool> CQuenloDlg::SameSubnetFlags(const std::vector<CameraList::Row>& rows) {
  std::vector<bool> flags(rows.size(), false);
  if (!m_finder || FinderBusy()) return flags;
  m_finder->RefreshAdapters();
  const std::vector<AdapterEntry>& adapters = m_finder->Adapters();
  for (size_t i = 0; i < rows.size(); ++i) flags[i] = ::IsSameSubnet(adapters, rows[i].camera);
  return flags;
}

// The devices of other models that answered, and what this computer shows
// that may have kept the answers away, as pairs of what was found and what
// to do.
void CQuenloDlg::OnNotFoundLoaded() {
  if (!m_finder || FinderBusy()) return;
  if (const OtherModels::Summary others = state_.other_models.Read(); others.devices > 0)
    CallScript("NotFoundShowOtherModels", {OtherModelsJson(others, state_.m_model)});
  std::vector<std::string> findings = LostAnswersFinding(m_finder->LostAnswers());
  for (const SearchFinding& finding : m_finder->DiagnoseSearch()) {
    findings.push_back(finding.found);
    findings.push_back(finding.todo);
  }
  CallScript("NotFoundShowFindings", findings);
}

void CQuenloDlg::OnIdPasswordLoaded() {
  m_services.pages->SetAttribute("id_pw_password", "value", state_.m_password);
}

void CQuenloDlg::OnNetworkLoaded() {
  CallScript(state_.m_fixedIp != 0 ? "ClickFixedIP" : "ClickDHCP", {});
}

void CQuenloDlg::OnFixedIpLoaded() { FillFixedIpFields(*m_services.pages, state_.m_netSettings); }

void CQuenloDlg::OnFinishLoaded() {
  const std::optional<CameraRecord> camera = SelectedCamera();
  if (!camera) return;
  CallScript("FinishSetInfo", {FinishInfoJson(*camera, kMaxFinishNameChars)});
  if (state_.factory_password_kept) CallScript("FinishWarnFactoryPassword", {});
  if (!state_.password_found.empty()) CallScript("FinishSetPassword", {state_.password_found});
  m_services.live->Show();
  ShowLiveMuted();
}

// ---- Navigation and the menu ----

void CQuenloDlg::OnButtonOk() { m_services.window->PostQuit(1); }
void CQuenloDlg::OnButtonCancel() { m_services.window->PostQuit(2); }
void CQuenloDlg::OnShowMac() { ShowPage("Mac.html"); }
void CQuenloDlg::OnMacBack() { ShowPage(FirstPage()); }
void CQuenloDlg::OnShowPower() { ShowPage("Power.html"); }
void CQuenloDlg::OnShowEthernet() { ShowPage("Ethernet.html"); }
void CQuenloDlg::OnNetworkBack() { ShowPage("List.html"); }
void CQuenloDlg::OnFixedIpBack() { ShowPage("Network.html"); }

// A target that may not be opened is dropped as silently as a launch that
// fails.
void CQuenloDlg::OpenTarget(const std::string& target) {
  if (std::optional<std::string> resolved = ResolveLaunchTarget(target, state_.m_baseFolder))
    m_services.shell->Open(*resolved);
}
// The first page hides such an item; chosen anyway, it says why nothing opens.
void CQuenloDlg::OpenMenuTarget(int slot) {
  if (std::optional<std::string> resolved =
          ResolveLaunchTarget(state_.m_menuTargets[slot], state_.m_baseFolder)) {
    m_services.shell->Open(*resolved);
  } else {
    ShowMessage(kMsgMenuItemUnset);
  }
}
void CQuenloDlg::OnMenuIpSetup() { OpenMenuTarget(0); }
void CQuenloDlg::OnMenuViewer() { OpenMenuTarget(1); }
void CQuenloDlg::OnMenuManual() { OpenMenuTarget(2); }
void CQuenloDlg::OnMenuQig() { OpenMenuTarget(3); }
void CQuenloDlg::OnMenuProductReg() { OpenMenuTarget(4); }
void CQuenloDlg::OnFinishApp() { OpenTarget(kMakerAppUrl); }

// Without a chosen camera there is no address to open: the click is ignored.
void CQuenloDlg::OnCameraWebPage() {
  if (std::optional<CameraRecord> camera = SelectedCamera()) OpenTarget(CameraWebAddress(*camera));
}

void CQuenloDlg::OnExit() {
  StopLiveView();
  m_services.window->PostQuit(0);
}

void CQuenloDlg::OnHome() {
  if (FinderBusy()) return;
  StopLiveView();
  ShowPage(FirstPage());
  state_.m_changePassword = false;
  state_.m_rediscovering = false;
  state_.password_found.clear();
  WipeText(state_.m_password);
  state_.m_password = kStartPassword;
  WipeText(state_.m_newPassword);
  if (m_finder) m_finder->ForgetCredentials();
}

void CQuenloDlg::OnIdPwBack() {
  if (FinderBusy()) return;
  if (state_.m_sameSubnet) {
    ShowPage("List.html");
  } else {
    ShowPage(state_.m_fixedIp == 1 ? "FixedIP.html" : "Network.html");
  }
}

void CQuenloDlg::OnFinishNext() {
  StopLiveView();
  ShowPage("Finish2.html");
}
