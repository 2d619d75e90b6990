// The wizard's main dialog: all of the wizard's state and the logic behind
// its pages, built on the small services of dialog_window.h and page_host.h.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/dialog_window.h"
#include "app/net_settings.h"
#include "app/page_host.h"
#include "discovery/discovery_wire.h"
#include "discovery/ip_finder_thread.h"
#include "media/audio_thread.h"
#include "media/video_thread.h"
#include "thread/uthread.h"
#include "thread/wakeup.h"

// Threads: construction, OnInitDialog, OnDestroy, OnTimer, the click handlers
// and the page actions run on the UI thread. OnFinderEvent and what it calls
// (OnSearchFinished, OnFinderIdle, OnSettingsResult, StartLiveView) run on the
// finder thread. ShowPageLater and MessageBox may be called from worker
// threads. Fields written by one thread and read by another are atomic;
// m_pendingPage is guarded by m_pendingMutex and m_cameras by m_camerasMutex.
// The finder's job fields and m_targetCamera, m_netSettings, m_password and
// m_newPassword are written only while no finder job runs, or by the job's own
// end-of-job call; thread start and join order those writes. command_stop_ is
// signalled from the UI thread and polled by whichever thread runs a camera
// command.
class CQuenloDlg : public IPageEvents {
 public:
  static constexpr int TIMER_SHOW_PAGE = 1224;
  static constexpr int TIMER_REDISCOVER = 1124;
  static constexpr int kShowPageMs = 100;
  static constexpr int kRediscoverMs = 300;
  static constexpr int kRediscoverPolls = 11;
  static constexpr int kAboutCommand = 16;
  static constexpr int kMessageCount = 11;  // the slots of wizard_messages.h
  static constexpr int kMenuCount = 5;
  // The window menu's item; '&' marks its access key.
  static constexpr const char* kAboutItemText = "&About Quenlo...";
  static constexpr const char* kStartPassword = "kerut";
  static constexpr const char* kMakerAppUrl = "https://www.quenlo.example/App/";
  static constexpr int kSettingsWaitMs = 40000;  // the camera restarts its network
  static constexpr int kLiveStartMs = 500;
  static constexpr int kWorkPollMs = 20;
  static constexpr int kMaxFinishNameChars = 520;
  // Rows of the camera list; the distinct cameras beyond them are counted, up
  // to kMaxCountedCameras, and the list says how many more answered.
  static constexpr size_t kMaxListedCameras = 1024;
  static constexpr size_t kMaxCountedCameras = 65536;
  static constexpr const char* kTwinWarning = "Two devices answer as this camera";

  // `exe_path` is the program's own full path; the page folder derives from it.
  CQuenloDlg(const DialogServices& services, std::string exe_path);
  ~CQuenloDlg() override;
  CQuenloDlg(const CQuenloDlg&) = delete;
  CQuenloDlg& operator=(const CQuenloDlg&) = delete;

  // Start-up: menu item, state, folders, configuration, workers, first page.
  bool OnInitDialog();
  // Shut-down: sets m_closing, then stops, waits for and deletes the
  // discovery, video and audio workers in that order.
  void OnDestroy();
  void OnTimer(int id);
  void OnSysCommand(int id);

  // IPageEvents
  void OnDocumentComplete(const std::string& path) override;
  bool OnElementClick(const std::string& id) override;

  void ShowPage(const std::string& page);
  // Any thread: the show-page timer navigates on the UI thread.
  void ShowPageLater(const std::string& page);
  bool CallScript(const std::string& function, const std::vector<std::string>& args);
  // Any thread: modal box with caption m_title; MessageBox for the start-up
  // errors, ShowMessage for the message of `slot` of Message.ini.
  void MessageBox(const std::string& text);
  void ShowMessage(int slot);
  // UI thread: the window is asked to close. True to quit; while the camera
  // changes its network settings the user is asked first. Quitting ends a
  // camera command in progress at once.
  bool OnCloseRequest();
  // Stops the video and audio workers and waits until neither runs.
  void StopLiveView();
  std::string PendingPage() const;

 protected:
  // The clock of the dialog's services, for the workers it makes.
  Clock& clock() const { return *m_services.clock; }
  // The workers of the start-up; null when one cannot be made.
  virtual std::unique_ptr<NTavoIPFinderThread> CreateFinder();
  virtual std::unique_ptr<NTavoVideoThread> CreateVideo();
  virtual std::unique_ptr<NTavoAudioThread> CreateAudio();

