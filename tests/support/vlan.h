#pragma once

#include <sys/types.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

// Runs a program (no shell) and waits for it; its exit status, or -1 when it
// could not run. Standard output goes to `output` when given.
int RunProgram(const std::vector<std::string>& argv, std::string* output = nullptr);

// A virtual LAN made of network namespaces, for tests that broadcast: a "pc"
// namespace with adapters, one namespace per camera running the simulator,
// and the segments as bridges inside a switch namespace of their own. Nothing
// runs in the machine's own namespace: every link is created inside these
// namespaces. All names carry a prefix unique to this process ("qd<pid>-"),
// so parallel tests do not collide; the destructor removes everything, and
// the constructor removes what crashed runs left behind.
// Not thread-safe: use it from the test's thread.
class VirtualLan {
 public:
  static constexpr const char* kNamePrefix = "qd";

  VirtualLan();
  ~VirtualLan();
  VirtualLan(const VirtualLan&) = delete;
  VirtualLan& operator=(const VirtualLan&) = delete;

  // False once any step has failed; `Error` says which.
  bool ok() const { return error_.empty(); }
  const std::string& Error() const { return error_; }

  // A segment: a bridge that adapters and cameras attach to.
  bool AddSegment(const std::string& segment);
  // An adapter of the pc: `name` (at most 15 characters) with MAC `mac`
  // ("02:00:..") and `address` ("192.168.50.10/24") on `segment`.
  bool AddPcAdapter(const std::string& name, const std::string& segment, const std::string& mac,
                    const std::string& address);
  bool SetPcDefaultRoute(const std::string& gateway, const std::string& adapter);
  // rp_filter of the pc, on all its interfaces: 1 strict, 2 loose (the default here).
  bool SetPcRpFilter(int mode);
  // A camera namespace with "eth0" at `address` on `segment`, running the
  // simulator with `simulatorArgs` added to "--iface eth0". Waits until it
  // answers.
  bool AddCamera(const std::string& camera, const std::string& segment, const std::string& address,
                 const std::vector<std::string>& simulatorArgs);
  // Takes a camera's eth0 down or up, as a cable pulled and plugged in again,
  // and waits (at most a few seconds) until the switch agrees: its port to
  // the camera disabled, or forwarding again. The kernel brings the carrier
  // of both ends back only after `ip link set up` has returned; a broadcast
  // sent before then never reaches the camera.
  bool SetCameraLink(const std::string& camera, bool up);
  // Runs `ip` with `args` inside the namespace of "pc" or a camera.
  int Ip(const std::string& host, const std::vector<std::string>& args,
         std::string* output = nullptr);

  // The full namespace name of "pc", "sw" or a camera.
  std::string Namespace(const std::string& host) const { return prefix_ + host; }
  const std::string& Prefix() const { return prefix_; }

  // Moves the calling thread into the pc namespace for its lifetime; threads
  // started meanwhile stay there. Restores the thread's namespace at the end.
  class PcScope {
   public:
    ~PcScope();
    bool ok() const { return entered_; }

   private:
    friend class VirtualLan;
    explicit PcScope(const std::string& ns);
    int saved_ = -1;
    bool entered_ = false;
  };
  std::unique_ptr<PcScope> EnterPc() const;

  // The namespaces on this machine whose names start with `prefix`.
  static std::vector<std::string> NamespacesWithPrefix(const std::string& prefix);

 private:
  struct Simulator {
    pid_t pid;
    std::string ns;
    int output;  // read end of its standard output
  };

  bool Step(const std::vector<std::string>& argv);
  bool AddNamespace(const std::string& host);
  bool Attach(const std::string& switchPort, const std::string& host, const std::string& ifname,
              const std::string& segment);
  bool SwitchPortIs(const std::string& camera, bool up);
  static void RemoveStale();
  static void DeleteNamespace(const std::string& ns);

  std::string prefix_;
  std::string error_;
  std::vector<std::string> namespaces_;  // created, in order
  std::vector<Simulator> simulators_;
  std::map<std::string, std::string> camera_ports_;  // camera -> its port in "sw"
  int ports_ = 0;
};

}  // namespace testsupport
