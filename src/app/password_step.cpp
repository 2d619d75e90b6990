#include "app/password_step.h"

#include "app/entry_rules.h"
#include "app/page_text.h"
#include "net/wipe.h"

int TakePasswordFields(IPageHost& pages, WizardState& state) {
  std::optional<std::string> current = ReadPageText(pages, "id_pw_password");
  std::optional<std::string> typed = ReadPageText(pages, "id_pw_new_pw");
  std::string confirmation = ReadPageText(pages, "id_pw_cf_new_pw").value_or("");
  for (const char* id : {"id_pw_password", "id_pw_new_pw", "id_pw_cf_new_pw"})
    pages.SetAttribute(id, "value", "");
  if (current) {
    WipeText(state.m_password);
    state.m_password = *current;
    WipeText(*current);
  }
  if (const std::optional<bool> change = ReadPageChecked(pages, "id_pw_change_pw"))
    state.m_changePassword = *change;
  int refusal = -1;
  if (!state.m_changePassword) {
    WipeText(state.m_newPassword);
  } else {
    if (typed) {
      WipeText(state.m_newPassword);
      state.m_newPassword = *typed;
    }
    if (!IsPasswordFormatValid(state.m_newPassword)) {
      refusal = kMsgPwFormatError;
    } else if (state.m_newPassword != confirmation) {
      refusal = kMsgPwNotMatch;
    }
  }
  if (typed) WipeText(*typed);
  WipeText(confirmation);
  if (refusal >= 0) WipeText(state.m_newPassword);
  return refusal;
}

int PasswordOutcomeSlot(PasswordOutcome outcome) {
  switch (outcome) {
    case PasswordOutcome::kDone:
      return -1;
    case PasswordOutcome::kChangeRefused:
      return kMsgChangePwdFail;
    case PasswordOutcome::kRefused:
      break;
  }
  return kMsgPwIncorrect;
}

bool PasswordJob::Start(const CameraRecord& camera, const std::string& password,
                        const std::string* new_password, bool prove, int wake_fd, Done done) {
  if (running_) return false;
  Join();
  running_ = true;
  auto work = [this, camera, pw = std::string(password), prove, wake_fd, done = std::move(done),
               wanted = new_password != nullptr,
               next = new_password ? *new_password : std::string()]() mutable {
    const PasswordOutcome outcome =
        ProveAndChangePassword(camera, pw, wanted ? &next : nullptr, prove, wake_fd);
    WipeText(pw);
    WipeText(next);
    running_ = false;
    done(outcome);
  };
  job_.Start(std::move(work));
  return true;
}
