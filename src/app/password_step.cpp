#include "app/password_step.h"

#include <memory>
#include <vector>

#include "app/entry_rules.h"
#include "app/page_text.h"
#include "app/text_convert.h"
#include "app/wizard_messages.h"
#include "net/wipe.h"

// Every copy taken here is wiped once the state holds what it needs.
int TakePasswordFields(IPageHost& pages, WizardState& state) {
  if (std::optional<std::string> current = ReadPageText(pages, "id_pw_password")) {
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
    if (std::optional<std::string> typed = ReadPageText(pages, "id_pw_new_pw")) {
      WipeText(state.m_newPassword);
      state.m_newPassword = *typed;
      WipeText(*typed);
    }
    std::optional<std::string> confirmation = ReadPageText(pages, "id_pw_cf_new_pw");
    if (!IsPasswordFormatValid(state.m_newPassword)) {
      refusal = kMsgPwFormatError;
    } else if (!confirmation || state.m_newPassword != *confirmation) {
      refusal = kMsgPwNotMatch;
    }
    if (confirmation) WipeText(*confirmation);
  }
  if (refusal < 0 && !IsLatin1Text(state.m_password)) refusal = kMsgPwCharacter;
  if (refusal >= 0) {
    WipeText(state.m_newPassword);
    ClearFieldsAtFault(pages, refusal);
  }
  return refusal;
}

void ClearFieldsAtFault(IPageHost& pages, int slot) {
  std::vector<const char*> fields;
  if (slot == kMsgPwFormatError || slot == kMsgPwNotMatch || slot == kMsgChangePwdFail) {
    fields = {"id_pw_new_pw", "id_pw_cf_new_pw"};
  } else if (slot == kMsgPwIncorrect || slot == kMsgPwCharacter) {
    fields = {"id_pw_password"};
  }
  for (const char* id : fields) pages.SetAttribute(id, "value", "");
}

int PasswordOutcomeSlot(PasswordOutcome outcome) {
  switch (outcome) {
    case PasswordOutcome::kDone:
    case PasswordOutcome::kSecondHolds:
      return -1;
    case PasswordOutcome::kNoAnswer:
      return kMsgPwNoAnswer;
    case PasswordOutcome::kChangeRefused:
      return kMsgChangePwdFail;
    case PasswordOutcome::kChangeNoAnswer:
      return kMsgChangePwdNoAnswer;
    case PasswordOutcome::kRefused:
      break;
  }
  return kMsgPwIncorrect;
}

namespace {

// The job's copies of the passwords, made once and wiped when the job ends;
// moving the job's closure around moves only the pointer.
struct JobSecrets {
  std::string first;
  std::string second;
  ~JobSecrets() {
    WipeText(first);
    WipeText(second);
  }
};

}  // namespace

bool PasswordJob::Start(const CameraRecord& camera, const std::string& password,
                        const std::string* new_password, bool prove, int wake_fd, Done done) {
  return Run(password, new_password, std::move(done),
             [camera, prove, wanted = new_password != nullptr, wake_fd](std::string& pw,
                                                                        std::string& next) {
               return ProveAndChangePassword(camera, pw, wanted ? &next : nullptr, prove, wake_fd);
             });
}

bool PasswordJob::StartProofOfEither(const CameraRecord& camera, const std::string& first,
                                     const std::string& second, int wake_fd, Done done) {
  return Run(first, &second, std::move(done),
             [camera, wake_fd](std::string& one, std::string& two) {
               return ProveEither(camera, one, two, wake_fd);
             });
}

bool PasswordJob::Run(const std::string& first, const std::string* second, Done done,
                      std::function<PasswordOutcome(std::string&, std::string&)> work) {
  if (running_) return false;
  Join();
  running_ = true;
  auto secrets = std::make_shared<JobSecrets>();
  secrets->first = first;
  if (second) secrets->second = *second;
  job_.Start([this, secrets, done = std::move(done), work = std::move(work)]() mutable {
    const PasswordOutcome outcome = work(secrets->first, secrets->second);
    secrets.reset();
    running_ = false;
    done(outcome);
  });
  return true;
}
