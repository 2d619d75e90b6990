// The application object: prepares the process, runs the wizard's window
// until it ends, then shuts the dialog down.
#pragma once

class CQuenloApp {
 public:
  // Returns the process exit status.
  int InitInstance(int argc, char** argv);
};
