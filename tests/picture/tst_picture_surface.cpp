#include "bitmap_builder.h"
#include "picture/picture_surface.h"
#include "support/test_pictures.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using namespace lumenveil;
using namespace lumenveil::test;

namespace {

// The largest difference of any component between two same-sized pictures.
int LargestDifference(const std::vector<ColorValue>& a, const std::vector<ColorValue>& b)
{
    int largest = 0;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        largest = std::max({largest, std::abs(RedOf(a[i]) - RedOf(b[i])),
                            std::abs(GreenOf(a[i]) - GreenOf(b[i])),
                            std::abs(BlueOf(a[i]) - BlueOf(b[i]))});
    }
    return largest;
}

quint32 Get32(const QByteArray& bytes, int offset)
{
    return qFromLittleEndian<quint32>(bytes.constData() + offset);
}

quint16 Get16(const QByteArray& bytes, int offset)
{
    return qFromLittleEndian<quint16>(bytes.constData() + offset);
}

// Inserts an EXIF block with the given orientation right after a JPEG's start marker.
QByteArray WithExifOrientation(const QByteArray& jpeg, int orientation)
{
    QByteArray exif = QByteArray::fromHex("FFE10022") + QByteArray("Exif\0\0", 6) +
                      QByteArray::fromHex("4D4D002A00000008"   // big-endian TIFF, IFD at 8
                                          "0001"               // one entry
                                          "011200030000000100") +
                      QByteArray(1, static_cast<char>(orientation)) +
                      QByteArray::fromHex("0000" "00000000");
    return jpeg.left(2) + exif + jpeg.mid(2);
}

} // namespace

class tst_PictureSurface : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void loadsBitmapKinds_data();
    void loadsBitmapKinds();
    void runLengthData_data();
    void runLengthData();
    void loadsJpegKinds_data();
    void loadsJpegKinds();
    void loadsCmykJpeg();
    void appliesExifOrientation();
    void transparentPixelsKeepTheirColour_data();
    void transparentPixelsKeepTheirColour();
    void loadsOnePixel();
    void failedLoadChangesNothing_data();
    void failedLoadChangesNothing();
    void secondLoadReplacesEverything();
    void savesPlainBitmap_data();
    void savesPlainBitmap();
    void savedPixelsReloadExactly();
    void savesNothingWhenEmpty();

private:
    // Saves the surface, reloads the file and checks every pixel came back unchanged.
    void CheckSavesExactly(const PictureSurface& surface);
    QString Path(const QString& name) const { return dir_->filePath(name); }

    std::unique_ptr<QTemporaryDir> dir_;
};

void tst_PictureSurface::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void tst_PictureSurface::CheckSavesExactly(const PictureSurface& surface)
{
    const QString saved = Path("saved.bmp");
    const PictureResult result = surface.SaveBitmapFile(saved);
    QVERIFY2(result.ok(), qPrintable(DescribePictureResult(result, saved)));
    PictureSurface reloaded;
    QVERIFY(reloaded.LoadImageFile(saved).ok());
    QCOMPARE(reloaded.ImageWidth(), surface.ImageWidth());
    QCOMPARE(reloaded.ImageHeight(), surface.ImageHeight());
    QVERIFY(SurfacePixels(reloaded) == SurfacePixels(surface));
}

void tst_PictureSurface::loadsBitmapKinds_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("topDown");
    QTest::addColumn<int>("tolerance"); // 16-bit kinds lose the low bits in the file itself
    QTest::newRow("1-bit palette") << int(BitmapKind::Palette1) << false << 0;
    QTest::newRow("4-bit palette") << int(BitmapKind::Palette4) << false << 0;
    QTest::newRow("8-bit palette") << int(BitmapKind::Palette8) << false << 0;
    QTest::newRow("8-bit palette top-down") << int(BitmapKind::Palette8) << true << 0;
    QTest::newRow("8-bit RLE") << int(BitmapKind::Rle8) << false << 0;
    QTest::newRow("16-bit 555") << int(BitmapKind::Rgb555) << false << 8;
    QTest::newRow("16-bit 565 bitfields") << int(BitmapKind::Rgb565) << false << 8;
    QTest::newRow("24-bit") << int(BitmapKind::Rgb24) << false << 0;
    QTest::newRow("24-bit top-down") << int(BitmapKind::Rgb24) << true << 0;
    QTest::newRow("32-bit") << int(BitmapKind::Rgb32) << false << 0;
}

