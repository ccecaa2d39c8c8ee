#include "picture/bitmap_header.h"
#include "picture/picture_decoder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <tuple>

using namespace lumenveil;

Q_DECLARE_METATYPE(lumenveil::PictureStatus)

namespace {

const QString Bmpsuite = QStringLiteral(LUMENVEIL_TESTDATA_DIR "/bmpsuite");
const QString ExpectedTable =
    QStringLiteral(LUMENVEIL_SOURCE_DIR "/tests/picture/bmpsuite_expected.tsv");

QByteArray Bytes(std::initializer_list<int> values)
{
    QByteArray bytes;
    for (const int value : values) {
        bytes += static_cast<char>(value);
    }
    return bytes;
}

qint64 Get(const QByteArray& bytes, int at, int size = 4)
{
    return size == 2 ? qFromLittleEndian<qint16>(bytes.constData() + at)
                     : qFromLittleEndian<qint32>(bytes.constData() + at);
}

// `bytes` with the little-endian field of `size` bytes at `at` set to `value`.
QByteArray With(QByteArray bytes, int at, qint64 value, int size = 4)
{
    for (int i = 0; i < size; ++i, value >>= 8) {
        bytes[at + i] = static_cast<char>(value & 0xFF);
    }
    return bytes;
}

// A bitmap with a 40-byte header, `table` (palette or masks) and `data` after it.
QByteArray Bitmap(qint64 width, qint64 height, int bits, int compression, const QByteArray& table,
                  const QByteArray& data)
{
    QByteArray bytes = "BM" + QByteArray(52, '\0') + table + data;
    for (auto [at, value, size] : {std::tuple{2, bytes.size(), 4},
                                   {10, 54 + table.size(), 4},
                                   {14, 40, 4},
                                   {18, width, 4},
                                   {22, height, 4},
                                   {26, 1, 2},
                                   {28, bits, 2},
                                   {30, compression, 4},
                                   {34, data.size(), 4},
                                   {46, bits <= 8 ? table.size() / 4 : 0, 4}}) {
        bytes = With(bytes, at, value, size);
    }
    return bytes;
}

// Eight colours, blue, green, red and a spare byte each; entry i is (i * 30, 255 - i, i * 10).
QByteArray Palette(int entries = 8)
{
    QByteArray bytes;
    for (int i = 0; i < entries; ++i) {
        bytes += Bytes({i * 30, 255 - i, i * 10, 0});
    }
    return bytes;
}

// The red, green and blue of Palette's entries `indices` (hex digits, rows from the top).
QByteArray Colours(const char* indices)
{
    QByteArray rgb;
    const QByteArray digits = QByteArray(indices).replace(' ', "");
    for (const char digit : digits) {
        const int i = QByteArray(1, digit).toInt(nullptr, 16);
        rgb += Bytes({i * 10, 255 - i, i * 30});
    }
    return rgb;
}

// The 4 x 2 run-length bitmap of `data` on Palette's colours.
QByteArray Runs(const char* data, int compression = 1)
{
    return Bitmap(4, 2, compression == 1 ? 8 : 4, compression, Palette(),
                  QByteArray::fromHex(data));
}

// Bytes in memory whose reads fail from `failsAt` on, as a disk that goes away would: a read
// from before there stops there, the next fails.
class Source final : public ByteSource
{
public:
    Source(const QByteArray& bytes, qint64 failsAt) : bytes_(bytes), failsAt_(failsAt) {}
    std::int64_t Size() const override { return bytes_.size(); }
    std::int64_t ReadAt(std::int64_t offset, void* to, std::int64_t bytes) override
    {
        if (failsAt_ >= 0 && offset >= failsAt_) {
            return -1;
        }
        const std::int64_t end = failsAt_ >= 0 ? failsAt_ : bytes_.size();
        const std::int64_t count = std::clamp<std::int64_t>(end - offset, 0, bytes);
        if (count > 0) {
            std::memcpy(to, bytes_.constData() + offset, static_cast<std::size_t>(count));
        }
        read += count;
        return count;
    }
    std::string Error() const override { return "the disk went away"; }

