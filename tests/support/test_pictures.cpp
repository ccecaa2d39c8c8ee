#include "support/test_pictures.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>

#include <cmath>
#include <random>

namespace lumenveil::test {

MemoryGrid NoiseGrid(int width, int height, quint32 seed)
{
    MemoryGrid grid(width, height);
    std::mt19937 random(seed);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            grid.WritePixel(x, y, random() & 0xFFFFFFu);
        }
    }
    return grid;
}

QImage PhotoLikeImage(int width, int height, quint32 seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> noise(-6, 6);
    const double fx = 6.283 / std::max(1, width);
    const double fy = 6.283 / std::max(1, height);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const auto channel = [&](double base) {
                return std::clamp(static_cast<int>(base) + noise(random), 0, 255);
            };
            row[x] = qRgb(channel(128 + 100 * std::sin(x * fx + seed)),
                          channel(128 + 100 * std::cos(y * fy)),
                          channel(128 + 60 * std::sin((x + y) * fx * 0.5)));
        }
    }
    return image;
}

bool WriteImage(const QImage& image, const QString& path, const char* format, int quality,
                bool progressive)
{
    QImageWriter writer(path, format);
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    return writer.write(image);
}

QByteArray EncodeImage(const QImage& image, const char* format, bool progressive)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setProgressiveScanWrite(progressive);
    return writer.write(image) ? bytes : QByteArray();
}

std::vector<ColorValue> SurfacePixels(const PictureSurface& surface)
{
    std::vector<ColorValue> values;
    values.reserve(static_cast<std::size_t>(surface.ImageWidth()) *
                   static_cast<std::size_t>(surface.ImageHeight()));
    for (int y = 0; y < surface.ImageHeight(); ++y) {
        for (int x = 0; x < surface.ImageWidth(); ++x) {
            values.push_back(surface.ReadPixel(x, y));
        }
    }
    return values;
}

QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

std::vector<ColorValue> ColorValues(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    std::vector<ColorValue> values;
    values.reserve(static_cast<std::size_t>(rgb.width()) * static_cast<std::size_t>(rgb.height()));
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            values.push_back(ComposeColor(qRed(row[x]), qGreen(row[x]), qBlue(row[x])));
        }
    }
    return values;
}

} // namespace lumenveil::test
