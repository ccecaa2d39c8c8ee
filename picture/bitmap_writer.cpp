#include "picture/bitmap_writer.h"

#include <QFileDevice>
#include <QtEndian>

#include <vector>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#endif
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <tmmintrin.h>
#endif

namespace lumenveil {

namespace {

constexpr int FileHeaderSize = 14;
constexpr int InfoHeaderSize = 40;
constexpr int HeadersSize = FileHeaderSize + InfoHeaderSize;
constexpr std::int32_t PixelsPerMetre = 2835; // 72 dots per inch
constexpr qint64 ChunkBytes = qint64{1} << 20;

qint64 RowStride(int width) { return (qint64{width} * 3 + 3) / 4 * 4; }

// Blue, green and red of `count` RGB32 pixels into `out`, three bytes each: four pixels make
// three 32-bit words, the alpha byte of each left out.
void PackPixels(const QRgb* pixels, int count, char* out)
{
    int x = 0;
    for (; x + 4 <= count; x += 4, out += 12) {
        const quint32 p0 = pixels[x];
        const quint32 p1 = pixels[x + 1];
        const quint32 p2 = pixels[x + 2];
        const quint32 p3 = pixels[x + 3];
        qToLittleEndian<quint32>((p0 & 0xFFFFFFu) | p1 << 24, out);
        qToLittleEndian<quint32>((p1 >> 8 & 0xFFFFu) | p2 << 16, out + 4);
        qToLittleEndian<quint32>((p2 >> 16 & 0xFFu) | p3 << 8, out + 8);
    }
    for (; x < count; ++x) {
        *out++ = static_cast<char>(qBlue(pixels[x]));
        *out++ = static_cast<char>(qGreen(pixels[x]));
        *out++ = static_cast<char>(qRed(pixels[x]));
    }
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define LUMENVEIL_PACK_SSSE3 1

// The same with one SSSE3 shuffle for four pixels (in memory an RGB32 pixel is blue, green,
// red, alpha). Each 16-byte store writes four bytes past its twelve, which the next store
// overwrites; the plain loop takes the row's last four to seven pixels, so no store reaches
// past the row, and that loop runs on every processor, not only on those without SSSE3.
__attribute__((target("ssse3"))) void PackPixelsSsse3(const QRgb* pixels, int count, char* out)
{
    const __m128i dropAlpha = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    int x = 0;
    for (; x + 8 <= count; x += 4, out += 12) {
        const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(four, dropAlpha));
    }
    PackPixels(pixels + x, count - x, out);
}
#endif

using PackFunction = void (*)(const QRgb*, int, char*);

PackFunction ChoosePack()
{
#ifdef LUMENVEIL_PACK_SSSE3
    if (__builtin_cpu_supports("ssse3")) {
        return PackPixelsSsse3;
    }
#endif
    return PackPixels;
}

} // namespace

qint64 BitmapFileSize(int width, int height) { return HeadersSize + RowStride(width) * height; }

bool WriteBitmap(QIODevice& device, const QImage& image)
{
    Q_ASSERT(image.format() == QImage::Format_RGB32);
    BitmapDeviceOutput output(device);
    BitmapRowWriter writer(image.width(), image.height(),
                           [&output](qint64 offset, std::vector<char>&& bytes) {
                               return output.Put(offset, bytes);
                           });
    return writer.WriteHeaders() && writer.WriteRows(image, 0, image.height());
}

BitmapDeviceOutput::BitmapDeviceOutput(QIODevice& device) : device_(device), start_(device.pos())
{}

bool BitmapDeviceOutput::Put(qint64 offset, const std::vector<char>& bytes)
{
    if (offset != next_ && !device_.seek(start_ + offset)) {
        return false;
    }
    const auto size = static_cast<qint64>(bytes.size());
    if (device_.write(bytes.data(), size) != size) {
        return false;
    }
    next_ = offset + size;
    HandToDisk(start_ + offset, start_ + next_);
    return true;
}

void BitmapDeviceOutput::HandToDisk(qint64 from, qint64 to)
{
#ifdef Q_OS_LINUX
    auto* file = qobject_cast<QFileDevice*>(&device_);
    if (file == nullptr) {
        return;
    }
    // Pieces that follow one another on the disk, in either direction, are handed together.
    const auto hand = [this, file] {
        if (handedTo_ > handedFrom_ && file->flush()) {
            (void)::sync_file_range(file->handle(), handedFrom_, handedTo_ - handedFrom_,
                                    SYNC_FILE_RANGE_WRITE);
        }
        handedFrom_ = handedTo_ = 0;
    };
    if (handedTo_ == from && handedTo_ > handedFrom_) {
        handedTo_ = to;
    } else if (handedFrom_ == to && handedTo_ > handedFrom_) {
        handedFrom_ = from;
    } else {
        hand();
        handedFrom_ = from;
        handedTo_ = to;
    }
    constexpr qint64 Step = qint64{2} << 20;
    if (handedTo_ - handedFrom_ >= Step) {
        hand();
    }
#else
    Q_UNUSED(from);
    Q_UNUSED(to);
#endif
}

BitmapRowWriter::BitmapRowWriter(int width, int height, PutBitmapBytes put)
    : width_(width), height_(height), stride_(RowStride(width)), put_(std::move(put))
{}

bool BitmapRowWriter::WriteHeaders()
{
    std::vector<char> headers(HeadersSize, 0);
    const auto put = [&headers]<typename T>(int offset, T value) {
        qToLittleEndian<T>(value, headers.data() + offset);
    };
    headers[0] = 'B';
    headers[1] = 'M';
    put(2, static_cast<std::uint32_t>(BitmapFileSize(width_, height_)));
    put(10, std::uint32_t{HeadersSize});
    put(14, std::uint32_t{InfoHeaderSize});
    put(18, std::int32_t{width_});
    put(22, std::int32_t{height_}); // positive: rows stored bottom-up
    put(26, std::uint16_t{1});      // planes
    put(28, std::uint16_t{24});     // bits per pixel
    put(30, std::uint32_t{0});      // BI_RGB, no compression
    put(34, static_cast<std::uint32_t>(stride_ * height_));
    put(38, std::int32_t{PixelsPerMetre});
    put(42, std::int32_t{PixelsPerMetre});
    return put_(0, std::move(headers));
}

bool BitmapRowWriter::WriteRows(const QImage& image, int top, int bottom, int imageTop)
{
    static const PackFunction pack = ChoosePack();
    Q_ASSERT(image.format() == QImage::Format_RGB32 && image.width() == width_ &&
             0 <= top && top <= bottom && bottom <= height_ && imageTop <= top &&
             bottom - imageTop <= image.height());
    // Whole rows per piece; a single row wider than a piece gets a piece of its own. The rows
    // lie bottom-up: the band's last row comes first.
    const qint64 rowsPerPiece = std::max<qint64>(1, ChunkBytes / std::max<qint64>(1, stride_));
    qint64 offset = HeadersSize + qint64{height_ - bottom} * stride_;
    for (int y = bottom - 1; y >= top;) {
        const qint64 rows = std::min<qint64>(rowsPerPiece, y - top + 1);
        // Zeroed, so the padding bytes after each row stay zero.
        std::vector<char> piece(static_cast<std::size_t>(rows * stride_), 0);
        for (qint64 i = 0; i < rows; ++i, --y) {
            pack(reinterpret_cast<const QRgb*>(image.constScanLine(y - imageTop)), width_,
                 piece.data() + i * stride_);
        }
        const auto size = static_cast<qint64>(piece.size());
        if (!put_(offset, std::move(piece))) {
            return false;
        }
        offset += size;
    }
    return true;
}

} // namespace lumenveil