    std::int64_t read = 0; // bytes handed out

private:
    QByteArray bytes_;
    qint64 failsAt_;
};

// A 2 x 1 bitmap of 8 bits a pixel under the 12-byte OS/2 header, of a palette of 2 colours
// (black, white) where 256 could be, and the pixel row `row`.
QByteArray CoreBitmap(const char* row)
{
    QByteArray bytes = "BM" + QByteArray(24, '\0') + QByteArray::fromHex("000000FFFFFF") +
                       QByteArray::fromHex(row);
    for (auto [at, value] : {std::pair{10, 32}, {14, 12}, {18, 2}, {20, 1}, {22, 1}, {24, 8}}) {
        bytes = With(bytes, at, value, at == 10 || at == 14 ? 4 : 2);
    }
    return bytes;
}

QByteArray Rgb(const unsigned char* pixels, qint64 count)
{
    QByteArray rgb;
    for (qint64 i = 0; i < count; ++i, pixels += BytesPerPixel) {
        rgb += Bytes({pixels[2], pixels[1], pixels[0]});
    }
    return rgb;
}

// Decodes `bytes` whole; the pixels as red, green and blue bytes, rows from the top.
PictureResult Decode(const QByteArray& bytes, QByteArray* rgb = nullptr, qint64 failsAt = -1)
{
    Source source(bytes, failsAt);
    PixelBuffer picture;
    const PictureResult result = DecodePicture(source, DecodeLimits(), picture);
    if (result.ok() && rgb != nullptr) {
        *rgb = Rgb(picture.Data(), std::int64_t{picture.Width()} * picture.Height());
    }
    return result;
}

// Takes every band as it comes and keeps none of the picture; checks they come top-down.
class BandSink final : public RowSink
{
public:
    bool Begin(int, int) override { return true; }
    bool RowsDone(const RowBand& band) override
    {
        inOrder = inOrder && band.top == next;
        next = band.bottom;
        rgb += Rgb(band.pixels, std::int64_t{band.width} * band.Rows());
        return true;
    }
    bool KeepPicture() const override { return false; }

    QByteArray rgb;
    int next = 0;
    bool inOrder = true;
};

std::optional<QByteArray> Run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        return std::nullopt;
    }
    return process.readAllStandardOutput();
}

QString Convert()
{
    return QStandardPaths::findExecutable("convert");
}

// A Python that has PIL, or empty.
QString PythonWithPil()
{
    for (const QString& python :
         {QStandardPaths::findExecutable("python3"), QStringLiteral("/usr/bin/python3")}) {
        if (!python.isEmpty() && Run(python, {"-c", "import PIL"})) {
            return python;
        }
    }
    return {};
}

// What ImageMagick or PIL makes of the bitmap `path`: red, green and blue, rows from the top.
std::optional<QByteArray> ToolReading(const QString& tool, const QString& path)
{
    if (tool == "pil") {
        return Run(PythonWithPil(), {"-c",
                                     "import sys; from PIL import Image; sys.stdout.buffer.write("
                                     "Image.open(sys.argv[1]).convert('RGB').tobytes())",
                                     path});
    }
    return Run(Convert(), {path, "-depth", "8", "RGB:-"});
}

// The largest difference of any component; 256 where the sizes differ.
int Difference(const QByteArray& a, const QByteArray& b)
{
    int most = a.size() == b.size() ? 0 : 256;
    for (qsizetype i = 0; i < a.size() && most < 256; ++i) {
        most = std::max(most, std::abs(int(uchar(a[i])) - int(uchar(b[i]))));
    }
    return most;
}

// `bmp` with its rows stored top-down.
QByteArray TopDown(const QByteArray& bmp)
{
    const qint64 height = Get(bmp, 22);
    const qint64 offset = Get(bmp, 10);
    const qint64 stride = (Get(bmp, 18) * Get(bmp, 28, 2) + 31) / 32 * 4;
    QByteArray out = bmp.left(offset);
    for (qint64 y = height - 1; y >= 0; --y) {
        out += bmp.mid(offset + y * stride, stride);
    }
    return With(out, 22, -height);
}

// `bmp`, of a 124-byte header, with the 108-byte header of the version before.
QByteArray VersionFour(QByteArray bmp)
{
    bmp.remove(14 + 108, 16);
    return With(With(With(bmp, 14, 108), 10, Get(bmp, 10) - 16), 2, bmp.size());
}

