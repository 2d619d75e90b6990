#include "app/camera_password.h"

#include "app/text_convert.h"
#include "net/tavo_cgi.h"
#include "net/wipe.h"

namespace {

PasswordOutcome LogInAndChange(NTavoCGI& cgi, const CameraRecord& camera,
                               const std::string& password, const std::string* new_password,
                               bool prove) {
  std::string narrow = Utf8ToLatin1(password);
  // A password too long for the authorization line cannot be the camera's.
  const bool fits = cgi.http().SetServer(DottedAddress(RecordIpAddress(camera)).c_str(),
                                         RecordHttpPort(camera), "admin", narrow.c_str());
  WipeText(narrow);
  if (!fits || (prove && !cgi.QueryIPAddress())) return PasswordOutcome::kRefused;
  if (!new_password) return PasswordOutcome::kDone;
  std::string narrow_new = Utf8ToLatin1(*new_password);
  const bool changed = cgi.UpdateAdminPassword(narrow_new.c_str()) != nullptr;
  WipeText(narrow_new);
  return changed ? PasswordOutcome::kDone : PasswordOutcome::kChangeRefused;
}

}  // namespace

PasswordOutcome ProveAndChangePassword(const CameraRecord& camera, const std::string& password,
                                       const std::string* new_password, bool prove, int wake_fd) {
  NTavoCGI cgi(false);  // its credentials are overwritten when it goes
  cgi.http().socket().SetWakeFd(wake_fd);
  return LogInAndChange(cgi, camera, password, new_password, prove);
}
