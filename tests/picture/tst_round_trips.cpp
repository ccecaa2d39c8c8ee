#include "codec/hidden_text.h"
#include "codec/message_layout.h"
#include "picture/picture_surface.h"
#include "support/test_pictures.h"

#include <QTemporaryDir>
#include <QTest>

#include <random>

using namespace lumenveil;
using namespace lumenveil::test;

// Random pictures of every shape and random texts of all 256 codes go through the whole road:
// hidden, saved as a bitmap, loaded again and read back.
class tst_RoundTrips : public QObject
{
    Q_OBJECT

private slots:
    void everyPictureShape();
};

void tst_RoundTrips::everyPictureShape()
{
    QTemporaryDir dir;
    const QString source = dir.filePath("source.bmp");
    const QString saved = dir.filePath("saved.bmp");
    std::mt19937 random(20261206);
    int rounds = 0;
    for (int round = 0; round < 2000; ++round) {
        std::u16string text;
        const int length = static_cast<int>(random() % (round % 10 == 0 ? 400 : 40));
        for (int i = 0; i < length; ++i) {
            text += CharOfCode(static_cast<std::uint8_t>(random() % 256));
        }
        if (text.find(EndMarker) != std::u16string::npos) {
            continue;
        }

        // Shapes: one row, one column, and odd widths with 0 to 2 pixels to spare.
        const std::int64_t needed = 3 * (static_cast<std::int64_t>(text.size()) + 24);
        int width = 0;
        int height = 0;
        switch (round % 4) {
        case 0: width = static_cast<int>(needed); height = 1; break;
        case 1: width = 1; height = static_cast<int>(needed + random() % 3); break;
        default:
            height = 1 + static_cast<int>(random() % 13);
            width = static_cast<int>((needed + height - 1) / height) | 1;
            break;
        }

        MemoryGrid noise = NoiseGrid(width, height, static_cast<quint32>(round));
        QImage image(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const ColorValue c = noise.ReadPixel(x, y);
                image.setPixel(x, y, qRgb(RedOf(c), GreenOf(c), BlueOf(c)));
            }
        }
        QVERIFY(WriteImage(image, source, round % 2 ? "png" : "bmp"));

        PictureSurface surface;
        QVERIFY(surface.LoadImageFile(source).ok());
        const std::vector<ColorValue> before = SurfacePixels(surface);
        QCOMPARE(HideText(surface, text).status, HideStatus::Hidden);
        const std::vector<ColorValue> hidden = SurfacePixels(surface);
        QVERIFY(surface.SaveBitmapFile(saved).ok());

        PictureSurface reloaded;
        QVERIFY(reloaded.LoadImageFile(saved).ok());
        QVERIFY2(SurfacePixels(reloaded) == hidden, qPrintable(QString("round %1").arg(round)));
        const ReadOutcome read = ReadText(reloaded);
        QCOMPARE(read.status, ReadStatus::Found);
        QVERIFY2(read.text == text, qPrintable(QString("round %1").arg(round)));

        // Outside the slots nothing changed; in them only the carrier bits did.
        for (std::int64_t n = 0; n < std::int64_t{width} * height; ++n) {
            const auto x = static_cast<std::size_t>(n / height);
            const auto y = static_cast<std::size_t>(n % height);
            const std::size_t i = y * static_cast<std::size_t>(width) + x;
            const ColorValue mask = n >= needed ? 0xFFFFFFu : n % 3 == 2 ? 0xFFFEFEu : 0xFEFEFEu;
            if ((hidden[i] & mask) != (before[i] & mask)) {
                QFAIL(qPrintable(QString("round %1, pixel %2 changed beyond its carrier bits")
                                     .arg(round)
                                     .arg(n)));
            }
        }
        ++rounds;
    }
    QVERIFY(rounds > 1900);
}

QTEST_GUILESS_MAIN(tst_RoundTrips)
#include "tst_round_trips.moc"
