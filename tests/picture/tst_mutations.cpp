#include "bitmap_builder.h"
#include "codec/hidden_text.h"
#include "picture/picture_surface.h"
#include "support/test_pictures.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QImageWriter>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <random>

using namespace lumenveil;
using namespace lumenveil::test;

namespace {

// How many damaged variants are made, all from one fixed seed so that a failure repeats.
constexpr int Variants = 20000;
constexpr int CliVariants = 1000;
constexpr int CliBatch = 25;
constexpr quint32 Seed = 0x1E5E7;

struct SeedPicture
{
    QString name;
    QByteArray bytes;
};

QByteArray Bitmap(BitmapKind kind, bool topDown = false)
{
    BitmapRecipe recipe;
    recipe.kind = kind;
    recipe.width = 19;
    recipe.height = 13;
    recipe.topDown = topDown;
    const int colours = kind == BitmapKind::Palette1 ? 2 : kind == BitmapKind::Palette4 ? 16 : 200;
    for (int i = 0; i < colours; ++i) {
        recipe.palette.append(qRgb(i * 7 % 256, i * 13 % 256, i * 29 % 256));
    }
    const QImage photo = PhotoLikeImage(recipe.width, recipe.height, 2);
    recipe.pixel = [&](int x, int y) -> quint32 {
        if (kind <= BitmapKind::Rle8) {
            return static_cast<quint32>((x / 3 + y) % colours);
        }
        return photo.pixel(x, y);
    };
    return BuildBitmap(recipe);
}

// Valid pictures of every kind we read; two carry a hidden message, so that damage also
// reaches the reading scan.
QList<SeedPicture> SeedPictures(const QTemporaryDir& dir)
{
    QList<SeedPicture> seeds = {
        {"bmp 1-bit", Bitmap(BitmapKind::Palette1)},
        {"bmp 4-bit", Bitmap(BitmapKind::Palette4)},
        {"bmp 8-bit", Bitmap(BitmapKind::Palette8)},
        {"bmp RLE8", Bitmap(BitmapKind::Rle8)},
        {"bmp 555", Bitmap(BitmapKind::Rgb555)},
        {"bmp 565", Bitmap(BitmapKind::Rgb565)},
        {"bmp 24-bit top-down", Bitmap(BitmapKind::Rgb24, true)},
        {"bmp 32-bit", Bitmap(BitmapKind::Rgb32)},
        {"jpeg baseline", EncodeImage(PhotoLikeImage(40, 24, 3), "jpeg")},
        {"jpeg progressive", EncodeImage(PhotoLikeImage(40, 24, 4), "jpeg", true)},
        {"jpeg grayscale",
         EncodeImage(PhotoLikeImage(40, 24, 5).convertToFormat(QImage::Format_Grayscale8), "jpeg")},
        {"jpeg cmyk", ReadBytes(QFINDTESTDATA("fixtures/cmyk.jpg"))},
        {"gif transparent", ReadBytes(QFINDTESTDATA("fixtures/transparent.gif"))},
        {"gif opaque", ReadBytes(QFINDTESTDATA("fixtures/opaque.gif"))},
        {"png rgb", EncodeImage(PhotoLikeImage(30, 20, 6), "png")},
        {"png alpha", EncodeImage(PhotoLikeImage(30, 20, 7).convertToFormat(QImage::Format_ARGB32),
                             "png")},
        {"png palette",
         EncodeImage(PhotoLikeImage(30, 20, 8).convertToFormat(QImage::Format_Indexed8), "png")},
    };
    for (const char* format : {"bmp", "png"}) {
        PictureSurface surface;
        const QString path = dir.filePath(QString("message.%1").arg(format));
        if (WriteImage(PhotoLikeImage(20, 20, 9), path, format) && surface.LoadImageFile(path).ok() &&
            HideText(surface, u"a message to damage").status == HideStatus::Hidden &&
            surface.SaveBitmapFile(path).ok()) {
            seeds.append({QString("%1 with a message").arg(format), ReadBytes(path)});
        }
    }
    return seeds;
}

// One damaged copy of `bytes`: cut short, bytes flipped, header fields set to extremes,
// bytes inserted or dropped, a stretch repeated.
QByteArray Mutate(QByteArray bytes, std::mt19937& random)
{
    static const quint32 Extremes32[] = {0, 0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu,
                                         100000, 65535, 0xFFFF0000u, 1};
    static const quint16 Extremes16[] = {0, 0xFFFF, 0x8000, 60000, 1, 255};
    const auto at = [&](qsizetype span) {
        return static_cast<qsizetype>(random() % static_cast<quint32>(std::max<qsizetype>(1, span)));
    };
    const int steps = 1 + static_cast<int>(random() % 2);
    for (int step = 0; step < steps && !bytes.isEmpty(); ++step) {
        switch (random() % 7) {
        case 0: bytes.truncate(at(bytes.size())); break;
        case 1:
            for (int i = 0, n = 1 + static_cast<int>(random() % 8); i < n; ++i) {
                bytes[at(bytes.size())] ^= static_cast<char>(1 + random() % 255);
            }
            break;
        case 2: { // a 32-bit header field, either byte order
            const qsizetype offset = at(std::min<qsizetype>(bytes.size(), 128) - 3);
            if (offset + 4 <= bytes.size()) {
                const quint32 value = Extremes32[random() % std::size(Extremes32)];
                if (random() % 2) {
                    qToLittleEndian(value, bytes.data() + offset);
                } else {
                    qToBigEndian(value, bytes.data() + offset);
                }
            }
            break;
        }
        case 3: { // a 16-bit header field
            const qsizetype offset = at(std::min<qsizetype>(bytes.size(), 64) - 1);
            if (offset + 2 <= bytes.size()) {
                const quint16 value = Extremes16[random() % std::size(Extremes16)];
                if (random() % 2) {
                    qToLittleEndian(value, bytes.data() + offset);
                } else {
                    qToBigEndian(value, bytes.data() + offset);
                }
            }
            break;
        }
        case 4: bytes.insert(at(bytes.size()), static_cast<char>(random() % 256)); break;
        case 5: bytes.remove(at(bytes.size()), 1 + at(16)); break;
        default: { // a stretch repeated, so runs and palettes overrun
            const qsizetype from = at(bytes.size());
            const QByteArray stretch = bytes.mid(from, 1 + at(64));
            bytes.insert(at(bytes.size()), stretch.repeated(1 + static_cast<int>(random() % 8)));
            break;
        }
        }
    }
    return bytes;
}

} // namespace

