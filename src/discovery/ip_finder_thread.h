#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "discovery/adapters.h"
#include "discovery/discovery_transport.h"
#include "discovery/discovery_wire.h"
#include "discovery/search_diagnosis.h"
#include "discovery/transactions.h"
#include "thread/uthread.h"
#include "thread/uthread_message.h"
#include "thread/wakeup.h"

// The wizard's one discovery worker. The owner fills in a job (commandCode and
// the fields the command reads) and calls Start; the thread runs the job once,
// reports through `callback` and ends with exactly one end-of-job call
// (data null, done true), always the last. Jobs: 0 a 2-second pause, 1 a search
// through every adapter (an answer from one of this computer's own addresses is
// never reported), 2 to 11 one command through the adapter that found
// the target camera.
//
// Threads: the owner writes the job fields and calls SetTarget,
// SetAddressSettings and the adapter questions only while no job runs
// (IsRunning() is false) or from within the end-of-job call; Run and the
// callback run on the finder's thread. Thread creation orders the owner's
// writes before the job reads them, so no lock is needed.
class NTavoIPFinderThread : public UThread, public UThreadMessage {
 public:
  static constexpr int kTextSize = 16;
  static constexpr int kCredentialSize = 64;

  // The adapter list is read from `source`, and the datagrams go through
  // `transport` (the system's for each that is null).
  NTavoIPFinderThread(FinderCallback callback, void* context,
                      std::unique_ptr<AdapterSource> source = nullptr,
                      std::unique_ptr<DiscoveryTransport> transport = nullptr);
  // Stops a running job and waits for its end before the members go: it
  // must not outlive its fields.
  ~NTavoIPFinderThread() override;

  // Besides the flag, they end the job's waits at once: the pause, and the
  // exchange in progress, which reports what it heard so far; no further
  // adapter is searched. The end-of-job call still comes.
  void Stop() override;
  void RequestStop() override;

  // The finder for the dialog's start-up, on the system's adapters and UDP,
  // its windows measured with `clock`; null when it cannot be made.
  static std::unique_ptr<NTavoIPFinderThread> Create(FinderCallback callback, void* context,
                                                     Clock& clock = SystemClock());

  // Any argument may be null. Copies the adapter's 8 bytes and the texts;
  // userName becomes "admin". Returns false and keeps the password empty when
  // it does not fit its field (64 bytes or more): commands then send nothing
  // and only the end-of-job call comes, until a SetTarget with a password that fits.
  bool SetTarget(const uint8_t* adapterAddress, const char* ip, const char* mac,
                 const char* currentPassword);
  // Stores the mode and copies each given text (15 characters at most).
  void SetAddressSettings(int mode, const char* ip, const char* mask, const char* gateway);
  // Overwrites the password fields, once no later job needs them; called as
  // SetTarget is. The destructor does it too.
  void ForgetCredentials();

  // The questions of the wizard's pages; each reads the adapters afresh.
  void RefreshAdapters();
  bool IsSameSubnet(const CameraRecord& record);
  void ProposeSettings(const CameraRecord& record, uint32_t* address, uint32_t* mask,
                       uint32_t* gateway, uint32_t* dns1, uint32_t* dns2);
  bool DiffersFromAdapterAddress(const CameraRecord& record, uint32_t address);
  // Answers the last search lost because the system's receive buffer was
  // full (many cameras answering at once); any thread.
  uint32_t LostAnswers() const { return lost_answers_.load(); }
  // The list of the last rebuild.
  const std::vector<AdapterEntry>& Adapters() const { return adapters; }
  // Why the last search may have found nothing, read afresh from the adapter
  // source and the calling thread's network namespace. Called on the owner's (UI)
  // thread after a search job ended; takes a few milliseconds.
  std::vector<SearchFinding> DiagnoseSearch();

  // The job, written by the owner between jobs.
  int commandCode = 0;
  int cmd9Values[5] = {};
  int addressMode = 0;
  char cameraIp[kTextSize] = {};
  char cameraMac[kTextSize] = {};
  char userName[kCredentialSize] = {};
  char password[kCredentialSize] = {};
  char newIp[kTextSize] = {};
  char newMask[kTextSize] = {};
  char newGateway[kTextSize] = {};
  char newDns1[kTextSize] = {};
  char newDns2[kTextSize] = {};
  char accountUser[kCredentialSize] = {};
  char accountPassword[kCredentialSize] = {};
  char cmd6Text[kCredentialSize] = {};
  char cmd9Text[33] = {};
  char cmd9Text2[90] = {};
  uint8_t targetAdapter[8] = {};
  uint8_t cmd7Value = 0;

 protected:
  int Run() override;
  int OnStart() override;

 private:
  void SearchAll();
  void SendCommand(const AdapterEntry& adapter);
  // The target texts; a field without a terminator counts as missing, so it
  // is never read past its end.
  RequestTarget Target() const;

  const FinderCallback callback;
  void* const callbackContext;
  UWakeup stop_;  // signalled with the stop flag; outlives transport_, which waits on it
  std::unique_ptr<AdapterSource> source_;
  std::unique_ptr<DiscoveryTransport> transport_;
  std::atomic<uint32_t> lost_answers_{0};
  std::vector<AdapterEntry> adapters;  // rebuilt by every job and question
  bool password_refused_ = false;      // job field: the last SetTarget refused the password
};
