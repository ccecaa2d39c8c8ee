#pragma once

#include "codec/pixel_grid.h"
#include "codec/hidden_text.h"
#include "picture/picture_surface.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <optional>
#include <vector>

namespace lumenveil::test {

// A pixel grid held in memory, filled with one colour.
class MemoryGrid final : public PixelGrid
{
public:
    MemoryGrid(int width, int height, ColorValue fill = 0)
        : width_(width), height_(height), pixels_(static_cast<std::size_t>(width * height), fill)
    {}

    int ImageWidth() const override { return width_; }
    int ImageHeight() const override { return height_; }
    ColorValue ReadPixel(int x, int y) const override { return pixels_[y * width_ + x]; }
    void WritePixel(int x, int y, ColorValue color) override { pixels_[y * width_ + x] = color; }
    // Pixel number n in column order, as the message layout counts.
    ColorValue Pixel(std::int64_t n) const { return ReadPixel(int(n / height_), int(n % height_)); }
    const std::vector<ColorValue>& Pixels() const { return pixels_; }

private:
    int width_;
    int height_;
    std::vector<ColorValue> pixels_;
};

// A grid of random pixels (fixed seed), for tests that must see every bit.
[[nodiscard]] MemoryGrid NoiseGrid(int width, int height, quint32 seed);

// A photo-like RGB32 picture: smooth gradients with fine noise, reproducible from the seed.
[[nodiscard]] QImage PhotoLikeImage(int width, int height, quint32 seed = 1);

// `image` in a fixed palette of `colours` colours (at most 256), nearest colour, no dithering.
[[nodiscard]] QImage Paletted(const QImage& image, int colours);

// Writes `image` in `format` ("bmp", "jpeg", "png", ...) through Qt; false when Qt cannot.
// `quality` applies to JPEG; `progressive` writes a progressive JPEG.
[[nodiscard]] bool WriteImage(const QImage& image, const QString& path, const char* format,
                              int quality = 90, bool progressive = false);

// The bytes of `image` encoded in `format` by Qt; empty when Qt cannot.
[[nodiscard]] QByteArray EncodeImage(const QImage& image, const char* format,
                                     bool progressive = false, int quality = 90);

[[nodiscard]] QByteArray ReadBytes(const QString& path);
[[nodiscard]] bool WriteBytes(const QString& path, const QByteArray& bytes);

// The two headers of a bitmap file: `height` negative for rows stored top-down, `tableBytes`
// of palette or colour masks after the headers, then `dataBytes` of pixel data.
[[nodiscard]] QByteArray BitmapHeaders(int width, int height, int bits, int compression,
                                       int tableBytes, qint64 dataBytes);

// A bitmap file of `image` (Indexed8 for 1, 4, 8 bits) at `bits` bits per pixel, 16 of them 565
// with compression 3, else 555; `data`, where given, is the pixel data (RLE8: compression 1).
[[nodiscard]] QByteArray BuildBitmap(const QImage& image, int bits, int compression = 0,
                                     bool topDown = false, const QByteArray& data = {});

// The file name `path` as the core takes it.
[[nodiscard]] NativeName Native(const QString& path);
// A copy of the pixels as an RGB32 image; null while empty.
[[nodiscard]] QImage ImageOf(const PixelBuffer& pixels);
[[nodiscard]] inline QImage ImageOf(const PictureSurface& surface)
{
    return ImageOf(surface.Pixels());
}
// DescribePictureResult for a file the test names by `path`.
[[nodiscard]] QString Describe(const PictureResult& result, const QString& path);
// The message read lazily from the file `path`, as lumenveil-cli's reveal reads a bitmap;
// nothing where the file cannot be opened or the lazy read does not take it.
[[nodiscard]] std::optional<ReadOutcome> ReadLazily(const QString& path);

// The largest difference of any colour component between two pictures; 256 if sizes differ.
[[nodiscard]] int LargestDifference(const QImage& a, const QImage& b);

} // namespace lumenveil::test
