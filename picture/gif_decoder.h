#pragma once

#include "picture/picture_decoder.h"

#include <memory>

namespace lumenveil {

// GIF through giflib: the first image, transparent pixels in the colour their index names.
[[nodiscard]] std::unique_ptr<PictureDecoder> MakeGifDecoder(ByteSource& source,
                                                               const DecodeLimits& limits);

} // namespace lumenveil
