#include "picture/bitmap_writer.h"

#include <algorithm>
#include <cstring>
#include <new>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <tmmintrin.h>
#endif

namespace lumenveil {

namespace {

constexpr int FileHeaderSize = 14;
constexpr int InfoHeaderSize = 40;
constexpr int HeadersSize = FileHeaderSize + InfoHeaderSize;
constexpr std::int32_t PixelsPerMetre = 2835; // 72 dots per inch
constexpr std::int64_t ChunkBytes = std::int64_t{1} << 20;

std::int64_t RowStride(int width) { return (std::int64_t{width} * 3 + 3) / 4 * 4; }

// Blue, green and red of `count` pixels (blue, green, red, 0xFF each) into `out`.
void PackPixels(const unsigned char* pixels, int count, char* out)
{
    for (int x = 0; x < count; ++x, pixels += BytesPerPixel, out += 3) {
        out[0] = static_cast<char>(pixels[0]);
        out[1] = static_cast<char>(pixels[1]);
        out[2] = static_cast<char>(pixels[2]);
    }
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define LUMENVEIL_PACK_SSSE3 1

// The same with one SSSE3 shuffle for four pixels. Each 16-byte store writes four bytes past
// its twelve, which the next store overwrites; the plain loop takes the row's last four to
// seven pixels, so no store reaches past the row.
__attribute__((target("ssse3"))) void PackPixelsSsse3(const unsigned char* pixels, int count,
                                                      char* out)
{
    const __m128i dropFourth =
        _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    int x = 0;
    for (; x + 8 <= count; x += 4, out += 12) {
        const __m128i four =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + x * BytesPerPixel));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(four, dropFourth));
    }
    PackPixels(pixels + x * BytesPerPixel, count - x, out);
}
#endif

using PackFunction = void (*)(const unsigned char*, int, char*);

PackFunction ChoosePack()
{
#ifdef LUMENVEIL_PACK_SSSE3
    if (__builtin_cpu_supports("ssse3")) {
        return PackPixelsSsse3;
    }
#endif
    return PackPixels;
}

template <typename T> void PutLittle(std::vector<char>& to, int offset, T value)
{
    auto bits = static_cast<std::uint32_t>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i, bits >>= 8) {
        to[static_cast<std::size_t>(offset) + i] = static_cast<char>(bits & 0xFF);
    }
}

} // namespace

std::int64_t BitmapFileSize(int width, int height)
{
    return HeadersSize + RowStride(width) * height;
}

BitmapRowWriter::BitmapRowWriter(int width, int height, PutBitmapBytes put)
    : width_(width), height_(height), stride_(RowStride(width)), put_(std::move(put))
{}

bool BitmapRowWriter::WriteHeaders()
{
    std::vector<char> headers(HeadersSize, 0);
    headers[0] = 'B';
    headers[1] = 'M';
    PutLittle(headers, 2, static_cast<std::uint32_t>(BitmapFileSize(width_, height_)));
    PutLittle(headers, 10, std::uint32_t{HeadersSize});
    PutLittle(headers, 14, std::uint32_t{InfoHeaderSize});
    PutLittle(headers, 18, std::int32_t{width_});
    PutLittle(headers, 22, std::int32_t{height_}); // positive: rows stored bottom-up
    PutLittle(headers, 26, std::uint16_t{1});      // planes
    PutLittle(headers, 28, std::uint16_t{24});     // bits per pixel
    PutLittle(headers, 30, std::uint32_t{0});      // BI_RGB, no compression
    PutLittle(headers, 34, static_cast<std::uint32_t>(stride_ * height_));
    PutLittle(headers, 38, std::int32_t{PixelsPerMetre});
    PutLittle(headers, 42, std::int32_t{PixelsPerMetre});
    return put_(0, std::move(headers));
}

bool BitmapRowWriter::WriteRows(const RowBand& band)
{
    static const PackFunction pack = ChoosePack();
    // Whole rows per piece; a single row wider than a piece gets a piece of its own. The rows
    // lie bottom-up: the band's last row comes first.
    const std::int64_t rowsPerPiece = std::max<std::int64_t>(1, ChunkBytes / stride_);
    std::int64_t offset = HeadersSize + std::int64_t{height_ - band.bottom} * stride_;
    for (int y = band.bottom - 1; y >= band.top;) {
        const std::int64_t rows = std::min<std::int64_t>(rowsPerPiece, y - band.top + 1);
        std::vector<char> piece;
        try {
            // Zeroed, so the padding bytes after each row stay zero.
            piece.assign(static_cast<std::size_t>(rows * stride_), 0);
        } catch (const std::bad_alloc&) {
            outOfMemory_ = true;
            return false;
        }
        for (std::int64_t i = 0; i < rows; ++i, --y) {
            pack(band.Row(y), width_, piece.data() + i * stride_);
        }
        const auto size = static_cast<std::int64_t>(piece.size());
        if (!put_(offset, std::move(piece))) {
            return false;
        }
        offset += size;
    }
    return true;
}

} // namespace lumenveil
