#include "codec/hidden_text.h"
#include "codec/message_layout.h"
#include "picture/decoding_grid.h"
#include "picture/picture_decoder.h"
#include "picture/picture_surface.h"
#include "support/test_pictures.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace lumenveil;
using namespace lumenveil::test;

Q_DECLARE_METATYPE(lumenveil::ReadStatus)

namespace {

constexpr int Width = 120;
constexpr int Height = 200;
// The first three characters, pixels 0 .. 8 (rows 0 .. 8 of the first column), are as far as
// this photo holds anything that could begin a message.
constexpr int FirstRows = 9;
constexpr char16_t Message[] = u"one message, read from every kind of file";

// The picture in `path` read whole, as the window loads it.
std::optional<ReadOutcome> ReadWhole(const QString& path)
{
    PictureSurface surface;
    if (!surface.LoadImageFile(Native(path)).ok()) {
        return std::nullopt;
    }
    return ReadText(surface);
}

bool Convert(const QStringList& arguments, const QString& folder)
{
    QProcess convert;
    convert.setWorkingDirectory(folder);
    convert.start("convert", arguments);
    return convert.waitForFinished(60000) && convert.exitStatus() == QProcess::NormalExit &&
           convert.exitCode() == 0;
}

// `jpeg` with an EXIF block that gives it `orientation`.
QByteArray Oriented(const QByteArray& jpeg, char orientation)
{
    const QByteArray exif = QByteArray::fromHex("FFE10022 457869660000 4D4D002A00000008 0001"
                                                "0112 0003 00000001 00") +
                            orientation + QByteArray(6, '\0');
    return jpeg.left(2) + exif + jpeg.mid(2);
}

} // namespace

// Reading a message decodes the rows its scan reaches and no more, and finds what reading the
// whole picture finds.
class tst_DecodingGrid : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void readsTheRowsTheScanReaches_data();
    void readsTheRowsTheScanReaches();

private:
    QString Path(const QString& name) const { return dir_.filePath(name); }

    QTemporaryDir dir_;
};

void tst_DecodingGrid::initTestCase()
{
    if (QStandardPaths::findExecutable("convert").isEmpty()) {
        QSKIP("ImageMagick's convert writes the interlaced, GIF and run-length files: install "
              "imagemagick (scripts/install-deps.sh)");
    }
    // The same picture plain, with the message, and with a start marker and no end.
    const QImage photo = PhotoLikeImage(Width, Height, 7);
    PictureSurface surface;
    QVERIFY(WriteImage(photo, Path("plain.png"), "png"));
    QVERIFY(surface.LoadImageFile(Native(Path("plain.png"))).ok());
    QCOMPARE(HideText(surface, Message).status, HideStatus::Hidden);
    const QImage carrier = ImageOf(surface);
    QVERIFY(surface.LoadImageFile(Native(Path("plain.png"))).ok());
    const std::u16string unended = u"start messagehello";
    for (std::size_t slot = 0; slot < unended.size(); ++slot) {
        StoreCharInSlot(surface, static_cast<std::int64_t>(slot), unended[slot]);
    }
    const QImage open = ImageOf(surface);
    for (const auto& [name, image] :
         {std::pair{"plain", photo}, std::pair{"message", carrier}, std::pair{"unended", open}}) {
        QVERIFY(WriteImage(image, Path(QString("%1.png").arg(name)), "png"));
        QVERIFY(WriteBytes(Path(QString("%1-32.bmp").arg(name)), BuildBitmap(image, 32)));
        QVERIFY(Convert({QString("%1.png").arg(name), "-interlace", "PNG",
                         QString("%1-adam7.png").arg(name)},
                        dir_.path()));
    }
    const QImage palette = Paletted(photo, 256);
    QVERIFY(WriteBytes(Path("plain-8.bmp"), BuildBitmap(palette, 8)));
    QVERIFY(WriteBytes(Path("plain-8-topdown.bmp"), BuildBitmap(palette, 8, 0, true)));
    QVERIFY(Convert({"plain-8.bmp", "-compress", "RLE", "BMP3:plain-rle8.bmp"}, dir_.path()));
    QVERIFY(Convert({"plain-8.bmp", "-interlace", "none", "plain.gif"}, dir_.path()));
    QVERIFY(Convert({"plain-8.bmp", "-interlace", "GIF", "plain-interlaced.gif"}, dir_.path()));

    const QByteArray jpeg = EncodeImage(photo, "jpeg");
    QVERIFY(WriteBytes(Path("plain.jpg"), jpeg));
    QVERIFY(WriteBytes(Path("plain-progressive.jpg"), EncodeImage(photo, "jpeg", true)));
    for (const char orientation : {2, 3, 6}) {
        QVERIFY(WriteBytes(Path(QString("plain-o%1.jpg").arg(int(orientation))),
                           Oriented(jpeg, orientation)));
    }
    // Cut short well below the rows that the scan of a picture without a message reaches.
    for (const char* name : {"plain.jpg", "plain.png", "plain.gif"}) {
        const QByteArray whole = ReadBytes(Path(name));
        QVERIFY(WriteBytes(Path(QString("cut-%1").arg(name)), whole.left(whole.size() * 3 / 4)));
    }
}

