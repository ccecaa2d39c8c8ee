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
};

} // namespace lumenveil