// `bmp`, of 4 bits a pixel uncompressed, with its rows run-length coded: three or more alike
// as a run, the rest stored as they are, two at a row's end as a run of two.
QByteArray RunLengthFour(const QByteArray& bmp)
{
    const qint64 width = Get(bmp, 18);
    const qint64 offset = Get(bmp, 10);
    const qint64 stride = (width * 4 + 31) / 32 * 4;
    QByteArray data;
    for (qint64 y = 0; y < Get(bmp, 22); ++y) {
        const auto pixel = [&](qint64 x) {
            return x >= width ? 0 : uchar(bmp[offset + y * stride + x / 2]) >> (x % 2 ? 0 : 4) & 15;
        };
        for (qint64 x = 0, n = 1; x < width; x += n, n = 1) {
            while (x + n < width && n < 255 && pixel(x + n) == pixel(x)) {
                ++n;
            }
            if (n >= 3 || width - x < 3) {
                n = std::max<qint64>(n, width - x < 3 ? width - x : n);
                data += Bytes({int(n), pixel(x) << 4 | pixel(x + 1)});
                continue;
            }
            n = std::min<qint64>(width - x, 5);
            data += Bytes({0, int(n)});
            for (qint64 i = 0; i < n; i += 2) {
                data += char(pixel(x + i) << 4 | (i + 1 < n ? pixel(x + i + 1) : 0));
            }
            data += QByteArray((n + 1) / 2 % 2, '\0');
        }
        data += QByteArray(2, '\0');
    }
    data += QByteArray::fromHex("0001");
    const QByteArray out = bmp.left(offset) + data;
    return With(With(With(out, 30, 2), 34, data.size()), 2, out.size());
}

} // namespace

class tst_BitmapDecoder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void writtenByTools_data();
    void writtenByTools();
    void handMade_data();
    void handMade();
    void damaged_data();
    void damaged();
    void bandsReadTheirRowsOnce_data();
    void bandsReadTheirRowsOnce();
    void bmpsuite_data();
    void bmpsuite();

private:
    QTemporaryDir dir_;
};

void tst_BitmapDecoder::initTestCase()
{
    QVERIFY(dir_.isValid());
    // 61 x 29, an odd width that pads every row, in a spread of colours.
    QByteArray ppm = "P6\n61 29\n255\n";
    for (int y = 0; y < 29; ++y) {
        for (int x = 0; x < 61; ++x) {
            ppm += Bytes({x * 255 / 60, y * 255 / 28, (x ^ y) * 8});
        }
    }
    QFile source(dir_.filePath("source.ppm"));
    QVERIFY(source.open(QIODevice::WriteOnly) && source.write(ppm) == ppm.size());
}

