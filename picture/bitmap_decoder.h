#pragma once

#include "picture/picture_decoder.h"

#include <memory>

namespace lumenveil {

// Windows bitmaps (BMP) through a decoder of our own: 1, 2, 4, 8, 16, 24 and 32 bits a pixel,
// RLE4 and RLE8, bit fields with and without alpha, the OS/2 and Windows headers, rows stored
// top-down or bottom-up.
[[nodiscard]] std::unique_ptr<PictureDecoder> MakeBitmapDecoder(ByteSource& source,
                                                               const DecodeLimits& limits);

} // namespace lumenveil
