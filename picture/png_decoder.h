#pragma once

#include "picture/picture_decoder.h"

#include <memory>

namespace lumenveil {

// PNG through libpng: the first image, 16-bit samples rounded to 8 bits, alpha dropped,
// gamma and colour profiles not applied.
[[nodiscard]] std::unique_ptr<PictureDecoder> MakePngDecoder(ByteSource& source,
                                                               const DecodeLimits& limits);

} // namespace lumenveil
