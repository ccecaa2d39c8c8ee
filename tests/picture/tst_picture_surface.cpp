#include "codec/hidden_text.h"
#include "codec/message_layout.h"
#include "picture/bitmap_file_grid.h"
#include "picture/bitmap_save.h"
#include "picture/file_system.h"
#include "picture/picture_surface.h"
#include "support/system.h"
#include "support/test_pictures.h"

#include <QBuffer>
#include <QDir>
#include <QImageReader>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <cerrno>
#include <random>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <unistd.h>
#endif

using namespace lumenveil;
using namespace lumenveil::test;

namespace {

const QString Bmpsuite = QStringLiteral(LUMENVEIL_TESTDATA_DIR "/bmpsuite");

// A picture of `first` in its left (or top) half and `second` in the rest.
QImage Halves(int width, int height, QRgb first, QRgb second, bool leftRight)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(second);
    QPainter(&image).fillRect(0, 0, leftRight ? width / 2 : width, leftRight ? height : height / 2,
                              QColor(first));
    return image;
}

// The 4 x 2 picture of the run-length rows, from its palette indices, top row first.
QImage RunLengthPicture(const char* indices = "0000000000000000")
{
    const QByteArray bytes = QByteArray::fromHex(indices);
    QImage image(reinterpret_cast<const uchar*>(bytes.constData()), 4, 2, 4,
                 QImage::Format_Indexed8);
    image.setColorTable({0xFF00FF00, 0xFF1EE10A, 0xFF3CC314, 0xFF5AA51E, 0xFF788728, 0xFF966932,
                         0xFFB44B3C, 0xFFD22D46});
    return image.copy();
}

QByteArray RunLengthFile(const char* data)
{
    return BuildBitmap(RunLengthPicture(), 8, 1, false, QByteArray::fromHex(data));
}

// Whether reading `path` lazily, as a plain 24-bit bitmap, agrees with loading it: the lazy
// read takes only files the loader takes, sees the pixels the loader gives, and so finds the
// same message.
// Saves each band of rows as the decoder hands it over, as lumenveil-cli's hide does, with or
// without the load keeping the whole picture.
class SavingSink final : public RowSink
{
public:
    SavingSink(BitmapFileSave& save, bool keep) : save_(save), keep_(keep) {}
    bool Begin(int width, int height) override { return save_.Begin(width, height).ok(); }
    bool RowsDone(const RowBand& band) override { return save_.WriteRows(band).ok(); }
    bool KeepPicture() const override { return keep_; }

private:
    BitmapFileSave& save_;
    bool keep_;
};

bool LazyReadAgrees(const QString& path, const PictureResult& loaded, const PictureSurface& surface)
{
    std::unique_ptr<ByteSource> source;
    if (!OpenPictureSource(Native(path), MaxPictureFileBytes, source).ok()) {
        return true;
    }
    const auto grid = BitmapFileGrid::Open(*source);
    if (!grid) {
        return true;
    }
    const int height = surface.ImageHeight();
    const qint64 pixels = qint64{surface.ImageWidth()} * height;
    if (!loaded.ok() || grid->ImageWidth() != surface.ImageWidth() ||
        grid->ImageHeight() != height) {
        return false;
    }
    // The whole run at once from both grids, then every pixel on its own.
    std::vector<std::uint8_t> lazyBits(static_cast<std::size_t>(pixels));
    std::vector<std::uint8_t> wholeBits(lazyBits.size());
    grid->ReadCarrierBits(0, pixels, lazyBits.data());
    surface.ReadCarrierBits(0, pixels, wholeBits.data());
    if (lazyBits != wholeBits) {
        return false;
    }
    for (qint64 n = 0; n < pixels; ++n) {
        const int x = static_cast<int>(n / height);
        const int y = static_cast<int>(n % height);
        if (grid->ReadPixel(x, y) != surface.ReadPixel(x, y)) {
            return false;
        }
    }
    const std::optional<ReadOutcome> lazily = ReadLazily((path));
    const ReadOutcome whole = ReadText(surface);
    return lazily && lazily->status == whole.status && lazily->text == whole.text;
}

// What Qt's own reader makes of `bytes`, EXIF orientation applied, as RGB32: the pixels the
// loader gave before it decoded JPEG itself.
QImage QtReading(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

void AddLoadColumns()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<PictureStatus>("status");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QImage>("expected");
    QTest::addColumn<int>("tolerance");
}

// A load table row, its file named after it: loading it gives `status`, `reason` in what the user
// is told, and pixels within `tolerance` of `expected` (where given) in every component.
void Row(const char* name, const QByteArray& bytes, PictureStatus status,
         const QString& reason = {}, const QImage& expected = {}, int tolerance = 0)
{
    QTest::newRow(name) << bytes << status << reason << expected << tolerance;
}

