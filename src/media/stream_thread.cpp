#include "media/stream_thread.h"

#include <cwchar>

#include "net/wipe.h"

namespace {

template <size_t N>
void CopyText(wchar_t (&field)[N], const wchar_t* text) {
  std::wcsncpy(field, text, N - 1);
  field[N - 1] = L'\0';
}

}  // namespace

NTavoStreamThread::NTavoStreamThread(const char* name) : UThread(name) {
  camera_.http().socket().SetWakeFd(wakeup_.fd());
}

// Owners stop and wait before deleting; this covers one that did not, before
// the members the thread uses go away.
NTavoStreamThread::~NTavoStreamThread() {
  Stop();
  WaitForEnd();
  WipeBytes(password_, sizeof password_);
}

void NTavoStreamThread::SetCamera(const wchar_t* host, int port, const wchar_t* password) {
  if (host) CopyText(host_, host);
  CopyText(user_, L"admin");
  if (password) CopyText(password_, password);
  port_ = port;
}

void NTavoStreamThread::Stop() {
  UThread::Stop();
  wakeup_.Signal();
}

void NTavoStreamThread::RequestStop() {
  UThread::RequestStop();
  wakeup_.Signal();
}

// A signal left from an earlier run's stop is cleared before this run reads
// its stop flag; a Stop after this point sets the flag first, then signals.
int NTavoStreamThread::OnStart() {
  wakeup_.Clear();
  return StartMessageQueue(*this);
}

int NTavoStreamThread::Run() {
  camera_.http().SetServer(host_, static_cast<uint16_t>(port_), user_, password_);
  while (!IsStopRequested()) {
    if (OpenStream() && ReadParts()) OnStreamLost();
    camera_.http().socket().ShutdownAndClose();
    if (!IsStopRequested()) clock_->Sleep(std::chrono::milliseconds(kOpenRetryMs), &wakeup_);
  }
  return 0;
}

// Reads parts until stopped, or until the connection can give no more. A read
// that timed out or a part the reader refused keeps the connection. Between
// parts it pauses only while nothing has arrived.
bool NTavoStreamThread::ReadParts() {
  while (!IsStopRequested()) {
    std::unique_ptr<NTavoMediaSample> sample;
    if (camera_.ReadStreamFrame(&sample) > 0) {
      OnPart(*sample);
    } else if (camera_.StreamBroken()) {
      return true;
    }
    sample.reset();
    camera_.WaitForStreamData(kPartWaitMs);
  }
  return false;
}
