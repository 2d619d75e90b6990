#include "discovery/ip_finder_thread.h"

#include <chrono>
#include <cstring>
#include <new>

#include "net/wipe.h"

namespace {

constexpr int kPauseMs = 2000;

// Copies a text into a fixed field when it fits with its NUL; false otherwise.
template <size_t N>
bool CopyText(char (&field)[N], const char* text) {
  if (!text) return true;
  const size_t length = strnlen(text, N);
  if (length >= N) return false;
  std::memset(field, 0, N);
  std::memcpy(field, text, length);
  return true;
}

// The field as a text, or null (a missing text: the command is not sent)
// when it holds no terminator.
template <size_t N>
const char* Terminated(const char (&field)[N]) {
  return std::memchr(field, 0, N) ? field : nullptr;
}

// The search's reports pass through here on their way to the owner: an
// answer from one of this computer's own addresses is another program on
// it, never a camera. (A search reply is taken only from the address it
// claims, so the claimed address is its source.)
struct SearchFilter {
  FinderCallback callback;
  void* context;
  std::vector<OwnAddressRange> own;

  static void Report(void* filter, const void* data, int command, bool done) {
    const auto* self = static_cast<const SearchFilter*>(filter);
    if (data && IsOwnAddress(self->own, RecordIpAddress(*static_cast<const CameraRecord*>(data))))
      return;
    if (self->callback) self->callback(self->context, data, command, done);
  }
};

}  // namespace

NTavoIPFinderThread::NTavoIPFinderThread(FinderCallback callback, void* context,
                                         std::unique_ptr<AdapterSource> source,
                                         std::unique_ptr<DiscoveryTransport> transport)
    : UThread("IPFinder Thread"),
      callback(callback),
      callbackContext(context),
      source_(source ? std::move(source) : MakeSystemAdapterSource()),
      transport_(transport ? std::move(transport) : MakeSystemDiscoveryTransport()) {
  transport_->SetStop(&stop_);
  RefreshAdapters();
}

NTavoIPFinderThread::~NTavoIPFinderThread() {
  Stop();
  WaitForEnd();
  ForgetCredentials();
}

std::unique_ptr<NTavoIPFinderThread> NTavoIPFinderThread::Create(FinderCallback callback,
                                                                 void* context, Clock& clock) {
  std::unique_ptr<AdapterSource> source = MakeSystemAdapterSource();
  if (!source) return nullptr;
  return std::unique_ptr<NTavoIPFinderThread>(new (std::nothrow) NTavoIPFinderThread(
      callback, context, std::move(source), MakeSystemDiscoveryTransport(clock)));
}

bool NTavoIPFinderThread::SetTarget(const uint8_t* adapterAddress, const char* ip, const char* mac,
                                    const char* currentPassword) {
  if (adapterAddress) std::memcpy(targetAdapter, adapterAddress, sizeof targetAdapter);
  CopyText(cameraIp, ip);
  CopyText(cameraMac, mac);
  CopyText(userName, "admin");
  password_refused_ = !CopyText(password, currentPassword);
  if (password_refused_) std::memset(password, 0, sizeof password);
  return !password_refused_;
}

void NTavoIPFinderThread::SetAddressSettings(int mode, const char* ip, const char* mask,
                                             const char* gateway) {
  addressMode = mode;
  CopyText(newIp, ip);
  CopyText(newMask, mask);
  CopyText(newGateway, gateway);
}

void NTavoIPFinderThread::ForgetCredentials() {
  WipeBytes(password, sizeof password);
  WipeBytes(accountPassword, sizeof accountPassword);
}

void NTavoIPFinderThread::RefreshAdapters() { adapters = ListUsableAdapters(*source_); }

bool NTavoIPFinderThread::IsSameSubnet(const CameraRecord& record) {
  RefreshAdapters();
  return ::IsSameSubnet(adapters, record);
}

void NTavoIPFinderThread::ProposeSettings(const CameraRecord& record, uint32_t* address,
                                          uint32_t* mask, uint32_t* gateway, uint32_t* dns1,
                                          uint32_t* dns2) {
  RefreshAdapters();
  ::ProposeSettings(adapters, *source_, record, {address, mask, gateway, dns1, dns2});
}

bool NTavoIPFinderThread::DiffersFromAdapterAddress(const CameraRecord& record, uint32_t address) {
  RefreshAdapters();
  return ::DiffersFromAdapterAddress(adapters, record, address);
}

std::vector<SearchFinding> NTavoIPFinderThread::DiagnoseSearch() {
  return ::DiagnoseSearch(*source_, SearchDiagnosisPaths{});
}

void NTavoIPFinderThread::Stop() {
  UThread::Stop();
  stop_.Signal();
}

void NTavoIPFinderThread::RequestStop() {
  UThread::RequestStop();
  stop_.Signal();
}

// A signal left from an earlier job's stop is cleared before this job reads
// its stop flag; a Stop after this point sets the flag first, then signals,
// so a job tests the flag before each wait.
int NTavoIPFinderThread::OnStart() {
  stop_.Clear();
  return StartMessageQueue(*this);
}

int NTavoIPFinderThread::Run() {
  RefreshAdapters();
  if (IsStopRequested()) {
    // Stopped before it began: nothing is sent.
  } else if (commandCode == 0) {
    transport_->Sleep(std::chrono::milliseconds(kPauseMs));
  } else if (commandCode == kCommandSearch) {
    SearchAll();
  } else if (commandCode >= 2 && commandCode <= kLastCommand) {
    if (const AdapterEntry* adapter = FindAdapter(adapters, targetAdapter)) SendCommand(*adapter);
  }
  if (callback) callback(callbackContext, nullptr, commandCode, true);
  return 0;
}

void NTavoIPFinderThread::SearchAll() {
  uint32_t lost = 0;
  SearchFilter filter{callback, callbackContext, source_->OwnAddresses()};
  for (const AdapterEntry& adapter : adapters) {
    if (IsStopRequested()) break;
    lost += SearchTransaction(*transport_, &SearchFilter::Report, &filter, adapter);
  }
  lost_answers_ = lost;
}

RequestTarget NTavoIPFinderThread::Target() const {
  return {Terminated(cameraIp), Terminated(cameraMac), Terminated(userName), Terminated(password)};
}

void NTavoIPFinderThread::SendCommand(const AdapterEntry& adapter) {
  if (password_refused_) return;
  const RequestTarget target = Target();
  FinderCallback cb = callback;
  void* context = callbackContext;
  DiscoveryTransport& t = *transport_;
  switch (commandCode) {
    case kCommandSetAddress:
      SetAddressTransaction(t, cb, context, target, addressMode, Terminated(newIp),
                            Terminated(newMask), Terminated(newGateway), adapter);
      break;
    case kCommandSetNetwork: {
      const NetworkSettingsTexts settings{Terminated(newIp),          Terminated(newMask),
                                          Terminated(newGateway),     Terminated(newDns1),
                                          Terminated(newDns2),        Terminated(accountUser),
                                          Terminated(accountPassword)};
      SetNetworkTransaction(t, cb, context, target, addressMode, settings, adapter);
      break;
    }
    case 6:
      TextTransaction(t, cb, context, target, Terminated(cmd6Text), adapter);
      break;
    case 7:
      ByteTransaction(t, cb, context, target, cmd7Value, adapter);
      break;
    case 9:
      Command9Transaction(t, cb, context, target, Terminated(cmd9Text), cmd9Values,
                          Terminated(cmd9Text2), adapter);
      break;
    default:  // 4, 5, 8, 10, 11
      PlainTransaction(t, commandCode, cb, context, target, adapter);
      break;
  }
}
