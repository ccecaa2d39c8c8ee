#pragma once

#include "picture/picture_decoder.h"

#include <memory>

namespace lumenveil {

// JPEG through libjpeg-turbo, decoded straight into the picture's RGB32 rows. Data that libjpeg
// would have to make pixels up for (cut short, a bad code, a marker inside the scan) is damage;
// stray bytes between segments are not. EXIF orientation is applied as the rows arrive, with
// no second copy of the picture.
[[nodiscard]] std::unique_ptr<PictureDecoder> MakeJpegDecoder(ByteSource& source,
                                                              const DecodeLimits& limits);

} // namespace lumenveil
