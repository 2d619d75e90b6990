#include <sys/prctl.h>
#include <sys/resource.h>

#include "app/quenlo_app.h"

namespace {

// The wizard holds the camera's password from its first page on (the
// factory one to begin with): no core dump may write it to a file, and no
// other process of the user may read or trace its memory.
void KeepMemoryPrivate() {
  const rlimit no_core{0, 0};
  setrlimit(RLIMIT_CORE, &no_core);
  prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

}  // namespace

int main(int argc, char** argv) {
  KeepMemoryPrivate();
  CQuenloApp app;
  return app.InitInstance(argc, argv);
}