void tst_PictureSurface::loadsBitmapKinds()
{
    QFETCH(int, kind);
    QFETCH(bool, topDown);
    QFETCH(int, tolerance);

    BitmapRecipe recipe;
    recipe.kind = static_cast<BitmapKind>(kind);
    recipe.width = 13;
    recipe.height = 7;
    recipe.topDown = topDown;
    const int colours = recipe.kind == BitmapKind::Palette1   ? 2
                        : recipe.kind == BitmapKind::Palette4 ? 16
                                                              : 256;
    for (int i = 0; i < colours; ++i) {
        recipe.palette.append(qRgb((i * 37 + 1) % 256, (i * 91 + 2) % 256, (i * 53 + 3) % 256));
    }
    const bool indexed = recipe.kind <= BitmapKind::Rle8;
    const QImage photo = PhotoLikeImage(recipe.width, recipe.height, 3);
    recipe.pixel = [&](int x, int y) -> quint32 {
        if (indexed) {
            return static_cast<quint32>((x * 3 + y * 5 + x / 4) % colours);
        }
        return photo.pixel(x, y);
    };
    QVERIFY(WriteBytes(Path("kind.bmp"), BuildBitmap(recipe)));

    PictureSurface surface;
    const PictureResult result = surface.LoadImageFile(Path("kind.bmp"));
    QVERIFY2(result.ok(), qPrintable(DescribePictureResult(result, "kind.bmp")));
    QCOMPARE(surface.ImageWidth(), recipe.width);
    QCOMPARE(surface.ImageHeight(), recipe.height);
    QCOMPARE(surface.LoadedKind(), PictureKind::Bitmap);

    std::vector<ColorValue> expected;
    for (int y = 0; y < recipe.height; ++y) {
        for (int x = 0; x < recipe.width; ++x) {
            const QRgb c = indexed ? recipe.palette[recipe.pixel(x, y)] : QRgb(recipe.pixel(x, y));
            expected.push_back(ComposeColor(qRed(c), qGreen(c), qBlue(c)));
        }
    }
    QVERIFY(LargestDifference(SurfacePixels(surface), expected) <= tolerance);
    CheckSavesExactly(surface);
}

void tst_PictureSurface::runLengthData_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("problem");     // empty: loads
    QTest::addColumn<QByteArray>("expected"); // palette indices, top row first
    // 4 x 2. Bottom row: two pixels of 5, end of line. Top row: move right by one, one pixel
    // of 7, end of bitmap. Every pixel no run sets takes the first palette colour.
    QTest::newRow("moves and early ends") << QByteArray::fromHex("0205" "0000" "00020100" "0107" "0001")
                                          << "" << QByteArray::fromHex("00070000" "05050000");
    QTest::newRow("stored pixels, padded") << QByteArray::fromHex("0003010203 00" "0000" "0104" "0001")
                                           << "" << QByteArray::fromHex("04000000" "01020300");
    QTest::newRow("run past the row") << QByteArray::fromHex("0505" "0001") << "beyond"
                                      << QByteArray();
    QTest::newRow("move past the top") << QByteArray::fromHex("00020003" "0001") << "beyond"
                                       << QByteArray();
    QTest::newRow("no end of bitmap") << QByteArray::fromHex("0205" "0000" "0107") << "ends before"
                                      << QByteArray();
    QTest::newRow("stored pixels cut short") << QByteArray::fromHex("000401") << "ends before"
                                             << QByteArray();
}