// Damaged pictures by the thousand: each either loads or fails with a reason, leaving the
// surface as it was; none crashes, hangs or takes more than a moment.
class tst_Mutations : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void loadsOrFailsCleanly();
    void cliSurvivesEveryVariant();

private:
    QTemporaryDir dir_;
    QList<SeedPicture> seeds_;
};

void tst_Mutations::initTestCase()
{
    // The decoders say what they think of each damaged file; thousands of lines of it.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio*=false"));
    seeds_ = SeedPictures(dir_);
    QCOMPARE(seeds_.size(), 19);
    // Each seed is sound before it is damaged.
    for (const SeedPicture& seed : seeds_) {
        const QString path = dir_.filePath("seed");
        QVERIFY(WriteBytes(path, seed.bytes));
        PictureSurface surface;
        const PictureResult result = surface.LoadImageFile(path);
        QVERIFY2(result.ok(), qPrintable(seed.name + ": " + result.reason));
    }
}

void tst_Mutations::loadsOrFailsCleanly()
{
    std::mt19937 random(Seed);
    PictureSurface surface;
    QVERIFY(WriteImage(PhotoLikeImage(9, 7), dir_.filePath("before.png"), "png"));
    QVERIFY(surface.LoadImageFile(dir_.filePath("before.png")).ok());
    std::vector<ColorValue> current = SurfacePixels(surface);
    QSize currentSize(9, 7);

    const QString path = dir_.filePath("variant");
    qint64 slowest = 0;
    QMap<PictureStatus, int> outcomes;
    for (int i = 0; i < Variants; ++i) {
        const SeedPicture& seed = seeds_[static_cast<qsizetype>(random() % seeds_.size())];
        QVERIFY(WriteBytes(path, Mutate(seed.bytes, random)));

        QElapsedTimer timer;
        timer.start();
        const PictureResult result = surface.LoadImageFile(path);
        slowest = std::max(slowest, timer.elapsed());
        ++outcomes[result.status];

        if (result.ok()) {
            QVERIFY(surface.ImageWidth() > 0 && surface.ImageHeight() > 0);
            (void)ReadText(surface);
            current = SurfacePixels(surface);
            currentSize = QSize(surface.ImageWidth(), surface.ImageHeight());
        } else {
            const QString context = QString("variant %1 of %2").arg(i).arg(seed.name);
            QVERIFY2(!DescribePictureResult(result, path).isEmpty(), qPrintable(context));
            QVERIFY2(QSize(surface.ImageWidth(), surface.ImageHeight()) == currentSize,
                     qPrintable(context));
            QVERIFY2(SurfacePixels(surface) == current, qPrintable(context));
        }
    }
    qInfo("%d variants: %d loaded, %d damaged, %d not a picture, %d unsupported, %d too large; "
          "slowest load %lld ms",
          Variants, outcomes.value(PictureStatus::Ok), outcomes.value(PictureStatus::Damaged),
          outcomes.value(PictureStatus::NotAPicture), outcomes.value(PictureStatus::Unsupported),
          outcomes.value(PictureStatus::TooLarge), slowest);
    QVERIFY2(slowest < 2000, qPrintable(QString("a load took %1 ms").arg(slowest)));
}

void tst_Mutations::cliSurvivesEveryVariant()
{
    const QString program = QFileInfo(qEnvironmentVariable("LUMENVEIL_CLI")).absoluteFilePath();
    QVERIFY2(QFileInfo(program).isExecutable(), "LUMENVEIL_CLI names no program");
    std::mt19937 random(Seed + 1);
    const QDir folder(dir_.path());
    for (int first = 0; first < CliVariants; first += CliBatch) {
        QStringList files;
        for (int i = first; i < first + CliBatch; ++i) {
            const SeedPicture& seed = seeds_[static_cast<qsizetype>(random() % seeds_.size())];
            const QString name = QString("cli-%1").arg(i);
            QVERIFY(WriteBytes(folder.filePath(name), Mutate(seed.bytes, random)));
            files << name;
        }
        QProcess process;
        process.setWorkingDirectory(dir_.path());
        process.start(program, QStringList{"reveal"} + files);
        QVERIFY(process.waitForFinished(120000));
        const QString context = QString("variants %1 to %2").arg(first).arg(first + CliBatch - 1);
        QVERIFY2(process.exitStatus() == QProcess::NormalExit, qPrintable(context + " crashed"));
        QVERIFY2(process.exitCode() >= 0 && process.exitCode() <= 2, qPrintable(context));
        // Every file that gave no message is named on standard error with the reason.
        const QString err = QString::fromUtf8(process.readAllStandardError());
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        for (const QString& name : files) {
            QVERIFY2(err.contains(name) || out.contains("==> " + name + " <=="),
                     qPrintable(context + ": nothing said of " + name));
        }
    }
}

QTEST_GUILESS_MAIN(tst_Mutations)
#include "tst_mutations.moc"
