#include "app/camera_password.h"

#include "app/text_convert.h"
#include "net/tavo_cgi.h"

PasswordOutcome ProveAndChangePassword(const CameraRecord& camera, const std::string& password,
                                       const std::string* new_password, bool prove) {
  NTavoCGI cgi(false);
  const std::string narrow = Utf8ToLatin1(password);
  // A password too long for the authorization line cannot be the camera's.
  if (!cgi.http().SetServer(DottedAddress(RecordIpAddress(camera)).c_str(), RecordHttpPort(camera),
                            "admin", narrow.c_str()))
    return PasswordOutcome::kRefused;
  if (prove && !cgi.QueryIPAddress()) return PasswordOutcome::kRefused;
  if (new_password && !cgi.UpdateAdminPassword(Utf8ToLatin1(*new_password).c_str()))
    return PasswordOutcome::kChangeRefused;
  return PasswordOutcome::kDone;
}