 public:
  // The finder's callback: `context` is the dialog.
  static void FinderThunk(void* context, const void* data, int eventType, bool done);
  void OnFinderEvent(const void* data, int eventType, bool done);
  // UI thread: empties the list and starts a search job.
  void StartSearch();
  // Finder thread: the ends of a search, a pause job and a set-address job.
  void OnSearchFinished();
  void OnFinderIdle();
  void OnSettingsResult(uint8_t status);
  // Gives the chosen camera and m_password to the video and audio workers
  // and starts them; the finder thread.
  void StartLiveView();
  void ShowFinishInfo();

  // Reads the fixed-address fields into m_netSettings and checks them,
  // showing the message of the first rejected entry.
  bool ReadFixedIpFields();
  bool ValidateFixedIp();

  // A copy of the camera at `index`, if there is one; any thread.
  std::optional<CameraRecord> CameraAt(int index) const;
  size_t CameraCount() const;
  const std::string& BaseFolder() const { return m_baseFolder; }

  // The wizard's state.
  std::string m_model;
  // Cameras of the last search in order of arrival, one per MAC and at most
  // kMaxListedCameras, guarded by m_camerasMutex: a search started while an
  // earlier job still runs empties it on the UI thread while that job
  // appends on the finder thread.
  std::vector<CameraRecord> m_cameras;
  mutable std::mutex m_camerasMutex;
  std::atomic<uint8_t> m_replyStatus{0};
  std::atomic<uint8_t> m_noReply{1};
  std::atomic<uint8_t> m_closing{0};
  CameraRecord m_targetCamera{};
  NetSettings m_netSettings;
  std::string m_htmlFolder;
  std::string m_password = kStartPassword;
  std::string m_newPassword;
  std::array<std::string, kMessageCount> m_messages;
  std::array<std::string, kMenuCount> m_menuTargets;
  std::string m_title;
  std::atomic<uint8_t> m_sameSubnet{0};
  std::atomic<uint8_t> m_rediscovering{0};
  std::atomic<uint8_t> m_waiting{0};
  std::atomic<uint8_t> m_changePassword{0};
  // From sending new network settings until the camera's 40 s restart is
  // over: quitting then may leave the camera unreachable.
  std::atomic<bool> m_changingSettings{false};
  // The password the configuration names: the camera's factory password.
  std::string m_factoryPassword;
  // The three workers; created at start-up, deleted in OnDestroy.
  std::unique_ptr<NTavoIPFinderThread> m_finder;
  std::unique_ptr<NTavoVideoThread> m_video;
  std::unique_ptr<NTavoAudioThread> m_audio;
  int m_showMenu = 0;
  std::atomic<int> m_selectedIndex{-1};
  std::atomic<int> m_errorCode{0};
  int m_fixedIp = 0;
  ILiveWindow* m_liveWnd;
  // How long the finder waits after the camera accepted new settings.
  int m_settingsWaitMs = kSettingsWaitMs;

 private:
  using Handler = void (CQuenloDlg::*)();
  struct EventEntry {
    const char* id;
    Handler handler;
  };
  static const EventEntry kEventMap[];

  void ResetState();
  void LoadConfiguration();
  std::string FirstPage() const;
  bool IsPage(const std::string& upper_path, const char* page) const;
  void WaitForWorker(UThread* worker, int max_polls);
  void HideLiveWindow();
  void OpenTarget(const std::string& target);