void tst_PictureSurface::runLengthData()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, problem);
    QFETCH(QByteArray, expected);

    BitmapRecipe recipe;
    recipe.kind = BitmapKind::Rle8;
    recipe.width = 4;
    recipe.height = 2;
    for (int i = 0; i < 8; ++i) {
        recipe.palette.append(qRgb(i * 30, 255 - i * 30, i * 10));
    }
    recipe.rawData = data;
    QVERIFY(WriteBytes(Path("rle.bmp"), BuildBitmap(recipe)));

    PictureSurface surface;
    const PictureResult result = surface.LoadImageFile(Path("rle.bmp"));
    if (!problem.isEmpty()) {
        QCOMPARE(result.status, PictureStatus::Damaged);
        QVERIFY2(result.reason.contains(problem), qPrintable(result.reason));
        return;
    }
    QVERIFY2(result.ok(), qPrintable(result.reason));
    for (int i = 0; i < expected.size(); ++i) {
        const QRgb c = recipe.palette[expected[i]];
        QCOMPARE(surface.ReadPixel(i % 4, i / 4), ComposeColor(qRed(c), qGreen(c), qBlue(c)));
    }
}

void tst_PictureSurface::loadsJpegKinds_data()
{
    QTest::addColumn<bool>("progressive");
    QTest::addColumn<bool>("grayscale");
    QTest::newRow("baseline") << false << false;
    QTest::newRow("progressive") << true << false;
    QTest::newRow("grayscale") << false << true;
}

void tst_PictureSurface::loadsJpegKinds()
{
    QFETCH(bool, progressive);
    QFETCH(bool, grayscale);
    QImage source = PhotoLikeImage(64, 40, 5);
    if (grayscale) {
        source = source.convertToFormat(QImage::Format_Grayscale8);
    }
    QVERIFY(WriteImage(source, Path("photo.jpg"), "jpeg", 95, progressive));

    PictureSurface surface;
    QVERIFY(surface.LoadImageFile(Path("photo.jpg")).ok());
    QCOMPARE(surface.LoadedKind(), PictureKind::Jpeg);
    QCOMPARE(surface.ImageWidth(), 64);
    QCOMPARE(surface.ImageHeight(), 40);
    QVERIFY(LargestDifference(SurfacePixels(surface), ColorValues(source)) < 40);
    CheckSavesExactly(surface);
}

void tst_PictureSurface::loadsCmykJpeg()
{
    // A 16 x 8 yellow-to-cyan gradient stored as CMYK; see fixtures/README.md.
    PictureSurface surface;
    const PictureResult result = surface.LoadImageFile(QFINDTESTDATA("fixtures/cmyk.jpg"));
    QVERIFY2(result.ok(), qPrintable(result.reason));
    QCOMPARE(surface.ImageWidth(), 16);
    QCOMPARE(surface.ImageHeight(), 8);
    const ColorValue top = surface.ReadPixel(8, 0);    // yellow end
    const ColorValue bottom = surface.ReadPixel(8, 7); // cyan end
    QVERIFY2(RedOf(top) > 200 && BlueOf(top) < 60, qPrintable(QString::number(top, 16)));
    QVERIFY2(RedOf(bottom) < 60 && BlueOf(bottom) > 200, qPrintable(QString::number(bottom, 16)));
    CheckSavesExactly(surface);
}

void tst_PictureSurface::appliesExifOrientation()
{
    // Left half red, right half blue, 40 x 20; orientation 6 turns it a quarter clockwise.
    QImage source(40, 20, QImage::Format_RGB32);
    source.fill(Qt::blue);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) {
            source.setPixel(x, y, qRgb(255, 0, 0));
        }
    }
    QVERIFY(WriteImage(source, Path("plain.jpg"), "jpeg", 95));
    QVERIFY(WriteBytes(Path("rotated.jpg"), WithExifOrientation(ReadBytes(Path("plain.jpg")), 6)));

    PictureSurface surface;
    QVERIFY(surface.LoadImageFile(Path("rotated.jpg")).ok());
    QCOMPARE(surface.ImageWidth(), 20);
    QCOMPARE(surface.ImageHeight(), 40);
    QVERIFY(RedOf(surface.ReadPixel(10, 5)) > 200);
    QVERIFY(BlueOf(surface.ReadPixel(10, 35)) > 200);
}