void Loads(const char* name, const QByteArray& bytes, const QImage& expected, int tolerance = 0)
{
    Row(name, bytes, PictureStatus::Ok, "", expected, tolerance);
}

// One damaged copy of `bytes`: cut short, bytes flipped, header fields set to extremes, bytes
// inserted or dropped, a stretch repeated.
QByteArray Damaged(QByteArray bytes, std::mt19937& random)
{
    static const quint32 Extremes[] = {0,      1,          255,        0x8000,     60000,     65535,
                                       100000, 0x7FFFFFFF, 0x80000000, 0xFFFF0000, 0xFFFFFFFF};
    const auto at = [&](qsizetype span) {
        return static_cast<qsizetype>(random() %
                                      static_cast<quint32>(std::max<qsizetype>(1, span)));
    };
    for (int step = 0, steps = 1 + static_cast<int>(random() % 2); step < steps && !bytes.isEmpty();
         ++step) {
        switch (random() % 6) {
        case 0: bytes.truncate(at(bytes.size())); break;
        case 1:
            for (int i = 0, n = 1 + static_cast<int>(random() % 8); i < n; ++i) {
                bytes[at(bytes.size())] ^= static_cast<char>(1 + random() % 255);
            }
            break;
        case 2: { // a header field of 2 or 4 bytes, in either byte order
            const int width = random() % 2 ? 4 : 2;
            const qsizetype offset = at(std::min<qsizetype>(bytes.size(), 128) - width + 1);
            const quint32 value = Extremes[random() % std::size(Extremes)];
            const bool little = random() % 2 != 0;
            for (int k = 0; k < width && offset + width <= bytes.size(); ++k) {
                bytes[offset + k] = static_cast<char>(value >> 8 * (little ? k : width - 1 - k));
            }
            break;
        }
        case 3: bytes.insert(at(bytes.size()), static_cast<char>(random() % 256)); break;
        case 4: bytes.remove(at(bytes.size()), 1 + at(16)); break;
        default: { // a stretch repeated, so runs and palettes overrun
            const QByteArray stretch = bytes.mid(at(bytes.size()), 1 + at(64));
            bytes.insert(at(bytes.size()), stretch.repeated(1 + static_cast<int>(random() % 8)));
            break;
        }
        }
    }
    return bytes;
}

} // namespace

class tst_PictureSurface : public QObject
{
    Q_OBJECT

private slots:
    void load_data();
    void load();
    void bmpsuite_data();
    void bmpsuite() { load(); }
    void saveFails_data();
    void saveFails();
    void hideSaveReloadRead();
    void outputIsPicture_data();
    void outputIsPicture();
    void outOfMemory();
    void systemErrorTexts_data();
    void systemErrorTexts();

private:
    QString Path(const QString& name) const { return dir_.filePath(name); }

    QTemporaryDir dir_;
};

