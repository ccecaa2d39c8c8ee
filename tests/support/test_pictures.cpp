#include "support/test_pictures.h"

#include "picture/bitmap_file_grid.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QtEndian>

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

QImage Paletted(const QImage& image, int colours)
{
    QList<QRgb> table;
    for (int i = 0; i < colours; ++i) {
        table << qRgb((i * 37 + 90) % 256, (i * 91 + 60) % 256, (i * 53 + 120) % 256);
    }
    return image.convertToFormat(QImage::Format_Indexed8, table, Qt::ThresholdDither);
}

bool WriteImage(const QImage& image, const QString& path, const char* format, int quality,
                bool progressive)
{
    const QByteArray bytes = EncodeImage(image, format, progressive, quality);
    return !bytes.isEmpty() && WriteBytes(path, bytes);
}

QByteArray EncodeImage(const QImage& image, const char* format, bool progressive, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    return writer.write(image) ? bytes : QByteArray();
}

QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteBytes(const QString& path, const QByteArray& bytes)
{
    // A new file: the disk would wait to flush one that is cut to nothing and written again.
    QFile::remove(path);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray BitmapHeaders(int width, int height, int bits, int compression, int tableBytes,
                         qint64 dataBytes)
{
    // The headers' 32-bit fields from offset 2 on: file size, reserved, where the pixel data
    // starts, size of the info header, width, height, planes (1) and bits per pixel,
    // compression, size of the pixel data, 72 dots per inch across and down, palette colours.
    const qint64 start = 54 + tableBytes;
    const qint64 colours = bits <= 8 ? tableBytes / 4 : 0;
    const qint64 fields[] = {start + dataBytes, 0,           start,     40,   width, height,
                             1 + bits * 65536,  compression, dataBytes, 2835, 2835,  colours};
    QByteArray headers = QByteArray("BM").leftJustified(54, '\0');
    for (int i = 0; i < 12; ++i) {
        qToLittleEndian<quint32>(static_cast<quint32>(fields[i]), headers.data() + 2 + 4 * i);
    }
    return headers;
}

QByteArray BuildBitmap(const QImage& image, int bits, int compression, bool topDown,
                       const QByteArray& data)
{
    const int width = image.width();
    const int height = image.height();
    QByteArray table = compression == 3 ? QByteArray::fromHex("00F80000E00700001F000000") : "";
    for (const QRgb c : image.colorTable()) {
        char entry[4];
        qToLittleEndian<quint32>(c & 0xFFFFFFu, entry);
        table.append(entry, 4);
    }
    QByteArray pixels = data;
    for (int i = 0; data.isEmpty() && i < height; ++i) {
        const int y = topDown ? i : height - 1 - i;
        QByteArray row((width * bits + 31) / 32 * 4, '\0');
        for (int x = 0; x < width; ++x) {
            const QRgb c = image.pixel(x, y);
            const int r = qRed(c) >> 3;
            const int b = qBlue(c) >> 3;
            const quint32 value = bits <= 8          ? static_cast<quint32>(image.pixelIndex(x, y))
                                  : bits > 16        ? c & 0xFFFFFFu
                                  : compression == 3 ? r << 11 | (qGreen(c) >> 2) << 5 | b
                                                     : r << 10 | (qGreen(c) >> 3) << 5 | b;
            if (bits < 8) {
                row[x * bits / 8] =
                    static_cast<char>(row[x * bits / 8] | value << (8 - bits - x * bits % 8));
            }
            for (int k = 0; k < bits / 8; ++k) {
                row[x * bits / 8 + k] = static_cast<char>(value >> 8 * k);
            }
        }
        pixels += row;
    }
    return BitmapHeaders(width, topDown ? -height : height, bits, compression,
                         static_cast<int>(table.size()), pixels.size()) +
           table + pixels;
}

int LargestDifference(const QImage& a, const QImage& b)
{
    int largest = a.size() == b.size() ? 0 : 256;
    for (int i = 0; i < std::min(a.width() * a.height(), b.width() * b.height()); ++i) {
        const QRgb p = a.pixel(i % a.width(), i / a.width());
        const QRgb q = b.pixel(i % a.width(), i / a.width());
        largest = std::max({largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                            std::abs(qBlue(p) - qBlue(q))});
    }
    return largest;
}

} // namespace lumenveil::test

namespace lumenveil::test {

NativeName Native(const QString& path)
{
#ifdef _WIN32
    return path.toStdWString();
#else
    return QFile::encodeName(path).toStdString();
#endif
}

QImage ImageOf(const PixelBuffer& pixels)
{
    if (pixels.IsEmpty()) {
        return {};
    }
    return QImage(pixels.Data(), pixels.Width(), pixels.Height(),
                  static_cast<qsizetype>(pixels.Stride()), QImage::Format_RGB32)
        .copy();
}

QString Describe(const PictureResult& result, const QString& path)
{
    return QString::fromStdString(DescribePictureResult(result, path.toStdString()));
}

std::optional<ReadOutcome> ReadLazily(const QString& path)
{
    std::unique_ptr<ByteSource> source;
    if (!OpenPictureSource(Native(path), MaxPictureFileBytes, source).ok()) {
        return std::nullopt;
    }
    return ReadTextLazily(*source);
}

} // namespace lumenveil::test