void tst_BitmapDecoder::writtenByTools_data()
{
    QTest::addColumn<QString>("tool");       // convert or pil
    QTest::addColumn<QStringList>("writes"); // convert's options and format, or PIL's mode
    QTest::addColumn<QString>("rework");     // what the test changes in the file first
    QTest::addColumn<int>("tolerance");      // 5- and 6-bit samples may round either way
    const auto add = [](const char* name, const char* tool, const QStringList& writes,
                        const char* rework = "", int tolerance = 0) {
        QTest::newRow(name) << tool << writes << rework << tolerance;
    };
    const QStringList palette16 = {"-colors",   "16",   "-type", "Palette",
                                   "-compress", "None", "BMP3:"};
    const QStringList alpha = {"-alpha",    "set", "-channel", "A",
                               "-evaluate", "set", "50%",      "+channel"};
    add("1-bit palette", "convert", {"-colors", "2", "-type", "Palette", "BMP3:"});
    add("4-bit palette", "convert", palette16);
    add("8-bit palette", "convert",
        {"-colors", "200", "-type", "Palette", "-compress", "None", "BMP3:"});
    add("8-bit grey", "convert",
        {"-colorspace", "Gray", "-type", "Palette", "-compress", "None", "BMP3:"});
    add("RLE8", "convert", {"-colors", "200", "-type", "Palette", "-compress", "RLE", "BMP3:"});
    // Every row's runs go on to the row's padded end: 64 pixels of 61.
    add("RLE8 padded to whole words", "convert", {"-colors", "200", "-type", "Palette", "BMP3:"});
    add("RLE8 under a version 5 header", "convert", {"-colors", "200", "-type", "Palette", "BMP:"});
    add("RLE4", "convert", palette16, "rle4");
    add("16-bit 565", "convert", {"-define", "bmp:subtype=RGB565", "BMP:"}, "", 1);
    add("16-bit 555", "convert", {"-define", "bmp:subtype=RGB555", "BMP:"}, "", 1);
    add("16-bit 1555 with alpha", "convert",
        alpha + QStringList{"-define", "bmp:subtype=ARGB1555", "BMP:"}, "", 1);
    add("24-bit", "convert", {"-type", "TrueColor", "BMP3:"});
    add("24-bit top-down", "convert", {"-type", "TrueColor", "BMP3:"}, "top-down");
    add("8-bit palette top-down", "convert",
        {"-colors", "200", "-type", "Palette", "-compress", "None", "BMP3:"}, "top-down");
    add("32-bit bit fields with alpha", "convert", alpha + QStringList{"BMP:"});
    add("32-bit with alpha, version 4 header", "convert", alpha + QStringList{"BMP:"}, "v4");
    add("24-bit, version 5 header", "convert", {"-type", "TrueColor", "BMP:"});
    add("OS/2 24-bit", "convert", {"BMP2:"});
    add("OS/2 8-bit palette", "convert", {"-colors", "200", "-type", "Palette", "BMP2:"});
    add("PIL 1-bit", "pil", {"1"});
    add("PIL grey", "pil", {"L"});
    add("PIL palette", "pil", {"P"});
    add("PIL 24-bit", "pil", {"RGB"});
    add("PIL 32-bit with alpha", "pil", {"RGBA"});
}

// Files that ImageMagick and PIL write, each decoded as that tool itself decodes it.
void tst_BitmapDecoder::writtenByTools()
{
    QFETCH(QString, tool);
    QFETCH(QStringList, writes);
    QFETCH(QString, rework);
    QFETCH(int, tolerance);
    const QString python = tool == "pil" ? PythonWithPil() : QString();
    if (tool == "pil" ? python.isEmpty() : Convert().isEmpty()) {
        QSKIP(tool == "pil" ? "no Python with PIL here" : "ImageMagick's convert is not here");
    }
    const QString source = dir_.filePath("source.ppm");
    const QString path = dir_.filePath(QString(QTest::currentDataTag()).replace('/', '-') + ".bmp");
    const bool written =
        tool == "pil"
            ? Run(python, {"-c",
                           "import sys; from PIL import Image; "
                           "Image.open(sys.argv[1]).convert(sys.argv[3]).save(sys.argv[2])",
                           source, path, writes[0]})
                  .has_value()
            : Run(Convert(), QStringList{source} + writes.mid(0, writes.size() - 1) +
                                 QStringList{writes.last() + path})
                  .has_value();
    QVERIFY(written);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    if (!rework.isEmpty()) {
        bytes = rework == "top-down" ? TopDown(bytes)
                : rework == "v4"     ? VersionFour(bytes)
                                     : RunLengthFour(bytes);
        QVERIFY(file.resize(0) && file.seek(0) && file.write(bytes) == bytes.size());
    }
    file.close();
    const std::optional<QByteArray> expected = ToolReading(tool, path);
    QVERIFY2(expected && expected->size() == 61 * 29 * 3, "the tool cannot read its own file");

    QByteArray rgb;
    const PictureResult result = Decode(bytes, &rgb);
    QVERIFY2(result.ok(), result.reason.c_str());
    QVERIFY(Difference(rgb, *expected) <= tolerance);
}

