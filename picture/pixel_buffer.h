#pragma once

#include "picture/pixel_memory.h"

#include <cstddef>
#include <cstdint>

namespace lumenveil {

// Every decoded picture in the core has one layout: 4 bytes a pixel, blue, green, red and
// 0xFF, rows from the top, `stride` bytes apart. It is a little-endian 32-bit 0xFFRRGGBB, which
// a window toolkit shows as it is, without a copy.
inline constexpr int BytesPerPixel = 4;

// Rows top .. bottom - 1 of a picture `width` x `height`; `pixels` is row `top`. Whoever is
// handed a band may read and change those rows, and no other.
struct RowBand
{
    unsigned char* pixels = nullptr;
    std::ptrdiff_t stride = 0;
    int width = 0;
    int height = 0; // the whole picture's
    int top = 0;
    int bottom = 0;

    [[nodiscard]] unsigned char* Row(int y) const { return pixels + (y - top) * stride; }
    [[nodiscard]] int Rows() const { return bottom - top; }
};

// A picture's pixels in the layout above, rows packed without padding. Empty until allocated.
class PixelBuffer
{
public:
    PixelBuffer() = default;

    // A picture of `width` x `height`, its pixels not set; empty when the memory cannot be had
    // or the size is outside 1 .. MaxPicturePixels.
    [[nodiscard]] static PixelBuffer Allocate(int width, int height);

    [[nodiscard]] bool IsEmpty() const { return !memory_; }
    [[nodiscard]] int Width() const { return width_; }
    [[nodiscard]] int Height() const { return height_; }
    [[nodiscard]] std::ptrdiff_t Stride() const { return std::ptrdiff_t{width_} * BytesPerPixel; }
    [[nodiscard]] std::int64_t SizeInBytes() const { return std::int64_t{Stride()} * height_; }
    [[nodiscard]] unsigned char* Data() { return memory_.get(); }
    [[nodiscard]] const unsigned char* Data() const { return memory_.get(); }
    [[nodiscard]] unsigned char* Row(int y) { return Data() + y * Stride(); }
    [[nodiscard]] const unsigned char* Row(int y) const { return Data() + y * Stride(); }

    // Rows top .. bottom - 1 of this picture.
    [[nodiscard]] RowBand Rows(int top, int bottom);
    [[nodiscard]] RowBand All() { return Rows(0, height_); }

private:
    PixelMemory memory_;
    int width_ = 0;
    int height_ = 0;
};

} // namespace lumenveil
