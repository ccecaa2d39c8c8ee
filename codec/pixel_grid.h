#pragma once

#include <algorithm>
#include <cstdint>

// Asks the memory for the cache line at `address` ahead of its use; a hint only, so a compiler
// without one gets nothing.
#if defined(__GNUC__) || defined(__clang__)
#define LUMENVEIL_PREFETCH(address) __builtin_prefetch(address)
#elif defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <xmmintrin.h>
#define LUMENVEIL_PREFETCH(address) _mm_prefetch(reinterpret_cast<const char*>(address), _MM_HINT_T0)
#else
#define LUMENVEIL_PREFETCH(address) ((void)(address))
#endif

namespace lumenveil {

// A colour laid out as 0x00BBGGRR: red in the lowest byte, the top byte zero.
using ColorValue = std::uint32_t;

[[nodiscard]] constexpr int RedOf(ColorValue c) { return static_cast<int>(c & 0xFFu); }
[[nodiscard]] constexpr int GreenOf(ColorValue c) { return static_cast<int>((c & 0xFF00u) / 256u); }
[[nodiscard]] constexpr int BlueOf(ColorValue c) { return static_cast<int>((c & 0xFF0000u) / 65536u); }

// Composes red + 256 * green + 65536 * blue; each component must lie in 0..255.
[[nodiscard]] constexpr ColorValue ComposeColor(int red, int green, int blue)
{
    return static_cast<ColorValue>(red) + 256u * static_cast<ColorValue>(green) +
           65536u * static_cast<ColorValue>(blue);
}

// The lowest bits of a colour's red, green and blue, the bits that carry a message, as one
// number: red * 4 + green * 2 + blue.
[[nodiscard]] constexpr std::uint8_t CarrierBits(ColorValue c)
{
    return static_cast<std::uint8_t>((c & 1u) << 2 | (c >> 7 & 2u) | (c >> 16 & 1u));
}

// The picture as the codec sees it: a W x H grid of 8-bit RGB pixels, origin at the top-left.
// Callers stay inside 0 <= x < ImageWidth(), 0 <= y < ImageHeight().
class PixelGrid
{
public:
    virtual ~PixelGrid() = default;

    [[nodiscard]] virtual int ImageWidth() const = 0;
    [[nodiscard]] virtual int ImageHeight() const = 0;
    [[nodiscard]] virtual ColorValue ReadPixel(int x, int y) const = 0;
    virtual void WritePixel(int x, int y, ColorValue color) = 0;

    // The CarrierBits of pixels `first` .. `first + count - 1` counted column by column (pixel
    // n lies at x = n / H, y = n % H) into out[0 .. count - 1]; the run must lie inside the
    // grid. Reads them one by one through ReadPixel; a grid that can read many at once faster
    // overrides it.
    virtual void ReadCarrierBits(std::int64_t first, std::int64_t count, std::uint8_t* out) const;
};

inline void PixelGrid::ReadCarrierBits(std::int64_t first, std::int64_t count,
                                       std::uint8_t* out) const
{
    const int height = ImageHeight();
    int x = static_cast<int>(first / height);
    int y = static_cast<int>(first % height);
    for (std::int64_t i = 0; i < count; ++i) {
        out[i] = CarrierBits(ReadPixel(x, y));
        if (++y == height) {
            y = 0;
            ++x;
        }
    }
}

// Copies the run of pixels `first` .. `first + count - 1` of a grid `height` pixels high,
// numbered column by column, into out[0 .. count - 1] from a grid stored row by row, PixelBytes
// bytes a pixel: rowAt(y) gives the bytes of row y from the run's first column on, valueOf(p)
// what `out` is to hold of the pixel whose bytes begin at p. Going down each column in turn
// would fetch a cache line (and often a page) for every pixel, so each row's part of the run
// is read straight through instead, its values spread over the columns of `out`, which stay
// in the cache. Rows lie far apart, and no processor guesses that pattern by itself: the rows
// a few ahead are asked of the memory while this one is copied.
template <int PixelBytes, typename Out, typename RowAt, typename ValueOf>
void CopyRunFromRows(std::int64_t first, std::int64_t count, std::int64_t height, Out* out,
                     RowAt rowAt, ValueOf valueOf)
{
    constexpr int Ahead = 4;
    constexpr int CacheLine = 64;
    const std::int64_t last = first + count - 1;
    const auto firstX = static_cast<int>(first / height);
    const auto lastX = static_cast<int>(last / height);
    const auto firstY = static_cast<int>(first % height);
    const auto lastY = static_cast<int>(last % height);
    // Only the first and the last column can be partial.
    const int fromY = firstX == lastX ? firstY : 0;
    const int toY = firstX == lastX ? lastY : static_cast<int>(height - 1);
    const std::int64_t runBytes = std::int64_t{lastX - firstX + 1} * PixelBytes;
    for (int y = fromY; y <= toY; ++y) {
        if (y + Ahead <= toY) {
            const unsigned char* ahead = rowAt(y + Ahead);
            for (std::int64_t b = 0; b < runBytes; b += CacheLine) {
                LUMENVEIL_PREFETCH(ahead + b);
            }
        }
        // Column firstX begins at row firstY, column lastX ends at row lastY.
        const int columns = lastX - firstX + 1 - (y > lastY ? 1 : 0);
        const int skipped = y < firstY ? 1 : 0;
        const unsigned char* row = rowAt(y);
        Out* to = out + (y - firstY);
        for (int c = skipped; c < columns; ++c) {
            to[c * height] = valueOf(row + std::int64_t{c} * PixelBytes);
        }
    }
}

} // namespace lumenveil
