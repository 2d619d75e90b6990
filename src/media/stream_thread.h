#pragma once

#include <memory>

#include "media/media_sample.h"
#include "net/tavo_cgi.h"
#include "thread/clock.h"
#include "thread/uthread.h"
#include "thread/uthread_message.h"
#include "thread/wakeup.h"

// Base of the video and audio stream threads: the camera to read from, and
// the loop that opens one of its streams, reads it part by part and hands
// each part on, opening it again when the camera closes it or the connection
// fails, and retrying a failed open every 500 ms.
// Threads: SetCamera and Start run on whichever thread starts the live view,
// SetCamera only while the thread does not run; Stop and the destructor on
// the owner's thread; everything else on the stream thread. The stop flag
// and the wake-up signal are the only state shared while the thread runs.
class NTavoStreamThread : public UThread, public UThreadMessage {
 public:
  static constexpr int kHostChars = 128;
  static constexpr int kUserChars = 64;
  static constexpr int kPasswordChars = 64;
  static constexpr int kOpenRetryMs = 500;
  // Longest wait for the next part when none is ready; a part that arrives,
  // a broken connection or Stop ends it. Shorter would only add wake-ups.
  static constexpr int kPartWaitMs = 1000;

  ~NTavoStreamThread() override;

  // The camera's address text, HTTP port and administrator password; a null
  // text keeps the one set before. The user is always "admin". Texts longer
  // than their fields are cut.
  void SetCamera(const wchar_t* host, int port, const wchar_t* password);
  // The clock of the pause between opening attempts (the system's unless
  // set); only while the thread does not run. `clock` outlives the thread.
  void SetClock(Clock& clock) { clock_ = &clock; }
  // Sets the stop flag and wakes a read, a connect or a pause in progress.
  void Stop() override;
  void RequestStop() override;

  NTavoCGI& camera() { return camera_; }

 protected:
  explicit NTavoStreamThread(const char* name);

  int OnStart() override;
  int Run() override;
  // Opens the stream on camera(): true when its parts can be read.
  virtual bool OpenStream() = 0;
  // Uses one part; the caller deletes it afterwards.
  virtual void OnPart(const NTavoMediaSample& sample) = 0;
  // The stream that was open broke off (not stopped): the camera closed it,
  // went away, or the connection failed.
  virtual void OnStreamLost() {}

 private:
  // True when the stream broke off, false when the thread was stopped.
  bool ReadParts();

  wchar_t host_[kHostChars] = L"";
  int port_ = 0;
  wchar_t user_[kUserChars] = L"";
  wchar_t password_[kPasswordChars] = L"";
  NTavoCGI camera_{true};
  UWakeup wakeup_;
  Clock* clock_ = &SystemClock();
};
