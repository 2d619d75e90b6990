#include <turbojpeg.h>

#include "generators.h"

namespace camsim {

JpegEncoder::JpegEncoder() : handle_(tjInitCompress()) {}

JpegEncoder::~JpegEncoder() {
  if (handle_) tjDestroy(static_cast<tjhandle>(handle_));
}

bool JpegEncoder::Encode(const uint8_t* rgb, int width, int height, int quality,
                         std::vector<uint8_t>* out) {
  if (!handle_) return false;
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  if (tjCompress2(static_cast<tjhandle>(handle_), rgb, width, 0, height, TJPF_RGB, &jpeg, &size,
                  TJSAMP_420, quality, TJFLAG_FASTDCT) != 0) {
    tjFree(jpeg);
    return false;
  }
  out->assign(jpeg, jpeg + size);
  tjFree(jpeg);
  return true;
}

}  // namespace camsim