void tst_PictureSurface::transparentPixelsKeepTheirColour_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QPoint>("transparent");
    QTest::addColumn<quint32>("colour");
    QTest::newRow("GIF") << "gif" << QPoint(4, 0) << ComposeColor(200, 40, 10);
    QTest::newRow("PNG") << "png" << QPoint(1, 1) << ComposeColor(10, 20, 30);
}

void tst_PictureSurface::transparentPixelsKeepTheirColour()
{
    QFETCH(QString, file);
    QFETCH(QPoint, transparent);
    QFETCH(quint32, colour);

    QString path = QFINDTESTDATA("fixtures/transparent.gif");
    if (file == "png") {
        QImage image(3, 3, QImage::Format_ARGB32);
        image.fill(qRgba(1, 2, 3, 255));
        image.setPixel(1, 1, qRgba(10, 20, 30, 0));
        image.setPixel(2, 2, qRgba(200, 100, 50, 128));
        path = Path("alpha.png");
        QVERIFY(WriteImage(image, path, "png"));
    }
    PictureSurface surface;
    QVERIFY(surface.LoadImageFile(path).ok());
    QCOMPARE(surface.ReadPixel(transparent.x(), transparent.y()), colour);
    if (file == "png") {
        QCOMPARE(surface.ReadPixel(2, 2), ComposeColor(200, 100, 50));
    } else {
        QCOMPARE(surface.ReadPixel(0, 0), ComposeColor(10, 120, 250));
    }
    CheckSavesExactly(surface);
}

void tst_PictureSurface::loadsOnePixel()
{
    QImage image(1, 1, QImage::Format_RGB32);
    image.setPixel(0, 0, qRgb(1, 2, 3));
    QVERIFY(WriteImage(image, Path("one.png"), "png"));
    PictureSurface surface;
    QVERIFY(surface.LoadImageFile(Path("one.png")).ok());
    QCOMPARE(surface.ImageWidth(), 1);
    QCOMPARE(surface.ImageHeight(), 1);
    QCOMPARE(surface.ReadPixel(0, 0), ComposeColor(1, 2, 3));
}