void tst_BitmapDecoder::handMade_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("rgb"); // rows from the top
    QTest::newRow("RLE8 run past its row is cut there")
        << Runs("0601 0000 0402 0001") << Colours("2222 1111");
    QTest::newRow("RLE8 stored pixels past the row are cut there")
        << Runs("0005 0102030405 00 0000 0403 0001") << Colours("3333 1234");
    QTest::newRow("RLE8 moves and early ends leave entry 0")
        << Runs("0205 0000 00020100 0107 0001") << Colours("0700 5500");
    QTest::newRow("RLE4 runs alternate nibbles, cut at the row")
        << Runs("0512 0000 0003 3450 0001", 2) << Colours("3450 1212");
    QTest::newRow("RLE4 run of one leaves its second nibble unused")
        << Runs("0179 0001", 2) << Colours("0000 7000");
    QTest::newRow("2-bit, first pixel in the high bits")
        << Bitmap(5, 1, 2, 0, Palette(4), QByteArray::fromHex("1B400000")) << Colours("01231");
    // Masks of 1, 10 and 32 bits scale to the full range.
    QTest::newRow("32-bit bit fields of 10 bits")
        << Bitmap(1, 1, 32, 3, QByteArray::fromHex("0000F03F 00FC0F00 FF030000"),
                  QByteArray::fromHex("0000F83F"))
        << QByteArray::fromHex("FF8000");
    QTest::newRow("16-bit bit fields of 1 bit and a whole word")
        << Bitmap(2, 1, 16, 3, QByteArray::fromHex("00800000 FFFF0000 00000000"),
                  QByteArray::fromHex("0080 FF7F"))
        << QByteArray::fromHex("FF8000 007F00");
    QTest::newRow("32-bit bit fields of 32 bits")
        << Bitmap(1, 1, 32, 3, QByteArray::fromHex("FFFFFFFF 00000000 FFFFFFFF"),
                  QByteArray::fromHex("00000080"))
        << QByteArray::fromHex("800080");
    // Without a count of colours, the pixels' offset says where the palette ends.
    QTest::newRow("OS/2 core header, palette cut by the pixel offset")
        << CoreBitmap("00010000") << QByteArray::fromHex("000000 FFFFFF");
}

// Hand-made files whose every pixel we know.
void tst_BitmapDecoder::handMade()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, rgb);
    QByteArray decoded;
    const PictureResult result = Decode(bytes, &decoded);
    QVERIFY2(result.ok(), result.reason.c_str());
    QCOMPARE(decoded.toHex(), rgb.toHex());
}

