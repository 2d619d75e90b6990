// One camera JPEG frame decoded into a bounded pixel buffer with libjpeg: in
// full, as a 24-bit bottom-up blue-green-red bitmap, or scaled down while
// decoding to the size it is shown at, in the format the window paints.
#pragma once

#include <cstddef>
#include <cstdint>

#include "media/bitmap_info.h"

struct jpeg_decompress_struct;

// Describes the decompressor's output in `info` after its header has been
// read: false (and `info` untouched) for an output this program's one-entry
// descriptor can't describe (greyscale or quantised output, which need a
// 256-entry colour table, and colour spaces other than blue-green-red and
// CMYK), or for a picture whose byte size does not fit 32 bits.
bool FillBitmapInfo(const jpeg_decompress_struct& decompressor, BitmapInfo* info);

// Decodes the `length` bytes at `data` into `pixels` (`pixels_size` bytes),
// bottom row first, and rewrites `info` to describe them: 0, or -1 when the
// frame is not a JPEG image libjpeg can decode or its picture would not fit
// `pixels` (checked from the header, before anything is decompressed; then
// `pixels` and `info` stay untouched). Greyscale frames come out as grey
// blue-green-red triples. A frame cut short is decoded with its missing end
// filled in; nothing is read past `length`.
int DecodeJpeg(const uint8_t* data, uint32_t length, BitmapInfo* info, uint8_t* pixels,
               size_t pixels_size);

// The size a `width` x `height` picture is decoded at by DecodeJpegScaled for
// `area`: the smallest of libjpeg's scales (1/8 to 8/8) at which the picture
// fitted into the area (FitPicture) still gets a decoded pixel for each of
// its pixels. Its own size when the area is empty; never larger.
PictureSize ScaledJpegSize(int width, int height, PictureSize area);

// Decodes the `length` bytes at `data` at ScaledJpegSize for `area` into
// `pixels` (`pixels_size` bytes) as 32-bit words 0xXXRRGGBB in the machine's
// byte order (Cairo's RGB24; a 32-bit top-down bitmap on little-endian
// machines), top row first, so that nothing is scaled away or converted
// after decoding, and rewrites `info` to describe them (negative height).
// Returns as DecodeJpeg, with the same checks; greyscale frames come out
// grey, CMYK frames are refused.
int DecodeJpegScaled(const uint8_t* data, uint32_t length, PictureSize area, BitmapInfo* info,
                     uint8_t* pixels, size_t pixels_size);