  // The chosen camera, if one is chosen.
  std::optional<CameraRecord> SelectedCamera() const;
  // Starts the finder's job; a thread that cannot be made ends the job at
  // once, as if it had heard nothing.
  void StartFinderJob(int commandCode);
  // UI thread: waits while m_waiting is set (and the window stays open).
  void WaitForFinderJob();
  // UI thread: runs `work` on a thread of its own and waits for its result
  // with the window alive (network calls can take seconds).
  template <typename Work>
  auto WhileWaiting(Work work) -> decltype(work());
  // Finder thread: sleeps `ms`, returning early once closing.
  void SleepUnlessClosing(int ms);
  bool FinderBusy() const;
  // The "value" of a page element, when it is a string.
  std::optional<std::string> ReadText(const std::string& id);
  // Whether a check box or radio button of the page is checked; nullopt
  // when the page has no such element.
  std::optional<bool> ReadChecked(const std::string& id);
  // Writes the proposed or typed fixed settings into the fixed-address page.
  void FillFixedIpFields();
  // The fixed-address page's check of the network (quenlo_dlg_address_check.cpp):
  // moves the plain proposal off addresses where a device answers, and asks
  // before a typed address where one answers is kept. Each waits up to 2 s.
  void CheckProposedAddress();
  bool ConfirmTypedAddress();
  void ApplySameSubnet();
  void ApplyOverDiscovery(const CameraRecord& camera);
  // Reads the password page into m_password and m_newPassword and empties
  // its password fields. False, with the message shown, when the new
  // password is refused.
  bool TakePasswordFields();
  // Proves m_password over HTTP and changes it to m_newPassword when asked:
  // -1 done, otherwise the message slot of the failure. m_newPassword is
  // overwritten once used or refused.
  int ProveAndChangePassword(const CameraRecord& camera, bool prove);
  // The window is closing: a camera command in progress on any thread, and
  // every later one, fails at once.
  void StopCameraCommands();

  // Page actions run when a document completes.
  void OnMacLoaded();
  void OnNotFoundLoaded();
  std::vector<std::string> LostAnswersFinding() const;
  void OnListLoaded();
  void OnIdPasswordLoaded();
  void OnNetworkLoaded();
  void OnFixedIpLoaded();
  void ShowConfigFailInfo();

  // Click handlers of the event map.
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
  void OnStartSearch();
  void OnIdPwBack();
  void OnNetworkBack();
  void OnFixedIpBack();
  void OnFinishApp();
  void OnCameraWebPage();
  void OnFinishNext();
  void OnListNext();
  void OnIdPwNext();
  void OnNetworkNext();
  void OnFixedIpNext();
  void OnFixedIpAuto();
  void OnConfigFailRetry();

  // A 48-bit MAC, hashed with a per-process salt so that a flood of chosen
  // MACs cannot pile into one bucket.
  struct MacHash {
    size_t operator()(uint64_t mac) const;
  };
  // Where a listed camera's MAC sits in m_cameras, and whether another
  // device answered with that MAC from another address.
  struct ListedMac {
    size_t row;
    bool twin;
  };
  // Finder thread: keeps the first answer per MAC and marks its twins.
  void AddCamera(const CameraRecord& record);
  void ClearCameras();
  // Whether another device answered as `camera`; any thread.
  bool HasTwin(const CameraRecord& camera) const;
  // UI thread: false when the chosen camera has a twin and the user would
  // rather not send it the password.
  bool ConfirmTwin(const CameraRecord& camera);
  // UI thread: whether each camera is on this computer's network, from one
  // reading of the adapters.
  std::vector<bool> SameSubnetFlags(const std::vector<CameraRecord>& cameras);

  // Beside m_cameras, guarded by m_camerasMutex: the listed MACs, and the
  // distinct MACs that answered beyond the list's cap.
  std::unordered_map<uint64_t, ListedMac, MacHash> listed_macs_;
  std::unordered_set<uint64_t, MacHash> unlisted_macs_;
  // UI thread: the row whose twin the user accepted, or -1.
  int twin_accepted_row_ = -1;

  DialogServices m_services;
  UWakeup closing_signal_;  // signalled with m_closing: ends the finder thread's sleeps
  std::string m_exePath;
  std::string m_baseFolder;
  mutable std::mutex m_pendingMutex;
  std::string m_pendingPage;               // guarded by m_pendingMutex
  std::atomic<bool> m_pagePending{false};  // a ShowPageLater has not navigated yet
  int m_navigations = 0;                   // UI thread: navigations so far
  // Signalled once the window closes; the password proof's sockets poll it.
  UWakeup command_stop_;
  std::atomic<bool> commands_stopped_{false};
};

// The camera's MAC as 12 upper-case hexadecimal digits, as the user sees it.
std::string MacTextUpper(const CameraRecord& record);
// "http://<dotted address>:<port>/", the port always written.
std::string CameraWebAddress(const CameraRecord& record);
