#pragma once

#include <QImage>

class QIODevice;

namespace lumenveil {

// Writes `image` (Format_RGB32) to `device` as an uncompressed 24-bit Windows bitmap: a 14-byte
// file header, a 40-byte BITMAPINFOHEADER, then the rows bottom-up, each B, G, R per pixel and
// padded to a multiple of 4 bytes. Every component is written exactly. Streams the rows in
// chunks, so memory stays small whatever the picture's size; a file is handed to the disk every
// few MiB as it goes, so that a sync after it has little left to wait for. Returns false as soon
// as the device takes less than it was given.
[[nodiscard]] bool WriteBitmap(QIODevice& device, const QImage& image);

// The size in bytes of the file WriteBitmap produces for a width x height picture.
[[nodiscard]] qint64 BitmapFileSize(int width, int height);

} // namespace lumenveil