void tst_BitmapDecoder::damaged_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("failsAt"); // reads fail from there on; -1 never
    QTest::addColumn<PictureStatus>("status");
    QTest::addColumn<QString>("reason");
    using enum PictureStatus;
    const auto add = [](const char* name, const QByteArray& bytes, PictureStatus status,
                        const char* reason, qint64 failsAt = -1) {
        QTest::newRow(name) << bytes << failsAt << status << QString::fromUtf8(reason);
    };
    const QByteArray bmp = Bitmap(4, 2, 8, 0, Palette(), QByteArray(8, '\0'));
    const QByteArray rgb = Bitmap(40, 30, 24, 0, {}, QByteArray(40 * 30 * 3, '\x7F'));
    const QByteArray fields = Bitmap(4, 2, 16, 3, QByteArray(12, '\0'), QByteArray(16, '\0'));
    // 64 bytes of OS/2 header: 24 past the fields a 40-byte one has.
    const QByteArray os2 =
        With(Bitmap(4, 2, 1, 3, QByteArray(24, '\0'), QByteArray(8, '\0')), 14, 64);
    const QByteArray onlyEnd = Bitmap(16384, 16384, 8, 1, Palette(256),
                                      QByteArray(17408, '\0') + QByteArray::fromHex("0001"));
    add("headers cut short", bmp.left(20), Damaged, "headers are cut short");
    add("bit fields cut short", fields.left(60), Damaged, "headers are cut short");
    add("66-byte info header", With(bmp, 14, 66), Damaged, "header is 66 bytes long");
    add("width 0", With(bmp, 18, 0), Damaged, "width of 0 pixels");
    add("negative width", With(bmp, 18, -4), Damaged, "width of -4 pixels");
    add("height 0", With(bmp, 22, 0), Damaged, "height of 0 pixels");
    add("two planes", With(bmp, 26, 2, 2), Damaged, "2 colour planes");
    add("3 bits a pixel", With(bmp, 28, 3, 2), Unsupported, "3 bits per pixel");
    add("64 bits a pixel", With(rgb, 28, 64, 2), Unsupported, "64 bits per pixel");
    add("JPEG inside", With(With(rgb, 28, 0, 2), 30, 4), Unsupported, "a JPEG picture inside");
    add("PNG inside", With(rgb, 30, 5), Unsupported, "a PNG picture inside");
    add("compression method 7", With(rgb, 30, 7), Unsupported, "compression method 7");
    add("OS/2 Huffman", os2, Unsupported, "Huffman");
    add("OS/2 RLE24", With(With(os2, 28, 24, 2), 30, 4), Unsupported, "(RLE24)");
    add("bit fields at 8 bits", With(bmp, 30, 3), Unsupported, "bit fields at 8 bits per pixel");
    add("RLE8 at 4 bits", With(With(bmp, 28, 4, 2), 30, 1), Damaged,
        "8-bit run-length compression in a picture of 4 bits");
    add("RLE top-down", With(Runs("0001"), 22, -2), Damaged, "cannot be stored top-down");
    add("100000 x 100000", With(With(rgb, 18, 100000), 22, 100000), TooLarge,
        "100000 \u00D7 100000");
    add("height of -2^31", With(bmp, 22, -0x80000000LL), TooLarge, "4 \u00D7 2147483648");
    add("16000 x 16000 in 54 bytes", Bitmap(16000, 16000, 24, 0, {}, {}), Damaged,
        "far more than its 54 bytes can hold");
    add("2^31 - 1 squared at 32 bits", Bitmap(0x7FFFFFFF, 0x7FFFFFFF, 32, 0, {}, {}), Damaged,
        "more bytes than any file can hold");
    add("one byte short", rgb.chopped(1), Damaged, "ends before its pixel data");
    add("pixel offset past the end", With(rgb, 10, 0x7FFFFFF0), Damaged,
        "ends before its pixel data");
    add("8-bit pixel past the palette",
        Bitmap(4, 2, 8, 0, Palette(2), QByteArray::fromHex("0000000000000002")), Damaged,
        "colours its palette does not have");
    add("1-bit pixel past a palette of one",
        Bitmap(4, 1, 1, 0, Palette(1), QByteArray::fromHex("10000000")), Damaged,
        "colours its palette does not have");
    add("OS/2 core pixel past a palette the offset cuts", CoreBitmap("00020000"), Damaged,
        "colours its palette does not have");
    add("palette of 2^32 - 1 colours", With(bmp, 46, 0xFFFFFFFF), Damaged,
        "palette claims 4,294,967,295 colours");
    add("RLE8 run above the top row", Runs("0401 0000 0401 0000 0101 0001"), Damaged,
        "beyond the picture");
    add("RLE8 move past the top", Runs("00020003 0001"), Damaged, "beyond the picture");
    add("RLE8 move past the right edge", Runs("00020500 0001"), Damaged, "beyond the picture");
    add("RLE8 without end of bitmap", Runs("0205 0000 0107"), Damaged, "ends before");
    add("RLE8 stored pixels cut short", Runs("000401"), Damaged, "ends before");
    add("RLE8 move cut short", Runs("000205"), Damaged, "ends before");
    add("RLE8 run past the palette", Runs("0109 0001"), Damaged, "palette does not have");
    add("RLE8 stored pixel past the palette", Runs("00030102090000010001"), Damaged,
        "palette does not have");
    add("RLE4 second nibble past the palette", Runs("0219 0001", 2), Damaged,
        "palette does not have");
    add("RLE8 of 16384 x 16384 holding only an end code", onlyEnd, Damaged,
        "16384 \u00D7 16384 pixels, but its runs set only 0 of them");
    add("disk fails in the rows", rgb, NotReadable, "the disk went away", 1000);
    add("disk fails in the runs", Runs("0205 0000 0107 0001"), NotReadable, "the disk went away",
        88);
}

// Broken, hostile and unusual files, each with the failure and reason it gives.
void tst_BitmapDecoder::damaged()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, failsAt);
    QFETCH(PictureStatus, status);
    QFETCH(QString, reason);
    const PictureResult result = Decode(bytes, nullptr, failsAt);
    QCOMPARE(result.status, status);
    QVERIFY2(QString::fromStdString(result.reason).contains(reason), result.reason.c_str());
}

