// Writes the seed corpora: fuzz_corpus LOAD_DIR READ_DIR
//   LOAD_DIR: small valid pictures of every kind we read.
//   READ_DIR: pixel grids, some carrying a hidden message, in fuzz_read's input layout.

#include "codec/hidden_text.h"
#include "fuzz_grid.h"
#include "picture/bitmap_writer.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImageWriter>

#include <cstdio>

using namespace lumenveil;

namespace {

QImage Picture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, qRgb(x * 255 / width, y * 255 / height, (x * y) % 256));
        }
    }
    return image;
}

bool Save(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray Encode(const QImage& image, const char* format, bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: fuzz_corpus LOAD_DIR READ_DIR\n");
        return 2;
    }
    const QDir load(QString::fromLocal8Bit(argv[1]));
    const QDir read(QString::fromLocal8Bit(argv[2]));
    QDir().mkpath(load.path());
    QDir().mkpath(read.path());

    const QImage picture = Picture(24, 16);
    QByteArray bmp;
    {
        QBuffer buffer(&bmp);
        buffer.open(QIODevice::WriteOnly);
        (void)WriteBitmap(buffer, picture);
    }
    bool ok = Save(load.filePath("rgb24.bmp"), bmp) &&
              Save(load.filePath("pal8.bmp"),
                   Encode(picture.convertToFormat(QImage::Format_Indexed8), "bmp")) &&
              Save(load.filePath("baseline.jpg"), Encode(picture, "jpeg")) &&
              Save(load.filePath("progressive.jpg"), Encode(picture, "jpeg", true)) &&
              Save(load.filePath("gray.jpg"),
                   Encode(picture.convertToFormat(QImage::Format_Grayscale8), "jpeg")) &&
              Save(load.filePath("rgb.png"), Encode(picture, "png")) &&
              Save(load.filePath("alpha.png"),
                   Encode(picture.convertToFormat(QImage::Format_ARGB32), "png")) &&
              Save(load.filePath("palette.png"),
                   Encode(picture.convertToFormat(QImage::Format_Indexed8), "png"));
    for (const char* fixture : {"cmyk.jpg", "transparent.gif", "opaque.gif"}) {
        const QString from = QStringLiteral(LUMENVEIL_FIXTURES_DIR "/") + fixture;
        QFile::remove(load.filePath(fixture));
        ok = QFile::copy(from, load.filePath(fixture)) && ok;
    }

    int n = 0;
    for (const std::u16string& text : {std::u16string(u""), std::u16string(u"hello"),
                                       std::u16string(u"caf\u00E9 \u20AC"),
                                       std::u16string(u"xend message")}) {
        fuzz::InputGrid grid(12, 10);
        if (text.find(u"end message") == std::u16string::npos) {
            (void)HideText(grid, text);
        } else {
            for (std::size_t i = 0; i < text.size(); ++i) {
                StoreCharInSlot(grid, static_cast<std::int64_t>(i), text[i]);
            }
        }
        const std::vector<std::uint8_t> bytes = grid.Bytes();
        ok = Save(read.filePath(QString("grid-%1").arg(n++)),
                  QByteArray(reinterpret_cast<const char*>(bytes.data()),
                             static_cast<qsizetype>(bytes.size()))) &&
             ok;
    }
    return ok ? 0 : 1;
}
