#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

class QIODevice;

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

// What a bitmap file's headers promise, read without decoding anything.
struct BitmapHeader
{
    std::int64_t width = 0;
    std::int64_t height = 0;      // always positive; top-down files are flagged below
    std::int64_t pixelOffset = 0; // where a reader finds the pixel data in the file
    std::int64_t pixelBytes = -1; // bytes of uncompressed pixel data; -1 when compressed
    std::uint32_t bitCount = 0;
    std::uint32_t compression = 0; // 0 none, 1 RLE8, 2 RLE4, 3 bit fields, ...
    bool topDown = false;
    QString problem; // why no file can hold what the headers claim; empty where one can
};

// Reads the file and info headers from `head` (the first 64 bytes or the whole file where it is
// shorter). Returns nothing when the headers are cut short.
[[nodiscard]] std::optional<BitmapHeader> ParseBitmapHeader(const QByteArray& head);

// Pixels [from, to) of `rows` rows from `row` on, rows counted from the top of the picture.
struct PixelSpan
{
    std::int64_t row = 0;
    std::int64_t rows = 1;
    std::int64_t from = 0;
    std::int64_t to = 0;
};

// What walking the run-length data of an RLE4 or RLE8 bitmap found.
struct RunLengthLayout
{
    QString problem;                // why the data is broken; empty where it is sound
    std::vector<PixelSpan> skipped; // pixels no run sets (moves, early ends of line or bitmap)
    std::int64_t setPixels = -1;    // pixels the runs set; -1 for a bitmap without runs
};

// Walks the runs of an RLE4 or RLE8 bitmap without drawing them: every run must stay inside the
// picture and the data must reach its end-of-bitmap code within the file. Qt fills broken or
// missing runs with made-up pixels and calls it a success, and leaves skipped pixels as
// whatever the memory held. Other bitmaps give an empty layout. Leaves `device` at its start.
[[nodiscard]] RunLengthLayout WalkRunLengthData(QIODevice& device, qint64 size,
                                                const BitmapHeader& header);

// A short description of a bitmap variant Qt's reader does not handle (an unusual bit count or
// compression method), or empty where the variant is a common one.
[[nodiscard]] QString UnusualBitmapVariant(const BitmapHeader& header);

// Whether a GIF's first image, the one we take, is whole: all its data blocks are present.
// Leaves `device` at its start.
[[nodiscard]] bool GifFirstImageComplete(QIODevice& device);

} // namespace lumenveil
