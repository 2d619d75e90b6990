// The wizard's main dialog: the pages' routes and actions over the wizard's
// state, built on the small services of dialog_window.h and page_host.h.
// Its concerns live in files of their own: page_routes.cpp (which element
// and which page call what), install_flow.cpp (search, settings,
// re-discovery), address_check.cpp (the fixed address against the network),
// live_controls.cpp (the live sound's mute), password_step.h,
// fixed_address_form.h, live_view.h and page_text.h.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "app/dialog_window.h"
#include "app/live_view.h"
#include "app/page_host.h"
#include "app/password_step.h"
#include "app/wizard_state.h"
#include "app/worker_job.h"
#include "discovery/ip_finder_thread.h"
#include "discovery/neighbour_probe.h"
#include "thread/wakeup.h"

// Threads: everything runs on the UI thread except FinderThunk and
// OnFinderEvent, which the finder calls on its thread: they add the
// cameras of a search to m_cameras and hand every other event to the UI
// thread (ITimers::Post), where the flow decides what follows. The password
// and address jobs hand their outcomes over the same way. No worker shows a
// page or a box.
class CQuenloDlg : public IPageEvents {
 public:
  // One-shot timers of the flow.
  static constexpr int TIMER_REDISCOVER = 1124;
  static constexpr int TIMER_SETTINGS_WAIT = 1125;
  static constexpr int TIMER_LIVE_START = 1126;
  static constexpr int kRediscoverMs = 300;
  static constexpr int kLiveStartMs = 500;
  static constexpr int kSettingsWaitMs = WizardState::kSettingsWaitMs;
  static constexpr int kAboutCommand = 16;
  static constexpr int kMaxFinishNameChars = 520;
  static constexpr size_t kMaxListedCameras = CameraList::kMaxListed;
  // The window menu's item; '&' marks its access key.
  static constexpr const char* kAboutItemText = "&About Quenlo...";
  static constexpr const char* kStartPassword = "kerut";
  static constexpr const char* kMakerAppUrl = "https://www.quenlo.example/App/";
  static constexpr const char* kTwinWarning = "More than one device answers as this camera";
  static constexpr const char* kTwinNone = "None of them";

  // `exe_path` is the program's own full path; the page folder derives from it.
  CQuenloDlg(const DialogServices& services, std::string exe_path);
  ~CQuenloDlg() override;
  CQuenloDlg(const CQuenloDlg&) = delete;
  CQuenloDlg& operator=(const CQuenloDlg&) = delete;

  // Start-up: menu item, state, folders, configuration, workers, first page.
  bool OnInitDialog();
  // Shut-down: drops what workers handed over and not yet handled, ends any
  // camera command, then stops and deletes the finder, the password and
  // address jobs and the live view's workers in that order.
  void OnDestroy();
  void OnTimer(int id);
  void OnSysCommand(int id);
  // The window is asked to close. True to quit; while the camera changes its
  // network settings the user is asked first. Quitting ends a camera command
  // in progress at once.
  bool OnCloseRequest();
  // ---- live_controls.cpp ----
  // Mutes or unmutes the live sound, from the finish page's button or the
  // live viewer's toggle; both show the new state.
  void SetLiveMuted(bool muted);
  bool LiveMuted() const { return live_.IsMuted(); }

  // How long the camera is given to restart its network (0 to 40000 ms);
  // for a program that drives simulated cameras, which restart at once.
  void SetSettingsWait(int ms);

  // IPageEvents
  void OnDocumentComplete(const std::string& path) override;
  bool OnElementClick(const std::string& id) override;

  // The finder's callback: `context` is the dialog. The finder thread.
  static void FinderThunk(void* context, const void* data, int eventType, bool done);

  const WizardState& State() const { return state_; }
  // A job decides the page: clicks are ignored until its outcome is handled.
  bool Busy() const { return busy_; }
  // A finder, password or address job runs whose end the UI thread has not
  // handled yet.
  bool JobPending() const { return finder_job_ || password_pending_ || address_pending_; }

 protected:
  // The clock of the dialog's services, for the workers it makes.
  Clock& clock() const { return *m_services.clock; }
  // The workers of the start-up; null when one cannot be made.
  virtual std::unique_ptr<NTavoIPFinderThread> CreateFinder();
  virtual std::unique_ptr<NTavoVideoThread> CreateVideo();
  virtual std::unique_ptr<NTavoAudioThread> CreateAudio();
  const LiveView& live_view() const { return live_; }
  NTavoIPFinderThread* finder() const { return m_finder.get(); }

 private:
  using Handler = void (CQuenloDlg::*)();
  struct ClickRoute {
    const char* id;
    Handler handler;
  };
  struct LoadRoute {
    const char* page;
    Handler on_load;
  };
  static const ClickRoute kClickRoutes[];
  static const LoadRoute kLoadRoutes[];

  // ---- quenlo_dlg.cpp: the window, pages and boxes ----
  void ResetState();
  void LoadConfiguration();
  std::string FirstPage() const;
  // A page of the folder as OnDocumentComplete compares it, whatever its case.
  std::string PageKey(const char* page) const;
  void ShowPage(const std::string& page);
  void CallScript(const std::string& function, const std::vector<std::string>& args);
  void MessageBox(const std::string& text);
  void ShowMessage(int slot);
  // Runs `fn` on the UI thread unless the dialog has gone by then; any thread.
  void PostToUi(std::function<void()> fn);
  // The job that decided the page has ended and the page stays: it is told
  // the work is over.
  void EndBusy();
  void OpenTarget(const std::string& target);
  void OpenMenuTarget(int slot);
  void StopLiveView();
  void StopCameraCommands();
  std::optional<CameraRecord> SelectedCamera() const;
  bool FinderBusy() const { return finder_job_; }

