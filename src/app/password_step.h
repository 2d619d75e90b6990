// The password page: what it takes from the page, and the proof and change
// of the password over HTTP as a job whose outcome the UI thread receives.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>

#include "app/camera_password.h"
#include "app/page_host.h"
#include "app/wizard_state.h"
#include "app/worker_job.h"

// UI thread: reads the password page into state.m_password,
// m_changePassword and m_newPassword. -1, or the message slot of the
// refusal (the new password's format or confirmation, or a current password
// that cannot be sent as typed); the new password is then wiped and only the
// fields at fault are emptied.
int TakePasswordFields(IPageHost& pages, WizardState& state);
// Empties the password fields that the message of `slot` is about: the new
// password and its confirmation, or the current password when the camera
// refused it; none for a camera that did not answer.
void ClearFieldsAtFault(IPageHost& pages, int slot);

// -1 when done, else the message slot the outcome shows.
int PasswordOutcomeSlot(PasswordOutcome outcome);

// Runs ProveAndChangePassword on a thread of its own. Threads: Start, Join
// and the destructor on the UI thread; `done` on the job's thread
// (or on the caller's when no thread can be made), once per Start.
class PasswordJob {
 public:
  using Done = std::function<void(PasswordOutcome)>;

  // The job's copies of the passwords are wiped once used. False when a job
  // still runs (nothing starts then).
  bool Start(const CameraRecord& camera, const std::string& password,
             const std::string* new_password, bool prove, int wake_fd, Done done);
  // Proves `first`, then `second` when the camera does not take the first.
  bool StartProofOfEither(const CameraRecord& camera, const std::string& first,
                          const std::string& second, int wake_fd, Done done);
  // Waits for the job's end; the camera commands end at once once wake_fd
  // is signalled.
  void Join() { job_.Join(); }

 private:
  bool Run(const std::string& first, const std::string* second, Done done,
           std::function<PasswordOutcome(std::string&, std::string&)> work);

  WorkerJob job_;
  std::atomic<bool> running_{false};
};
