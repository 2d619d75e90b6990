// The camera's administrator password over HTTP: proving the one the wizard
// believes, and changing it.
#pragma once

#include <string>

#include "discovery/discovery_wire.h"

enum class PasswordOutcome {
  kDone,
  kRefused,        // the camera does not take `password` (or it cannot be sent)
  kChangeRefused,  // it took `password` but refused the new one
};

// Logs in as "admin" with `password` (proving it with the parameter listing
// when `prove`), then sets `new_password` when it is given. Texts are UTF-8
// and go to the camera as 8-bit text. Blocks for up to the command deadline
// (NHttp::kCommandDeadlineMs) per request: not on the UI thread. Signalling
// `wake_fd` (-1: none) ends it at once, as refused.
PasswordOutcome ProveAndChangePassword(const CameraRecord& camera, const std::string& password,
                                       const std::string* new_password, bool prove,
                                       int wake_fd = -1);