  // Page actions run when a document completes.
  void OnMainLoaded();
  void OnMacLoaded();
  void OnWaitSearchLoaded();
  void OnNotFoundLoaded();
  void OnListLoaded();
  void OnIdPasswordLoaded();
  void OnNetworkLoaded();
  void OnFixedIpLoaded();
  void OnFinishLoaded();
  void OnConfigFailLoaded();
  std::vector<bool> SameSubnetFlags(const std::vector<CameraList::Row>& rows);

  // Click handlers of simple navigation and the menu.
  void OnButtonOk();
  void OnButtonCancel();
  void OnShowMac();
  void OnMenuIpSetup();
  void OnMenuViewer();
  void OnMenuManual();
  void OnMenuQig();
  void OnMenuProductReg();
  void OnExit();
  void OnHome();
  void OnMacBack();
  void OnShowPower();
  void OnShowEthernet();
  void OnIdPwBack();
  void OnNetworkBack();
  void OnFixedIpBack();
  void OnFinishApp();
  void OnCameraWebPage();
  void OnFinishNext();
  void OnFinishMute();
  // The finish page's button and the viewer's toggle show the mute state.
  void ShowLiveMuted();

  // ---- install_flow.cpp: search, settings and re-discovery ----
  void OnFinderEvent(const void* data, int eventType, bool done);
  // UI thread: what the finder reported, in order.
  void OnSettingsReply(uint8_t status);
  // The search page shows each camera as it answers; the rows the page does
  // not show yet go to it.
  void OnCamerasArrived();
  void ShowArrivedCameras();
  void OnFinderJobEnd(int eventType);
  void StartSearch();
  // Starts the finder's job; a thread that cannot be made ends the job at
  // once, as if it had heard nothing.
  void StartFinderJob(int commandCode);
  void OnSearchFinished();
  void OnRediscovered();
  void OnSettingsResult(uint8_t status);
  void OnSettingsWaitOver();
  // Starts the live view and shows the finish page once it had a moment to connect.
  void StartLiveViewThenFinish();
  // Which of `candidates` (devices of `row`, by index) gets the password:
  // the one there is, or the one the user chooses when there are several;
  // nothing when none is chosen. UI thread (the question is a modal box).
  std::optional<size_t> ChooseDevice(const CameraList::Row& row,
                                     const std::vector<size_t>& candidates);
  // The devices of the row found again that can be the camera: at the
  // fixed address it was given, or after DHCP inside the subnet of the
  // adapter that heard it.
  std::vector<size_t> RediscoveredCandidates(const CameraList::Row& row);
  // Where a password job was started: from the password page, once the
  // camera was found again, or by the retry after a change without answer.
  enum class PasswordStage { kPage, kRediscovered, kInDoubt };
  void StartPasswordJob(const CameraRecord& camera, bool prove, PasswordStage stage);
  void StartProofOfEither(const CameraRecord& camera);
  void OnPasswordOutcome(PasswordOutcome outcome, PasswordStage stage);
  void ApplyOverDiscovery(const CameraRecord& camera);
  void OnStartSearch();
  void OnListNext();
  void OnIdPwNext();
  void OnNetworkNext();
  void OnFixedIpNext();
  // False when the user would rather change settings that leave the camera
  // out of reach of `adapters` (this computer's) or its gateway elsewhere.
  bool ConfirmFixedIpReach(const std::vector<AdapterEntry>& adapters);
  // The question of `slot` about the typed settings: true to keep them.
  bool AskToKeepSettings(int slot);
  void OnFixedIpAuto();
  void OnConfigFailRetry();
  // The failure page's text in place of `slot`'s once an unreachable address was kept.
  void ShowKeptUnreachable(int slot);

  // ---- address_check.cpp: the fixed address against the network ----
  // The adapter that found `camera`, when addresses can be asked for on it.
  std::optional<AdapterEntry> ProbeAdapter(const CameraRecord& camera);
  // Moves the plain proposal off an address where a device answers, then
  // calls `then` (at once when there is nothing to ask).
  void CheckProposal(void (CQuenloDlg::*then)());
  void ShowFixedIpPage();
  void FillCheckedProposal();
  // The typed address: on to the password page unless a device answers
  // there and the user would rather change it.
  void CheckTypedAddress();
  void OnTypedAddressChecked(const CameraRecord& camera, uint32_t address,
                             const std::optional<MacAddress>& mac);

  WizardState state_;
  DialogServices m_services;
  std::string m_exePath;
  std::unique_ptr<NTavoIPFinderThread> m_finder;
  LiveView live_;
  PasswordJob password_job_;
  WorkerJob address_job_;
  bool address_pending_ = false;
  // What workers post holds a weak reference: once this is gone (shut-down)
  // their posts are dropped.
  std::shared_ptr<char> alive_ = std::make_shared<char>();
  const std::weak_ptr<char> alive_token_ = alive_;  // never written: any thread copies it
  bool finder_job_ = false;  // a finder job runs whose end is not yet handled
  bool busy_ = false;        // a job decides the page
  bool password_pending_ = false;
  bool m_closing = false;
  int m_navigations = 0;     // navigations so far
  std::string loaded_page_;  // upper-case path of the page loaded; empty while one loads
  size_t rows_shown_ = 0;    // the cameras the search page shows
  // Set by the finder thread when it posts OnCamerasArrived, cleared by it:
  // a burst of answers is one post.
  std::atomic<bool> rows_posted_{false};
  // Signalled once the window closes; the password proof's sockets and the
  // address check wait on it.
  UWakeup command_stop_;
  bool commands_stopped_ = false;
};