void tst_DecodingGrid::readsTheRowsTheScanReaches_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("rows");
    QTest::addColumn<ReadStatus>("status");
    const auto row = [](const char* name, const char* file, int rows, ReadStatus status) {
        QTest::newRow(name) << QString(file) << rows << status;
    };
    const ReadStatus none = ReadStatus::NoStartMarker;
    // No start marker: the scan stops at the first pixels that rule one out, and decoding with it.
    row("JPEG", "plain.jpg", FirstRows, none);
    row("JPEG progressive", "plain-progressive.jpg", FirstRows, none);
    row("JPEG mirrored (EXIF 2): rows still come from the top", "plain-o2.jpg", FirstRows, none);
    row("JPEG cut short below those rows", "cut-plain.jpg", FirstRows, none);
    row("PNG", "plain.png", FirstRows, none);
    row("PNG cut short below those rows", "cut-plain.png", FirstRows, none);
    row("GIF", "plain.gif", FirstRows, none);
    row("GIF cut short below those rows", "cut-plain.gif", FirstRows, none);
    row("BMP 8-bit, bottom-up", "plain-8.bmp", FirstRows, none);
    row("BMP 8-bit, top-down", "plain-8-topdown.bmp", FirstRows, none);
    row("BMP 32-bit", "plain-32.bmp", FirstRows, none);
    // Pictures whose top rows come last, or only with all the others, are decoded whole.
    row("JPEG turned a quarter (EXIF 6)", "plain-o6.jpg", Width, none);
    row("JPEG turned a half (EXIF 3)", "plain-o3.jpg", Height, none);
    row("PNG interlaced", "plain-adam7.png", Height, none);
    row("GIF interlaced", "plain-interlaced.gif", Height, none);
    row("BMP run-length coded", "plain-rle8.bmp", Height, none);
    // A message goes down every row of the columns it takes.
    row("PNG with a message", "message.png", Height, ReadStatus::Found);
    row("PNG interlaced with a message", "message-adam7.png", Height, ReadStatus::Found);
    row("BMP 32-bit with a message", "message-32.bmp", Height, ReadStatus::Found);
    row("PNG with a start marker and no end", "unended.png", Height, ReadStatus::NoEndMarker);
    row("BMP 32-bit with a start marker and no end", "unended-32.bmp", Height,
        ReadStatus::NoEndMarker);
}

void tst_DecodingGrid::readsTheRowsTheScanReaches()
{
    QFETCH(QString, file);
    QFETCH(int, rows);
    QFETCH(ReadStatus, status);
    std::unique_ptr<ByteSource> source;
    const DecodeLimits limits;
    QVERIFY(OpenPictureSource(Native(Path(file)), limits.streamBytes, source).ok());
    std::unique_ptr<DecodingGrid> grid;
    QVERIFY(DecodingGrid::Open(*source, limits, grid).ok());
    const ReadOutcome outcome = ReadText(*grid);
    QVERIFY2(grid->Failure().ok(), grid->Failure().reason.c_str());
    QCOMPARE(grid->RowsDecoded(), rows);
    QCOMPARE(outcome.status, status);
    if (status == ReadStatus::Found) {
        QCOMPARE(outcome.text, std::u16string(Message));
    }

    // What a whole load finds, where the file loads whole; the function the command line calls
    // finds the same.
    const std::optional<ReadOutcome> whole = ReadWhole(Path(file));
    QCOMPARE(!whole.has_value(), file.startsWith("cut-"));
    if (whole) {
        QCOMPARE(whole->status, outcome.status);
        QCOMPARE(whole->text, outcome.text);
    }
    ReadOutcome read;
    QVERIFY(ReadTextOfPicture(*source, limits, read).ok());
    QCOMPARE(read.status, outcome.status);
    QCOMPARE(read.text, outcome.text);
}

QTEST_GUILESS_MAIN(tst_DecodingGrid)
#include "tst_decoding_grid.moc"
