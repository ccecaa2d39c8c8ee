#pragma once

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

// Takes the run of pixels `first` .. `first + count - 1` of a grid `height` pixels high,
// numbered column by column, row by row instead: visit(y, fromX, toX, at) for each row it
// touches, where pixel (x, y) of that row is the run's pixel at + (x - fromX) * height. A grid
// stored row by row then reads each row's part in one stretch instead of a cache line a pixel.
template <typename Visit>
void ForEachRowOfRun(std::int64_t first, std::int64_t count, std::int64_t height, Visit visit)
{
    const std::int64_t last = first + count - 1;
    const auto firstX = static_cast<int>(first / height);
    const auto lastX = static_cast<int>(last / height);
    const auto firstY = static_cast<int>(first % height);
    const auto lastY = static_cast<int>(last % height);
    // Only the first and the last column can be partial.
    const int fromY = firstX == lastX ? firstY : 0;
    const int toY = firstX == lastX ? lastY : static_cast<int>(height - 1);
    for (int y = fromY; y <= toY; ++y) {
        const int fromX = y >= firstY ? firstX : firstX + 1;
        const int toX = y <= lastY ? lastX : lastX - 1;
        visit(y, fromX, toX, (fromX - firstX) * height + y - firstY);
    }
}

} // namespace lumenveil