void tst_BitmapDecoder::bandsReadTheirRowsOnce_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("bits");
    QTest::addColumn<bool>("topDown");
    QTest::newRow("24-bit bottom-up, 50 rows") << 37 << 50 << 24 << false;
    QTest::newRow("24-bit top-down, 50 rows") << 37 << 50 << 24 << true;
    QTest::newRow("4-bit bottom-up, 33 rows") << 31 << 33 << 4 << false;
    QTest::newRow("1-bit top-down, 17 rows") << 45 << 17 << 1 << true;
    // Rows of more than 1 MiB, read piece by piece.
    QTest::newRow("24-bit rows of 1.2 MB") << 400003 << 3 << 24 << false;
    QTest::newRow("4-bit rows of 1.25 MB") << 2500001 << 2 << 4 << true;
}

// Band by band into the same few rows, an uncompressed bitmap gives the pixels it holds and
// reads each byte of it once.
void tst_BitmapDecoder::bandsReadTheirRowsOnce()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, bits);
    QFETCH(bool, topDown);
    const qint64 stride = (qint64{width} * bits + 31) / 32 * 4;
    QByteArray data(stride * height, '\0');
    QByteArray expected;
    const QByteArray palette = Palette(bits == 1 ? 2 : 8);
    const QByteArray colours = Colours("01234567");
    for (int y = 0; y < height; ++y) {
        char* row = data.data() + stride * (topDown ? y : height - 1 - y);
        for (int x = 0; x < width; ++x) {
            if (bits == 24) {
                const char pixel[3] = {char(x * 7 + y), char(x / 256), char(y * 40)};
                std::memcpy(row + 3 * qint64{x}, pixel, 3);
                expected += Bytes({pixel[2], pixel[1], pixel[0]});
            } else {
                const int index = (x / 3 + y) % (bits == 1 ? 2 : 8);
                row[qint64{x} * bits / 8] |= char(index << (8 - bits - x * bits % 8));
                expected += colours.mid(3 * index, 3);
            }
        }
    }
    const QByteArray bytes = Bitmap(width, topDown ? -height : height, bits, 0,
                                    bits == 24 ? QByteArray() : palette, data);
    Source source(bytes, -1);
    BandSink sink;
    PixelBuffer untouched;
    const PictureResult result = DecodePicture(source, DecodeLimits(), untouched, nullptr, &sink);
    QVERIFY2(result.ok(), result.reason.c_str());
    QVERIFY(sink.inOrder && untouched.IsEmpty());
    QVERIFY(sink.rgb == expected);
    // The headers are read twice (once to tell the kind), the rest once.
    QVERIFY2(source.read <= bytes.size() + 200, qPrintable(QString::number(source.read)));
}

void tst_BitmapDecoder::bmpsuite_data()
{
    if (!QDir(Bmpsuite).exists()) {
        QSKIP(qPrintable("the bmpsuite corpus is not at " + Bmpsuite + "; its cases are skipped"));
    }
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QFile table(ExpectedTable);
    QVERIFY(table.open(QIODevice::ReadOnly | QIODevice::Text));
    int rows = 0;
    while (!table.atEnd()) {
        const QStringList fields = QString::fromUtf8(table.readLine()).trimmed().split('\t');
        if (!fields[0].startsWith('#') && fields.size() >= 2) {
            QTest::newRow(qPrintable(fields[0])) << Bmpsuite + '/' + fields[0] << fields[1];
            ++rows;
        }
    }
    QVERIFY(rows > 80);
}

// Each file of the bmpsuite corpus with the outcome the table gives it; the good ones with
// the pixels ImageMagick gives them.
void tst_BitmapDecoder::bmpsuite()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    const QMap<QString, PictureStatus> statuses = {{"loads", PictureStatus::Ok},
                                                   {"Damaged", PictureStatus::Damaged},
                                                   {"Unsupported", PictureStatus::Unsupported},
                                                   {"TooLarge", PictureStatus::TooLarge}};
    QVERIFY(statuses.contains(expected));
    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
    const QByteArray bytes = file.readAll();
    QByteArray rgb;
    const PictureResult result = Decode(bytes, &rgb);
    QVERIFY2(result.status == statuses[expected], result.reason.c_str());
    if (path.contains("/g/") && !Convert().isEmpty()) {
        const std::optional<QByteArray> theirs = ToolReading("convert", path);
        QVERIFY(theirs.has_value());
        QVERIFY(Difference(rgb, *theirs) <= (Get(bytes, 28, 2) == 16 ? 1 : 0));
    }
}

QTEST_APPLESS_MAIN(tst_BitmapDecoder)
#include "tst_bitmap_decoder.moc"