void tst_PictureSurface::failedLoadChangesNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<PictureStatus>("status");

    QByteArray bmp;
    {
        QBuffer out(&bmp);
        out.open(QIODevice::WriteOnly);
        QVERIFY(PhotoLikeImage(40, 30).save(&out, "bmp"));
    }
    QByteArray jpeg;
    {
        QBuffer out(&jpeg);
        out.open(QIODevice::WriteOnly);
        QVERIFY(PhotoLikeImage(40, 30).save(&out, "jpeg"));
    }
    QByteArray png;
    {
        QBuffer out(&png);
        out.open(QIODevice::WriteOnly);
        QVERIFY(PhotoLikeImage(40, 30).save(&out, "png"));
    }

    QByteArray hugeBmp = bmp;
    qToLittleEndian<qint32>(100000, hugeBmp.data() + 18);
    qToLittleEndian<qint32>(100000, hugeBmp.data() + 22);
    QByteArray pastEnd = bmp;
    qToLittleEndian<quint32>(0x7FFFFFF0, pastEnd.data() + 10);
    QByteArray hugeJpeg = jpeg;
    const qsizetype sof = hugeJpeg.indexOf("\xFF\xC0");
    QVERIFY(sof > 0);
    qToBigEndian<quint16>(60000, hugeJpeg.data() + sof + 5);
    qToBigEndian<quint16>(60000, hugeJpeg.data() + sof + 7);

    QTest::newRow("text named .bmp") << "note.bmp" << QByteArray("just some text\n")
                                     << PictureStatus::NotAPicture;
    QTest::newRow("empty file") << "empty.jpg" << QByteArray() << PictureStatus::NotAPicture;
    QTest::newRow("icon file") << "icon.gif" << QByteArray::fromHex("0000010001001010")
                               << PictureStatus::NotAPicture;
    QTest::newRow("missing file") << "missing.bmp" << QByteArray() << PictureStatus::NotFound;
    QTest::newRow("a folder") << "folder.bmp" << QByteArray() << PictureStatus::NotReadable;
    QTest::newRow("BMP cut in half") << "half.bmp" << bmp.left(bmp.size() / 2)
                                     << PictureStatus::Damaged;
    QTest::newRow("BMP one byte short") << "short.bmp" << bmp.left(bmp.size() - 1)
                                        << PictureStatus::Damaged;
    QTest::newRow("BMP headers cut short") << "head.bmp" << bmp.left(20) << PictureStatus::Damaged;
    QTest::newRow("BMP pixel data past the end") << "past.bmp" << pastEnd
                                                 << PictureStatus::Damaged;
    QTest::newRow("BMP of 100000 x 100000") << "huge.bmp" << hugeBmp << PictureStatus::TooLarge;
    // Headers whose pixel data size (stride times height) overflows 64 bits.
    QTest::newRow("BMP 19-byte info header, 2^31 x 1.5 x 2^30")
        << "over1.bmp"
        << QByteArray::fromBase64("Qk22BAAAAAAYAACABAATAAAAAAAkegBCtl0FACAAAAAATTICBA==")
        << PictureStatus::Damaged;
    QTest::newRow("BMP cut in its info header, 2^31 x 2^31")
        << "over2.bmp" << QByteArray::fromBase64("Qk1CfwwEAwEAABeIACAASQAgAElJiBcLAH8TACAA")
        << PictureStatus::Damaged;
    QByteArray overflowing = bmp.left(118);
    qToLittleEndian<qint32>(0x7FFFFFFF, overflowing.data() + 18);
    qToLittleEndian<qint32>(0x7FFFFFFF, overflowing.data() + 22);
    qToLittleEndian<quint16>(32, overflowing.data() + 28);
    QTest::newRow("BMP of 2^31 x 2^31 at 32 bits")
        << "over3.bmp" << overflowing << PictureStatus::Damaged;
    QTest::newRow("JPEG cut in half") << "half.jpg" << jpeg.left(jpeg.size() / 2)
                                      << PictureStatus::Damaged;
    QTest::newRow("JPEG of 60000 x 60000") << "huge.jpg" << hugeJpeg << PictureStatus::TooLarge;
    QTest::newRow("PNG cut in half") << "half.png" << png.left(png.size() / 2)
                                     << PictureStatus::Damaged;
    QTest::newRow("GIF cut short") << "cut.gif"
                                   << ReadBytes(QFINDTESTDATA("fixtures/transparent.gif")).left(40)
                                   << PictureStatus::Damaged;
}

void tst_PictureSurface::failedLoadChangesNothing()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(PictureStatus, status);

    PictureSurface surface;
    QVERIFY(WriteImage(PhotoLikeImage(31, 17, 9), Path("before.png"), "png"));
    QVERIFY(surface.LoadImageFile(Path("before.png")).ok());
    surface.WritePixel(3, 3, 0x123456);
    const std::vector<ColorValue> before = SurfacePixels(surface);

    const QString path = Path(name);
    if (status == PictureStatus::NotReadable) {
        QVERIFY(QDir(dir_->path()).mkdir(name));
    } else if (status != PictureStatus::NotFound) {
        QVERIFY(WriteBytes(path, bytes));
    }
    const PictureResult result = surface.LoadImageFile(path);
    QCOMPARE(result.status, status);
    QVERIFY(DescribePictureResult(result, path).contains(path));
    QCOMPARE(surface.ImageWidth(), 31);
    QCOMPARE(surface.ImageHeight(), 17);
    QVERIFY(SurfacePixels(surface) == before);
    QCOMPARE(surface.LoadedKind(), PictureKind::Png);
}

