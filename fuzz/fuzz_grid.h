#pragma once

#include "codec/pixel_grid.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lumenveil::fuzz {

// A grid built from fuzz input: byte 0 and 1 give the width and height (1 to 256), the rest
// the pixels, three bytes each, zero where the input runs out.
class InputGrid final : public PixelGrid
{
public:
    InputGrid(const std::uint8_t* data, std::size_t size)
        : width_(size > 0 ? data[0] + 1 : 1), height_(size > 1 ? data[1] + 1 : 1),
          pixels_(static_cast<std::size_t>(width_ * height_), 0)
    {
        for (std::size_t i = 0; i < pixels_.size(); ++i) {
            const std::size_t at = 2 + 3 * i;
            if (at + 2 < size) {
                pixels_[i] = ComposeColor(data[at], data[at + 1], data[at + 2]);
            }
        }
    }
    InputGrid(int width, int height) : width_(width), height_(height),
        pixels_(static_cast<std::size_t>(width * height), 0) {}

    int ImageWidth() const override { return width_; }
    int ImageHeight() const override { return height_; }
    ColorValue ReadPixel(int x, int y) const override { return pixels_[Index(x, y)]; }
    void WritePixel(int x, int y, ColorValue c) override { pixels_[Index(x, y)] = c; }

private:
    std::size_t Index(int x, int y) const { return static_cast<std::size_t>(y * width_ + x); }

    int width_;
    int height_;
    std::vector<ColorValue> pixels_;
};

} // namespace lumenveil::fuzz
