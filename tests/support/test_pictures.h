#pragma once

#include "codec/pixel_grid.h"
#include "picture/picture_surface.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <vector>

namespace lumenveil::test {

// A pixel grid held in memory, filled with one colour.
class MemoryGrid final : public PixelGrid
{
public:
    MemoryGrid(int width, int height, ColorValue fill = 0)
        : width_(width), height_(height),
          pixels_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill)
    {
    }

    [[nodiscard]] int ImageWidth() const override { return width_; }
    [[nodiscard]] int ImageHeight() const override { return height_; }
    [[nodiscard]] ColorValue ReadPixel(int x, int y) const override { return pixels_[Index(x, y)]; }
    void WritePixel(int x, int y, ColorValue color) override { pixels_[Index(x, y)] = color; }

    // Pixel number n in column order, as the message layout counts.
    [[nodiscard]] ColorValue Pixel(std::int64_t n) const
    {
        return ReadPixel(static_cast<int>(n / height_), static_cast<int>(n % height_));
    }
    [[nodiscard]] const std::vector<ColorValue>& Pixels() const { return pixels_; }

private:
    [[nodiscard]] std::size_t Index(int x, int y) const
    {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
               static_cast<std::size_t>(x);
    }

    int width_;
    int height_;
    std::vector<ColorValue> pixels_;
};

// A grid of random pixels (fixed seed), for tests that must see every bit.
[[nodiscard]] MemoryGrid NoiseGrid(int width, int height, quint32 seed);

// A photo-like RGB32 picture: smooth gradients with fine noise, reproducible from the seed.
[[nodiscard]] QImage PhotoLikeImage(int width, int height, quint32 seed = 1);

// Writes `image` in `format` ("bmp", "jpeg", "png", ...) through Qt; fails the test otherwise.
// `quality` applies to JPEG; `progressive` writes a progressive JPEG.
[[nodiscard]] bool WriteImage(const QImage& image, const QString& path, const char* format,
                              int quality = 90, bool progressive = false);

// The bytes of `image` encoded in `format` by Qt.
[[nodiscard]] QByteArray EncodeImage(const QImage& image, const char* format,
                                     bool progressive = false);

[[nodiscard]] QByteArray ReadBytes(const QString& path);
[[nodiscard]] bool WriteBytes(const QString& path, const QByteArray& bytes);

// Every pixel of a surface, row by row.
[[nodiscard]] std::vector<ColorValue> SurfacePixels(const PictureSurface& surface);

// The RGB of every pixel of an image, as ColorValues in row order; alpha ignored.
[[nodiscard]] std::vector<ColorValue> ColorValues(const QImage& image);

} // namespace lumenveil::test
