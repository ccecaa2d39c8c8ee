#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

#include <cstdint>
#include <optional>

namespace lumenveil {

// The kinds of picture file we read, told apart by their first bytes, never by the file name.
enum class PictureKind
{
    Unknown,
    Bitmap,
    Jpeg,
    Gif,
    Png,
};

// The kind whose signature `head` (the file's first bytes, at least 8 where the file has them)
// starts with.
[[nodiscard]] PictureKind SniffPictureKind(const QByteArray& head);

// The format name QImageReader knows the kind by ("bmp", "jpeg", ...), empty for Unknown.
[[nodiscard]] QByteArray ReaderFormat(PictureKind kind);

// What a bitmap file's headers promise, read without decoding anything.
struct BitmapHeader
{
    std::int64_t width = 0;
    std::int64_t height = 0;      // always positive; top-down files are flagged below
    std::int64_t pixelOffset = 0; // where the pixel data starts in the file
    std::int64_t pixelBytes = -1; // bytes of uncompressed pixel data; -1 when compressed
};

// Reads the file and info headers from `head` (the first 64 bytes or the whole file where it is
// shorter). Returns nothing when the headers are cut short.
[[nodiscard]] std::optional<BitmapHeader> ParseBitmapHeader(const QByteArray& head);

// Whether a JPEG's compressed data goes on to its end-of-image marker. A JPEG cut short
// decodes "successfully" with grey made-up rows, so a missing end marker means damage.
// Reads `device` (seekable, `size` bytes) and leaves it at its start.
[[nodiscard]] bool JpegReachesEnd(QIODevice& device, qint64 size);

// Whether a GIF's first image, the one we take, is whole: all its data blocks are present.
// Leaves `device` at its start.
[[nodiscard]] bool GifFirstImageComplete(QIODevice& device);

} // namespace lumenveil
