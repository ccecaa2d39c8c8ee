#pragma once

#include "picture/picture_surface.h"
#include "picture/pixel_memory.h"

#include <QImage>


namespace lumenveil {

// A picture of `width` x `height` pixels, 4 bytes each, rows packed without padding, in memory
// of AllocatePixelMemory that the returned image frees when its last copy goes. The pixels are
// not set. A null image when the memory cannot be had or the size is outside
// 1 .. MaxPicturePixels. `format` is Format_RGB32 or Format_ARGB32.
[[nodiscard]] QImage AllocatePicture(int width, int height,
                                     QImage::Format format = QImage::Format_RGB32);

// Brings a picture a Qt reader decoded to Format_RGB32 without losing a bit of any component:
// transparent pixels keep their own colour (alpha is dropped, never multiplied in), the colour
// profile is not applied. A 32-bit picture is converted in place; any other is converted row by
// row into a new picture, so that two full copies never live longer than the conversion.
// Fails as Damaged when a pixel of a palette picture names a colour its palette lacks, and as
// OutOfMemory when the memory for the new picture cannot be had; `out` is then left as it was.
// `decoded` is left empty on success.
[[nodiscard]] PictureResult MakeOpaqueRgb32(QImage& decoded, QImage& out);

} // namespace lumenveil
