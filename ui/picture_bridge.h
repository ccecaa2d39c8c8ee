#pragma once

// Where the window meets the picture core: file names, sentences and pixels passed between
// Qt's types and the core's, without copying a picture.

#include "picture/file_system.h"
#include "picture/picture_result.h"
#include "picture/pixel_buffer.h"

#include <QImage>
#include <QString>

namespace lumenveil::ui {

// The file name `path` as the system takes it.
[[nodiscard]] NativeName NativePath(const QString& path);

// DescribePictureResult for a file the window names by `path`.
[[nodiscard]] QString DescribePicture(const PictureResult& result, const QString& path);

// The pixels of `buffer` seen as a Format_RGB32 image, without a copy: valid while `buffer`
// holds them, and showing every change made to them. A null image while it is empty.
[[nodiscard]] QImage ImageOf(const PixelBuffer& buffer);

} // namespace lumenveil::ui
