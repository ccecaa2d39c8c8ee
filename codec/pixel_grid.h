#pragma once

#include <algorithm>
#include <cstdint>

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

    // Pixels `first` .. `first + count - 1` counted column by column (pixel n lies at
    // x = n / H, y = n % H) into out[0 .. count - 1]; the run must lie inside the grid. Reads
    // them one by one through ReadPixel; a grid that can read many at once faster overrides it.
    virtual void ReadPixels(std::int64_t first, std::int64_t count, ColorValue* out) const;
};

inline void PixelGrid::ReadPixels(std::int64_t first, std::int64_t count, ColorValue* out) const
{
    const int height = ImageHeight();
    int x = static_cast<int>(first / height);
    int y = static_cast<int>(first % height);
    for (std::int64_t i = 0; i < count; ++i) {
        out[i] = ReadPixel(x, y);
        if (++y == height) {
            y = 0;
            ++x;
        }
    }
}

// Copies the run of pixels `first` .. `first + count - 1` of a grid `height` pixels high,
// numbered column by column, into out[0 .. count - 1] from a grid stored row by row:
// rowAt(y) gives row y, colorAt(row, x) the colour of pixel x in it. Going down each column in
// turn would fetch a cache line (and often a page) for every pixel. So the run is copied in
// bands of 16 rows, column by column across the band: the band's rows stay in the cache while
// their pixels are taken in turn, and the 16 pixels of a column fill one cache line of `out`.
template <typename RowAt, typename ColorAt>
void CopyRunFromRows(std::int64_t first, std::int64_t count, std::int64_t height, ColorValue* out,
                     RowAt rowAt, ColorAt colorAt)
{
    constexpr int Band = 16;
    const std::int64_t last = first + count - 1;
    const auto firstX = static_cast<int>(first / height);
    const auto lastX = static_cast<int>(last / height);
    const auto firstY = static_cast<int>(first % height);
    const auto lastY = static_cast<int>(last % height);
    // Only the first and the last column can be partial.
    const int fromY = firstX == lastX ? firstY : 0;
    const int toY = firstX == lastX ? lastY : static_cast<int>(height - 1);
    for (int top = fromY; top <= toY; top += Band) {
        const int bottom = std::min(top + Band - 1, toY);
        decltype(rowAt(0)) rows[Band];
        for (int y = top; y <= bottom; ++y) {
            rows[y - top] = rowAt(y);
        }
        for (int x = firstX; x <= lastX; ++x) {
            const int from = std::max(top, x == firstX ? firstY : 0);
            const int to = std::min(bottom, x == lastX ? lastY : static_cast<int>(height - 1));
            const std::int64_t at = (x - firstX) * height - firstY; // where pixel (x, 0) would go
            for (int y = from; y <= to; ++y) {
                out[at + y] = colorAt(rows[y - top], x);
            }
        }
    }
}

} // namespace lumenveil