void tst_PictureSurface::secondLoadReplacesEverything()
{
    QVERIFY(WriteImage(PhotoLikeImage(20, 20, 1), Path("first.png"), "png"));
    const QImage second = PhotoLikeImage(12, 30, 2);
    QVERIFY(WriteImage(second, Path("second.bmp"), "bmp"));

    PictureSurface surface;
    QVERIFY(surface.LoadImageFile(Path("first.png")).ok());
    for (int i = 0; i < 12; ++i) {
        surface.WritePixel(i, i, 0xABCDEF);
    }
    QVERIFY(surface.LoadImageFile(Path("second.bmp")).ok());
    QCOMPARE(surface.ImageWidth(), 12);
    QCOMPARE(surface.ImageHeight(), 30);
    QVERIFY(SurfacePixels(surface) == ColorValues(second));
}

void tst_PictureSurface::savesPlainBitmap_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    for (int width : {1, 2, 3, 4, 5}) {
        for (int height : {1, 3}) {
            QTest::addRow("%d x %d", width, height) << width << height;
        }
    }
}

void tst_PictureSurface::savesPlainBitmap()
{
    QFETCH(int, width);
    QFETCH(int, height);
    const QImage image = PhotoLikeImage(width, height, 4);
    QVERIFY(WriteImage(image, Path("in.png"), "png"));
    PictureSurface surface;
    QVERIFY(surface.LoadImageFile(Path("in.png")).ok());
    // Saved under a JPEG name: still a bitmap.
    QVERIFY(surface.SaveBitmapFile(Path("out.jpg")).ok());

    const QByteArray file = ReadBytes(Path("out.jpg"));
    const int stride = (width * 3 + 3) / 4 * 4;
    QCOMPARE(file.left(2), QByteArray("BM"));
    QCOMPARE(Get32(file, 2), quint32(file.size()));
    QCOMPARE(file.size(), 54 + stride * height);
    QCOMPARE(Get32(file, 10), 54u);
    QCOMPARE(Get32(file, 14), 40u);
    QCOMPARE(qint32(Get32(file, 18)), width);
    QCOMPARE(qint32(Get32(file, 22)), height); // positive: bottom-up
    QCOMPARE(Get16(file, 26), quint16(1));
    QCOMPARE(Get16(file, 28), quint16(24));
    QCOMPARE(Get32(file, 30), 0u);
    for (int row = 0; row < height; ++row) {
        const int y = height - 1 - row;
        const char* line = file.constData() + 54 + row * stride;
        for (int x = 0; x < width; ++x) {
            const QRgb c = image.pixel(x, y);
            QCOMPARE(quint8(line[x * 3]), quint8(qBlue(c)));
            QCOMPARE(quint8(line[x * 3 + 1]), quint8(qGreen(c)));
            QCOMPARE(quint8(line[x * 3 + 2]), quint8(qRed(c)));
        }
        for (int pad = width * 3; pad < stride; ++pad) {
            QCOMPARE(line[pad], '\0');
        }
    }
}

void tst_PictureSurface::savedPixelsReloadExactly()
{
    QVERIFY(WriteImage(PhotoLikeImage(33, 21, 8), Path("photo.jpg"), "jpeg"));
    PictureSurface surface;
    QVERIFY(surface.LoadImageFile(Path("photo.jpg")).ok());
    // Components changed by one, the way hiding changes them, at the edges of the range too.
    surface.WritePixel(0, 0, 0x000000);
    surface.WritePixel(32, 20, 0xFFFFFF);
    for (int x = 1; x < 33; ++x) {
        surface.WritePixel(x, x % 21, surface.ReadPixel(x, x % 21) ^ 0x010101u);
    }
    CheckSavesExactly(surface);
    // Saving again over the same file works and changes nothing.
    CheckSavesExactly(surface);
}

void tst_PictureSurface::savesNothingWhenEmpty()
{
    const PictureSurface surface;
    QCOMPARE(surface.SaveBitmapFile(Path("none.bmp")).status, PictureStatus::NothingToSave);
    QVERIFY(!QFile::exists(Path("none.bmp")));
}

QTEST_GUILESS_MAIN(tst_PictureSurface)
#include "tst_picture_surface.moc"
