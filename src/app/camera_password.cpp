#include "app/camera_password.h"

#include "app/text_convert.h"
#include "net/tavo_cgi.h"
#include "net/wipe.h"

namespace {

// A command that failed: refused when the camera answered with a status.
bool Refused(const NTavoCGI& cgi) { return cgi.last_status() > 0 && cgi.last_status() != 200; }

PasswordOutcome LogInAndChange(NTavoCGI& cgi, const CameraRecord& camera,
                               const std::string& password, const std::string* new_password,
                               bool prove) {
  std::string narrow = Utf8ToLatin1(password);
  // A password too long for the authorization line cannot be the camera's.
  const bool fits = cgi.http().SetServer(DottedAddress(RecordIpAddress(camera)).c_str(),
                                         RecordHttpPort(camera), "admin", narrow.c_str());
  WipeText(narrow);
  if (!fits) return PasswordOutcome::kRefused;
  if (prove && !cgi.QueryIPAddress())
    return Refused(cgi) ? PasswordOutcome::kRefused : PasswordOutcome::kNoAnswer;
  if (!new_password) return PasswordOutcome::kDone;
  std::string narrow_new = Utf8ToLatin1(*new_password);
  const bool changed = cgi.UpdateAdminPassword(narrow_new.c_str()) != nullptr;
  WipeText(narrow_new);
  if (changed) return PasswordOutcome::kDone;
  return Refused(cgi) ? PasswordOutcome::kChangeRefused : PasswordOutcome::kChangeNoAnswer;
}

}  // namespace

PasswordOutcome ProveAndChangePassword(const CameraRecord& camera, const std::string& password,
                                       const std::string* new_password, bool prove, int wake_fd) {
  NTavoCGI cgi(false);  // its credentials are overwritten when it goes
  cgi.http().socket().SetWakeFd(wake_fd);
  return LogInAndChange(cgi, camera, password, new_password, prove);
}

PasswordOutcome ProveEither(const CameraRecord& camera, const std::string& first,
                            const std::string& second, int wake_fd) {
  const PasswordOutcome one = ProveAndChangePassword(camera, first, nullptr, true, wake_fd);
  if (one == PasswordOutcome::kDone) return one;
  const PasswordOutcome two = ProveAndChangePassword(camera, second, nullptr, true, wake_fd);
  if (two == PasswordOutcome::kDone) return PasswordOutcome::kSecondHolds;
  const bool both_refused = one == PasswordOutcome::kRefused && two == PasswordOutcome::kRefused;
  return both_refused ? PasswordOutcome::kRefused : PasswordOutcome::kNoAnswer;
}
