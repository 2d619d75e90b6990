// The camera's administrator password over HTTP: proving the one the wizard
// believes, and changing it.
#pragma once

#include <string>

#include "discovery/discovery_wire.h"

// What a camera said to a password. "Refused" means it answered with a
// status other than 200; "no answer" that nothing usable came back in time
// (no connection, a time-out, the deadline, a reply broken off).
enum class PasswordOutcome {
  kDone,            // proven, and changed when asked; of two passwords, the first holds
  kRefused,         // the camera does not take `password` (or it cannot be sent)
  kNoAnswer,        // the proof got no answer
  kChangeRefused,   // it took `password` but refused the new one
  kChangeNoAnswer,  // it took `password`; the change got no answer, so either may hold
  kSecondHolds,     // of two passwords, the first is refused and the second holds
};

// Logs in as "admin" with `password` (proving it with the parameter listing
// when `prove`), then sets `new_password` when it is given. Texts are UTF-8
// and go to the camera as 8-bit text. Blocks for up to the command deadline
// (NHttp::kCommandDeadlineMs) per request: not on the UI thread. Signalling
// `wake_fd` (-1: none) ends it at once, as unanswered.
PasswordOutcome ProveAndChangePassword(const CameraRecord& camera, const std::string& password,
                                       const std::string* new_password, bool prove,
                                       int wake_fd = -1);

// Which of two passwords the camera takes, `first` tried first: kDone,
// kSecondHolds, kRefused (neither) or kNoAnswer (no answer to one of them
// while the other was not taken). Blocks like ProveAndChangePassword.
PasswordOutcome ProveEither(const CameraRecord& camera, const std::string& first,
                            const std::string& second, int wake_fd = -1);
