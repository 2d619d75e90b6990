// Starts the program as another user in tests that drive it with UiSession.
#pragma once

#include <string>

// UiSession starts <medium root>bin/quenlo-setup as the test's own user. In
// the folder this makes, that file is a script that hands the automation
// socket's folder to `user` (the program creates its socket there and takes
// it as its home and runtime folder, as a person logged in has them), drops to
// `user` with setpriv, no capability kept, and starts `program` with only the
// environment UiSession gives it. Needs root. The folder goes at the end.
class UserLauncher {
 public:
  UserLauncher(const std::string& user, const std::string& program);
  ~UserLauncher();
  UserLauncher(const UserLauncher&) = delete;
  UserLauncher& operator=(const UserLauncher&) = delete;

  // False when the user is unknown or the script could not be written.
  bool Ok() const { return uid_ >= 0; }
  // The medium root to start UiSession with; ends with '/'.
  const std::string& Root() const { return root_; }
  long Uid() const { return uid_; }

 private:
  std::string root_;
  long uid_ = -1;
};