void tst_PictureSurface::load_data()
{
    AddLoadColumns();
    const QImage photo = PhotoLikeImage(13, 7, 3);
    Loads("BMP 1-bit palette", BuildBitmap(Paletted(photo, 2), 1), Paletted(photo, 2));
    Loads("BMP 4-bit palette", BuildBitmap(Paletted(photo, 16), 4), Paletted(photo, 16));
    Loads("BMP 8-bit palette", BuildBitmap(Paletted(photo, 256), 8), Paletted(photo, 256));
    Loads("BMP 8-bit palette top-down", BuildBitmap(Paletted(photo, 256), 8, 0, true),
          Paletted(photo, 256));
    // 16-bit kinds lose the low bits of each component in the file itself.
    Loads("BMP 16-bit 555", BuildBitmap(photo, 16), photo, 8);
    Loads("BMP 16-bit 565 bitfields", BuildBitmap(photo, 16, 3), photo, 8);
    Loads("BMP 24-bit", BuildBitmap(photo, 24), photo);
    Loads("BMP 24-bit top-down", BuildBitmap(photo, 24, 0, true), photo);
    Loads("BMP 32-bit", BuildBitmap(photo, 32), photo);
    // Run-length data that moves and ends early: every pixel no run sets has palette colour 0.
    // Bottom row: two pixels of 5, end of line. Top row: one to the right, a 7, end of bitmap.
    Loads("RLE8 moves and early ends", RunLengthFile("0205 0000 00020100 0107 0001"),
          RunLengthPicture("00070000 05050000"));
    // Runs that pass the end of their row are cut there, as viewers cut them.
    Loads("RLE8 run past the row", RunLengthFile("0505 0001"),
          RunLengthPicture("00000000 05050505"));
    Loads("RLE8 stored pixels past the row", RunLengthFile("0005 0102030405 00 0001"),
          RunLengthPicture("00000000 01020304"));
    Loads("RLE8 stored pixels, padded", RunLengthFile("0003010203 00 0000 0104 0001"),
          RunLengthPicture("04000000 01020300"));

    const QImage source = PhotoLikeImage(62, 40, 5);
    const QImage gray = source.convertToFormat(QImage::Format_Grayscale8);
    const QByteArray jpeg = EncodeImage(source, "jpeg");
    const QByteArray progressive = EncodeImage(source, "jpeg", true);
    // JPEG files give, bit for bit, the pixels Qt's reader made of them.
    const auto loadsAsBefore = [](const char* name, const QByteArray& bytes) {
        Loads(name, bytes, QtReading(bytes));
    };
    loadsAsBefore("JPEG baseline", jpeg);
    loadsAsBefore("JPEG progressive", progressive);
    loadsAsBefore("JPEG grayscale", EncodeImage(gray, "jpeg"));
    loadsAsBefore("JPEG CMYK", ReadBytes(QFINDTESTDATA("fixtures/cmyk.jpg")));
    for (char orientation = 1; orientation <= 8; ++orientation) { // 6 turns it a quarter right
        const QByteArray exif = QByteArray::fromHex("FFE10022 457869660000"  // "Exif\0\0"
                                                    "4D4D002A00000008 0001"  // big-endian, 1 entry
                                                    "0112 0003 00000001 00") // orientation
                                + orientation + QByteArray(6, '\0');
        loadsAsBefore(qPrintable(QString("JPEG with EXIF orientation %1").arg(int(orientation))),
                      jpeg.left(2) + exif + jpeg.mid(2));
    }
    const qsizetype app0End = 4 + qFromBigEndian<quint16>(jpeg.constData() + 4);
    Loads("JPEG with stray bytes after APP0",
          jpeg.left(app0End) + QByteArray(2, '\0') + jpeg.mid(app0End), QtReading(jpeg));
    // Transparent pixels keep their own colour.
    Loads("GIF with transparency", ReadBytes(QFINDTESTDATA("fixtures/transparent.gif")),
          Halves(8, 8, qRgb(10, 120, 250), qRgb(200, 40, 10), true));
    QImage alpha(3, 3, QImage::Format_ARGB32);
    alpha.fill(qRgba(1, 2, 3, 255));
    alpha.setPixel(1, 1, qRgba(10, 20, 30, 0));
    alpha.setPixel(2, 2, qRgba(200, 100, 50, 128));
    Loads("PNG with alpha", EncodeImage(alpha, "png"), alpha);
    Loads("PNG RGB64", EncodeImage(photo.convertToFormat(QImage::Format_RGBX64), "png"), photo);
    Loads("PNG RGBA64", EncodeImage(alpha.convertToFormat(QImage::Format_RGBA64), "png"), alpha);
    QImage clearPalette = Paletted(photo, 4);
    clearPalette.setColor(1, clearPalette.color(1) & 0xFFFFFF); // transparent, its colour kept
    Loads("PNG palette with a transparent colour", EncodeImage(clearPalette, "png"), clearPalette);
    PictureSurface carrier; // damaged copies of it reach the reading scan
    QVERIFY(WriteImage(PhotoLikeImage(20, 20, 9), Path("carrier.png"), "png"));
    QVERIFY(carrier.LoadImageFile(Native(Path("carrier.png"))).ok());
    QCOMPARE(HideText(carrier, u"a message to damage").status, HideStatus::Hidden);
    QVERIFY(carrier.SaveBitmapFile(Native(Path("carrier.bmp"))).ok());
    Loads("BMP carrying a message", ReadBytes(Path("carrier.bmp")), ImageOf(carrier));
    Loads("PNG of one pixel", EncodeImage(alpha.copy(0, 0, 1, 1), "png"), alpha.copy(0, 0, 1, 1));

    const QByteArray bmp = EncodeImage(PhotoLikeImage(40, 30), "bmp");
    QByteArray pastEnd = bmp;
    qToLittleEndian<quint32>(0x7FFFFFF0, pastEnd.data() + 10); // where the pixel data starts
    // `bytes` with a frame header (`frame` its marker) that claims `side` x `side` pixels,
    // padded to 17 KB with a comment when `padded`.
    const auto claiming = [](QByteArray bytes, const char* frame, quint32 side, bool padded) {
        qToBigEndian<quint32>(side << 16 | side, bytes.data() + bytes.indexOf(frame) + 5);
        return padded ? bytes.insert(2, "\xFF\xFE\x3E\x82" + QByteArray(16000, 'x')) : bytes;
    };
    // The scan's data starts after its header; 64 bits of ones are a code no table has.
    const qsizetype sos = jpeg.indexOf("\xFF\xDA");
    const qsizetype scan = sos + 2 + qFromBigEndian<quint16>(jpeg.constData() + sos + 2);
    QByteArray badCode = jpeg;
    badCode.replace(scan + 30, 16, QByteArray::fromHex("FF00").repeated(8));
    // Run-length bitmaps of nothing but an end code, after a palette and a gap: 18 KB.
    const auto onlyEnd = [](int width, int height) {
        QByteArray bytes = BitmapHeaders(width, height, 8, 1, 17408, 2) + QByteArray(17408, '\0') +
                           QByteArray::fromHex("0001");
        qToLittleEndian<quint32>(256, bytes.data() + 46); // colours in the palette
        return bytes;
    };

    using enum PictureStatus;
    Row("text named .bmp", "just some text\n", NotAPicture, "is not a picture");
    Row("empty file.jpg", "", NotAPicture, "is not a picture");
    Row("icon named .gif", QByteArray::fromHex("0000010001001010"), NotAPicture, "not a picture");
    Row("missing file.bmp", "", NotFound, "does not exist");
    Row("folder named .bmp", "", NotReadable, "it is a folder");
    Row("BMP cut in half", bmp.left(bmp.size() / 2), Damaged, "ends before its pixel data");
    Row("BMP one byte short", bmp.left(bmp.size() - 1), Damaged, "ends before its pixel data");
    Row("BMP headers cut short", bmp.left(20), Damaged, "headers are cut short");
    Row("BMP pixel data past the end", pastEnd, Damaged, "ends before its pixel data");
    Row("BMP headers alone that claim 16000 x 16000", BitmapHeaders(16000, 16000, 24, 0, 0, 0),
        Damaged, "far more than its 54 bytes can hold");
    Row("BMP with a pixel past its palette",
        BuildBitmap(RunLengthPicture(), 8, 0, false, QByteArray::fromHex("0008000000000000")),
        Damaged, "colours its palette does not have");
    Row("BMP of 100000 x 100000", BitmapHeaders(100000, 100000, 24, 0, 0, 0), TooLarge,
        "100000 \u00D7 100000 pixels");
    // Headers whose pixel data size (stride times height) overflows 64 bits.
    Row("BMP 19-byte info header, 2^31 x 1.5 x 2^30",
        QByteArray::fromBase64("Qk22BAAAAAAYAACABAATAAAAAAAkegBCtl0FACAAAAAATTICBA=="), Damaged);
    Row("BMP cut in its info header, 2^31 x 2^31",
        QByteArray::fromBase64("Qk1CfwwEAwEAABeIACAASQAgAElJiBcLAH8TACAA"), Damaged);
    Row("BMP of 2^31 x 2^31 at 32 bits",
        BitmapHeaders(0x7FFFFFFF, 0x7FFFFFFF, 32, 0, 0, 64) + QByteArray(64, '\0'), Damaged,
        "more bytes than any file can hold");
    Row("RLE8 move past the top", RunLengthFile("00020003 0001"), Damaged, "beyond the picture");
    Row("RLE8 without end of bitmap", RunLengthFile("0205 0000 0107"), Damaged, "ends before");
    Row("RLE8 stored pixels cut short", RunLengthFile("000401"), Damaged, "ends before");
    Row("RLE8 of 16384 x 16384 holding only an end code", onlyEnd(16384, 16384), Damaged,
        "16384 \u00D7 16384 pixels, but its runs set only 0");
    Row("RLE8 of 1 x 268435456 holding only an end code", onlyEnd(1, 268435456), Damaged,
        "runs set only 0");
    Row("JPEG cut in half", jpeg.left(jpeg.size() / 2), Damaged, "ends before its picture data");
    Row("JPEG of 60000 x 60000", claiming(jpeg, "\xFF\xC0", 60000, false), TooLarge,
        "60000 \u00D7 60000 pixels");
    Row("JPEG of 16384 x 16384 in 17 KB", claiming(jpeg, "\xFF\xC0", 16384, true), Damaged,
        "far more than its 17");
    Row("JPEG progressive of 16384 x 16384 in 17 KB",
        claiming(progressive, "\xFF\xC2", 16384, true), Damaged, "far more than its 17");
    Row("JPEG with a bad Huffman code", badCode, Damaged, "bad Huffman code");
    Row("JPEG with a marker inside the scan",
        jpeg.left(scan + 40) + "\xFF\xD3" + jpeg.mid(scan + 40), Damaged,
        "premature end of data segment");
    Row("PNG cut short", EncodeImage(PhotoLikeImage(40, 30), "png").left(1000), Damaged);
    Row("GIF cut short", ReadBytes(QFINDTESTDATA("fixtures/transparent.gif")).left(40), Damaged,
        "ends before its picture data");
}

