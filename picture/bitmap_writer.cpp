#include "picture/bitmap_writer.h"

#include <QFileDevice>
#include <QtEndian>

#include <array>
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

template <typename T> void Put(std::array<char, HeadersSize>& out, int offset, T value)
{
    qToLittleEndian<T>(value, out.data() + offset);
}

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

// Starts the disk writing what a file has taken, every few MiB, without waiting for it. The
// sync that makes a save safe (QSaveFile's commit) then finds little left to write; it still
// waits for all of it, so nothing changes in what a finished save promises.
class WriteBack
{
public:
    explicit WriteBack(QIODevice& device)
        : file_(qobject_cast<QFileDevice*>(&device)), handed_(file_ ? file_->pos() : 0)
    {}

    // The file has taken everything up to offset `end`.
    void Written(qint64 end)
    {
#ifdef Q_OS_LINUX
        constexpr qint64 Step = qint64{2} << 20;
        if (file_ != nullptr && end - handed_ >= Step && file_->flush()) {
            (void)::sync_file_range(file_->handle(), handed_, end - handed_, SYNC_FILE_RANGE_WRITE);
            handed_ = end;
        }
#else
        Q_UNUSED(end);
#endif
    }

private:
    QFileDevice* file_;
    qint64 handed_;
};

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
    static const PackFunction pack = ChoosePack();
    WriteBack writeBack(device);
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
    qint64 end = device.pos();
    for (int y = height - 1; y >= 0; --y) {
        pack(reinterpret_cast<const QRgb*>(image.constScanLine(y)), width, chunk.data() + filled);
        // The padding bytes stay zero: the chunk was zeroed and rows always land at the same
        // offsets within it.
        filled += stride;
        if (filled == static_cast<qint64>(chunk.size()) || y == 0) {
            if (device.write(chunk.data(), filled) != filled) {
                return false;
            }
            end += filled;
            filled = 0;
            writeBack.Written(end);
        }
    }
    return true;
}

} // namespace lumenveil
