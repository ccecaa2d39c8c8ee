#include "picture/bitmap_writer.h"

#include <QIODevice>
#include <QtEndian>

#include <array>
#include <vector>

namespace lumenveil {

namespace {

constexpr int FileHeaderSize = 14;
constexpr int InfoHeaderSize = 40;
constexpr int HeadersSize = FileHeaderSize + InfoHeaderSize;
constexpr std::int32_t PixelsPerMetre = 2835; // 72 dots per inch
constexpr qint64 ChunkBytes = qint64{1} << 20;

qint64 RowStride(int width) { return (qint64{width} * 3 + 3) / 4 * 4; }

template <typename T> void Put(std::array<char, HeadersSize>& out, int offset, T value)
{
    qToLittleEndian<T>(value, out.data() + offset);
}

} // namespace

qint64 BitmapFileSize(int width, int height) { return HeadersSize + RowStride(width) * height; }

bool WriteBitmap(QIODevice& device, const QImage& image)
{
    Q_ASSERT(image.format() == QImage::Format_RGB32);
    const int width = image.width();
    const int height = image.height();
    const qint64 stride = RowStride(width);

    std::array<char, HeadersSize> headers{};
    headers[0] = 'B';
    headers[1] = 'M';
    Put<std::uint32_t>(headers, 2, static_cast<std::uint32_t>(BitmapFileSize(width, height)));
    Put<std::uint32_t>(headers, 10, HeadersSize);
    Put<std::uint32_t>(headers, 14, InfoHeaderSize);
    Put<std::int32_t>(headers, 18, width);
    Put<std::int32_t>(headers, 22, height); // positive: rows stored bottom-up
    Put<std::uint16_t>(headers, 26, 1);     // planes
    Put<std::uint16_t>(headers, 28, 24);    // bits per pixel
    Put<std::uint32_t>(headers, 30, 0);     // BI_RGB, no compression
    Put<std::uint32_t>(headers, 34, static_cast<std::uint32_t>(stride * height));
    Put<std::int32_t>(headers, 38, PixelsPerMetre);
    Put<std::int32_t>(headers, 42, PixelsPerMetre);
    if (device.write(headers.data(), HeadersSize) != HeadersSize) {
        return false;
    }

    // Whole rows per chunk; a single row wider than a chunk gets a chunk of its own.
    const qint64 rowsPerChunk = std::max<qint64>(1, ChunkBytes / std::max<qint64>(1, stride));
    std::vector<char> chunk(static_cast<std::size_t>(rowsPerChunk * stride), 0);
    qint64 filled = 0;
    for (int y = height - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        char* out = chunk.data() + filled;
        for (int x = 0; x < width; ++x) {
            const QRgb pixel = row[x];
            *out++ = static_cast<char>(qBlue(pixel));
            *out++ = static_cast<char>(qGreen(pixel));
            *out++ = static_cast<char>(qRed(pixel));
        }
        // The padding bytes stay zero: the chunk was zeroed and rows always land at the same
        // offsets within it.
        filled += stride;
        if (filled == static_cast<qint64>(chunk.size()) || y == 0) {
            if (device.write(chunk.data(), filled) != filled) {
                return false;
            }
            filled = 0;
        }
    }
    return true;
}

} // namespace lumenveil