// Each file is loaded over another picture, then damaged 325 ways, the same on every run: each
// copy loads or fails with a reason, leaving the surface as it was; nothing crashes or hangs.
void tst_PictureSurface::load()
{
    QFETCH(QByteArray, bytes);
    QFETCH(PictureStatus, status);
    QFETCH(QString, reason);
    QFETCH(QImage, expected);
    QFETCH(int, tolerance);

    PictureSurface surface;
    QVERIFY(WriteImage(PhotoLikeImage(31, 17, 9), Path("before.png"), "png"));
    QVERIFY(surface.LoadImageFile(Native(Path("before.png"))).ok());
    surface.WritePixel(3, 3, 0x123456);
    QImage current = ImageOf(surface).copy();
    const QString path = Path(QString(QTest::currentDataTag()).replace('/', '-'));
    // No file for the row of a missing file, a folder for the one of a file that cannot be read.
    QVERIFY(status == PictureStatus::NotFound ||
            (status == PictureStatus::NotReadable ? QDir().mkdir(path) : WriteBytes(path, bytes)));
    const PictureResult result = surface.LoadImageFile(Native(path));
    const QString said = Describe(result, path);
    QCOMPARE(result.status, status);
    QVERIFY(LazyReadAgrees(path, result, surface));
    QVERIFY2(said.contains(path) && said.contains(reason), qPrintable(said));
    QCOMPARE(surface.LoadedKind(), result.ok() ? SniffPictureKind(reinterpret_cast<const unsigned char*>(bytes.constData()),
                                                             static_cast<std::size_t>(bytes.size()))
                                          : PictureKind::Png);
    const int difference = expected.isNull() ? 0 : LargestDifference(ImageOf(surface), expected);
    QVERIFY2(difference <= tolerance, qPrintable(QString("differs by %1").arg(difference)));
    QVERIFY(result.ok() || ImageOf(surface) == current);
    if (status != PictureStatus::NotFound && status != PictureStatus::NotReadable) {
        // capacity reads the same bytes through a pipe, the headers only: where they are
        // sound it answers, even of a body that does not load; where not, it fails as the
        // load did. A load that passed saw the size the headers give.
        MemorySource source(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        PictureHeader header;
        const PictureResult headers = ReadPictureHeader(source, {}, header);
        QVERIFY(!result.ok() || (headers.ok() && header.width == surface.ImageWidth() &&
                                 header.height == surface.ImageHeight()));
        QVERIFY(headers.ok() || headers.status == result.status);
        // By a name where the system has one for standard input, so that the pipe is opened
        // as a file.
#ifdef Q_OS_WIN
        const Finished piped = RunCli({"capacity", "-"}, {}, bytes);
#else
        const Finished piped = RunCli({"capacity", "/dev/stdin"}, {}, bytes);
#endif
        QVERIFY2(piped.status == (headers.ok() ? 0 : 2) &&
                     (headers.ok() ? piped.out.trimmed().toLongLong() ==
                                         CapacityInChars(header.width, header.height)
                                   : piped.err.contains(reason)),
                 qPrintable(piped.out + piped.err));
    }
    if (result.ok()) {
        // Saved as a plain 24-bit bitmap whatever the name, over the last row's file, byte for
        // byte what a bitmap of those pixels holds, and read back unchanged.
        QVERIFY(surface.SaveBitmapFile(Native(Path("saved.jpg"))).ok());
        QCOMPARE(ReadBytes(Path("saved.jpg")), BuildBitmap(ImageOf(surface), 24));
        // Saved band by band while it is decoded, the same file, whether the load keeps the
        // picture or not; where not, the surface keeps the one it had.
        for (const bool keep : {true, false}) {
            BitmapFileSave save(Native(Path("streamed.bmp")));
            SavingSink sink(save, keep);
            PictureSurface streamed;
            QVERIFY(streamed.LoadImageFile(Native(path), &sink).ok() && save.Commit().ok());
            QCOMPARE(ReadBytes(Path("streamed.bmp")), ReadBytes(Path("saved.jpg")));
            QVERIFY(ImageOf(streamed) == ImageOf(surface) || (!keep && streamed.IsEmpty()));
        }
        PictureSurface reloaded;
        QVERIFY(reloaded.LoadImageFile(Native(Path("saved.jpg"))).ok());
        QCOMPARE(ImageOf(reloaded), ImageOf(surface));
        current = ImageOf(surface);
    }

    std::mt19937 random(0x1E5E7 + static_cast<quint32>(bytes.size()));
    QStringList files;
    for (int i = 0; i < 325; ++i) {
        const QByteArray copy = Damaged(bytes, random);
        QVERIFY(WriteBytes(Path("damaged"), copy));
        const PictureResult damaged = surface.LoadImageFile(Native(Path("damaged")));
        if (damaged.ok()) {
            current = ImageOf(surface);
        }
        QVERIFY2((damaged.ok() || damaged.status == PictureStatus::NotAPicture ||
                  !damaged.reason.empty()) &&
                     ImageOf(surface) == current &&
                     LazyReadAgrees(Path("damaged"), damaged, surface),
                 qPrintable(QString("copy %1").arg(i)));
        if (i % 13 == 0) { // every 13th through lumenveil-cli too
            files << QString("copy %1").arg(i);
            QVERIFY(WriteBytes(Path(files.last()), copy));
        }
    }
    // Each file gives its message under a heading or one complaint.
    const Finished run = RunCli(QStringList{"reveal"} + files, dir_.path());
    QVERIFY2(run.status >= 0 && run.status <= 2, qPrintable(run.err));
    QCOMPARE(run.out.count("==> ") + run.err.count("lumenveil-cli: "), files.size());
}

// The bmpsuite corpus of good, questionable and bad bitmaps, each file against the result
// bmpsuite_expected.tsv records for it.
void tst_PictureSurface::bmpsuite_data()
{
    if (!QDir(Bmpsuite).exists()) {
        QSKIP(qPrintable("the bmpsuite corpus is not at " + Bmpsuite + "; its cases are skipped"));
    }
    const QMap<QString, PictureStatus> statuses = {{"loads", PictureStatus::Ok},
                                                   {"Damaged", PictureStatus::Damaged},
                                                   {"Unsupported", PictureStatus::Unsupported},
                                                   {"TooLarge", PictureStatus::TooLarge}};
    AddLoadColumns();
    QFile table(QFINDTESTDATA("bmpsuite_expected.tsv"));
    QVERIFY(table.open(QIODevice::ReadOnly | QIODevice::Text));
    while (!table.atEnd()) {
        const QStringList fields = QString::fromUtf8(table.readLine()).trimmed().split('\t');
        if (statuses.contains(fields.value(1)) && QFile::exists(Bmpsuite + '/' + fields[0])) {
            Row(qPrintable(fields[0]), ReadBytes(Bmpsuite + '/' + fields[0]),
                statuses.value(fields[1]));
        }
    }
}

void tst_PictureSurface::saveFails_data()
{
    QTest::addColumn<QString>("disk");
    QTest::addColumn<QString>("reason"); // the system's words for it
    QTest::newRow("full disk") << QString("full") << "No space left on device";
    QTest::newRow("read-only mount") << QString("read-only") << "Read-only file system";
    QTest::newRow("file that cannot be replaced") << QString("locked") << "Read-only file system";
#ifdef Q_OS_WIN
    QTest::newRow("read-only file") << QString("read-only file") << "the file is read-only";
#else
    QTest::newRow("read-only file") << QString("read-only file") << "Permission denied";
#endif
    QTest::newRow("folder of that name") << QString("folder") << "a folder has that name";
    QTest::newRow("nothing loaded") << QString("nothing") << "There is no picture to save";
}

// A failed save, in a surface or by lumenveil-cli, says why, leaves an existing file byte for
// byte as it was, and leaves no temporary file behind.
void tst_PictureSurface::saveFails()
{
    QFETCH(QString, disk);
    QFETCH(QString, reason);
    ScratchMount mount;
    QTemporaryDir scratch;
    const bool onMount = QStringList{"full", "read-only", "locked"}.contains(disk);
    if (onMount && !mount.error().isEmpty()) {
        QSKIP(qPrintable(mount.error()));
    }
    const QString folder = onMount ? mount.path() : scratch.path();
    const QString path = folder + "/photo.bmp";
    const QByteArray original = disk == "folder" ? "" : "the user's own file, never to be touched";
    QVERIFY(disk == "folder" ? QDir(folder).mkdir("photo.bmp") : WriteBytes(path, original));
    QVERIFY(!onMount || mount.breakFor(disk, "photo.bmp"));
    if (disk == "read-only file" &&
        (!QFile::setPermissions(path, QFile::ReadOwner) || QFileInfo(path).isWritable())) {
        QSKIP("running as root: a read-only mode does not stop root from writing");
    }
    // 200 x 200: a 120 KB bitmap, more than a nearly full scratch disk can take.
    PictureSurface surface;
    QVERIFY(WriteImage(PhotoLikeImage(200, 200), Path("photo.png"), "png"));
    QVERIFY(disk == "nothing" || surface.LoadImageFile(Native(Path("photo.png"))).ok());

    const PictureResult result = surface.SaveBitmapFile(Native(path));
    const QString said = Describe(result, path);
    QVERIFY2(!result.ok() && said.contains(path) && said.contains(reason) && !said.contains(".."),
             qPrintable(said));
    if (disk != "nothing") {
        // Through lumenveil-cli from a JPEG, whose rows go to the disk while it decodes: the
        // failure stops the decoder.
        const QImage tall = PhotoLikeImage(50, 100).scaled(1000, 2000);
        QVERIFY(WriteImage(tall, Path("tall.jpg"), "jpeg"));
        const Finished run = RunCli({"hide", Path("tall.jpg"), path, "--text", "x"}, {});
        // lumenveil-cli names the file with the system's separators.
        QVERIFY2(run.status == 2 && run.err.contains(QDir::toNativeSeparators(path)) &&
                     run.err.contains(reason),
                 qPrintable(run.err));
    }
    const QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(left.filter(QRegularExpression("^(?!\\.filler$)")),
             original.isEmpty() ? QStringList() : QStringList{"photo.bmp"});
    QCOMPARE(ReadBytes(path), original);
}

// Pictures of every shape and texts of all 256 codes hidden, saved, loaded again and read back;
// outside the message's slots nothing changed, in them only the carrier bits did.
void tst_PictureSurface::hideSaveReloadRead()
{
    std::mt19937 random(20261206);
    for (int round = 0; round < 2000; ++round) {
        std::u16string text;
        for (int i = 0, n = static_cast<int>(random() % (round % 10 ? 40 : 400)); i < n; ++i) {
            text += CharOfCode(static_cast<std::uint8_t>(random() % 256));
        }
        // One row, one column, and odd widths with 0 to 2 pixels to spare.
        const int needed = 3 * (static_cast<int>(text.size()) + 24);
        const int height = round % 4 == 0   ? 1
                           : round % 4 == 1 ? needed + static_cast<int>(random() % 3)
                                            : 1 + static_cast<int>(random() % 13);
        const int width = round % 4 == 0   ? needed
                          : round % 4 == 1 ? 1
                                           : (needed + height - 1) / height | 1;
        const QImage image = PhotoLikeImage(width, height, static_cast<quint32>(round));
        QVERIFY(WriteImage(image, Path("source"), round % 2 ? "png" : "bmp"));

        PictureSurface surface;
        QVERIFY(surface.LoadImageFile(Native(Path("source"))).ok());
        QCOMPARE(HideText(surface, text).status, HideStatus::Hidden);
        QVERIFY(surface.SaveBitmapFile(Native(Path("saved.bmp"))).ok());
        PictureSurface reloaded;
        QVERIFY(reloaded.LoadImageFile(Native(Path("saved.bmp"))).ok());
        const ReadOutcome read = ReadText(reloaded);
        // Read from the file too, in strips of columns that widen as the message goes on.
        const std::optional<ReadOutcome> lazily = ReadLazily((Path("saved.bmp")));
        QVERIFY2(read.status == ReadStatus::Found && read.text == text && lazily &&
                     lazily->text == text,
                 qPrintable(QString("round %1").arg(round)));
        for (int n = 0; n < width * height; ++n) {
            const QRgb mask = n >= needed ? 0xFFFFFF : n % 3 == 2 ? 0xFEFEFF : 0xFEFEFE;
            const QRgb changed = ImageOf(reloaded).pixel(n / height, n % height) ^
                                 image.pixel(n / height, n % height);
            if ((changed & mask) != 0) {
                QFAIL(qPrintable(QString("round %1, pixel %2 changed").arg(round).arg(n)));
            }
        }
    }
}

void tst_PictureSurface::outputIsPicture_data()
{
    QTest::addColumn<QString>("output"); // beside photo.jpg
    QTest::addColumn<bool>("same");
    QTest::newRow("the same name") << QString("photo.jpg") << true;
    QTest::newRow("through a folder and back") << QString("sub/../photo.jpg") << true;
    QTest::newRow("a hard link") << QString("link.bmp") << true;
#ifdef Q_OS_WIN
    QTest::newRow("in capitals") << QString("PHOTO.JPG") << true;
    QTest::newRow("with backslashes") << QString("sub\\..\\photo.jpg") << true;
#endif
    QTest::newRow("a copy") << QString("copy.jpg") << false;
}

// lumenveil-cli refuses to write the bitmap over the photo it reads, however OUTPUT names that
// file, and leaves the photo as it was; a copy with the same bytes is another file.
void tst_PictureSurface::outputIsPicture()
{
    QFETCH(QString, output);
    QFETCH(bool, same);
    QTemporaryDir folder;
    const QString photo = folder.filePath("photo.jpg");
    QVERIFY(WriteImage(PhotoLikeImage(40, 30), photo, "jpeg"));
    const QByteArray bytes = ReadBytes(photo);
    QVERIFY(QDir(folder.path()).mkdir("sub"));
    QVERIFY(QFile::copy(photo, folder.filePath("copy.jpg")));
#ifdef Q_OS_WIN
    QVERIFY(::CreateHardLinkW(reinterpret_cast<const wchar_t*>(
                                  QDir::toNativeSeparators(folder.filePath("link.bmp")).utf16()),
                              reinterpret_cast<const wchar_t*>(
                                  QDir::toNativeSeparators(photo).utf16()),
                              nullptr));
#else
    QVERIFY(::link(QFile::encodeName(photo).constData(),
                   QFile::encodeName(folder.filePath("link.bmp")).constData()) == 0);
#endif
    // Whole paths: a folder that a child process works in cannot be removed until it is gone.
    const Finished run =
        RunCli({"hide", photo, folder.path() + '/' + output, "--text", "x"}, {});
    if (same) {
        QVERIFY2(run.status == 2 && run.err.contains("is the picture") &&
                     run.err.contains("give another OUTPUT"),
                 qPrintable(QString("%1: %2").arg(run.status).arg(run.err)));
    } else {
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QVERIFY(ReadBytes(folder.filePath(output)).startsWith("BM"));
    }
    QCOMPARE(ReadBytes(photo), bytes);
}

// A picture whose decoded pixels do not fit in the memory lumenveil-cli may have: the load fails
// saying so, rather than going on with an empty picture (capacity 0, "no secret message").
void tst_PictureSurface::outOfMemory()
{
#ifdef LUMENVEIL_SANITIZED
    QSKIP("the sanitizers reserve far more address space than the limit leaves");
#endif
#ifndef Q_OS_UNIX
    QSKIP("RunCli limits a child's memory only on POSIX systems (setrlimit)");
#endif
    // 256 KB of PNG, 1 GiB of pixels, in less memory than that.
    QImage palette(16384, 16384, QImage::Format_Indexed8);
    palette.setColorTable({qRgb(10, 20, 30), qRgb(40, 50, 60)});
    palette.fill(0);
    QVERIFY(WriteImage(palette, Path("huge.png"), "png"));
    palette = QImage();
    const Finished run =
        RunCli({"hide", Path("huge.png"), "-", "--text", "x"}, {}, {}, 900000); // KiB
    QVERIFY2(run.status == 2 &&
                 run.err.contains("not enough memory for a picture of 16384 \u00D7 16384"),
             qPrintable(run.err));
}

// The system's words end a sentence of ours, so they come without a full stop of their own;
// the C library's errno values read as such on Windows too, not as Windows error codes.
void tst_PictureSurface::systemErrorTexts_data()
{
    QTest::addColumn<QString>("said");
    QTest::addColumn<QString>("expected");
    QTest::newRow("a full disk") << QString::fromStdString(SystemErrorText(ENOSPC))
                                 << "No space left on device";
    QTest::newRow("no such file") << QString::fromStdString(SystemErrorText(ENOENT))
                                  << "No such file or directory";
#ifdef _WIN32
    // Wine's words and those of Windows differ; both name the path.
    QTest::newRow("Windows: no such folder")
        << QString::fromStdString(WindowsErrorText(ERROR_PATH_NOT_FOUND)) << "ath";
    QTest::newRow("Windows: access denied")
        << QString::fromStdString(WindowsErrorText(ERROR_ACCESS_DENIED)) << "ccess denied";
#endif
}

void tst_PictureSurface::systemErrorTexts()
{
    QFETCH(QString, said);
    QFETCH(QString, expected);
    QVERIFY2(said.contains(expected) && !said.endsWith('.') && !said.endsWith('\n'),
             qPrintable(said));
}

QTEST_GUILESS_MAIN(tst_PictureSurface)
#include "tst_picture_surface.moc"
