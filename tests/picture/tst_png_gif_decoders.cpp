#include "picture/gif_decoder.h"
#include "picture/picture_decoder.h"
#include "picture/png_decoder.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <cstring>
#include <vector>

using namespace lumenveil;

Q_DECLARE_METATYPE(lumenveil::PictureStatus)

namespace {

// Writes the test pictures into the folder it is given: PNG and GIF files made by PIL and
// ImageMagick, each beside what that tool itself decodes it to (NAME.pil, or NAME.im from
// ImageMagick's 16-bit samples rounded to 8 bits: width and
// height as two little-endian 32-bit numbers, then R, G, B a pixel), and damaged copies.
const char* const Writer = R"py(
import os, struct, subprocess, sys, zlib
from PIL import Image
os.chdir(sys.argv[1])
W, H = 37, 41

def save(name, data):
    open(name, 'wb').write(data)

def expect(name, im, tool):
    save(name + '.' + tool, struct.pack('<II', *im.size) + im.convert('RGB').tobytes())

def pil(name, im=None, **options):
    if im is not None:
        im.save(name, **options)
    expect(name, Image.open(name), 'pil')

def magick(name, source, *options):
    run = lambda *a: subprocess.run(['convert', *a], check=True, capture_output=True).stdout
    run(source, *options, name)
    deep = run(name, '-depth', '16', '-endian', 'MSB', 'RGB:-')
    size = map(int, run(name, '-format', '%w %h', 'info:').split())
    save(name + '.im', struct.pack('<II', *size) + bytes(
        (v * 255 + 32767) // 65535 for v in struct.unpack('>%dH' % (len(deep) // 2), deep)))

def photo():
    im = Image.new('RGB', (W, H))
    im.putdata([(x * 255 // (W - 1), y * 255 // (H - 1), (x * y * 7 + x * 3) & 255)
                for y in range(H) for x in range(W)])
    return im

def paletted(n, shift=0):
    im = Image.new('P', (W, H))
    im.putpalette([c for i in range(n) for c in
                   ((i * 97 + shift) & 255, (i * 53 + 20) & 255, 255 - i * 255 // max(n - 1, 1))])
    im.putdata([(x + 3 * y + x * y // 5 + shift) % n for y in range(H) for x in range(W)])
    return im

for bits in (1, 2, 4, 8):
    pil('p%d.png' % bits, paletted(1 << bits), bits=bits)
pil('p8t.png', paletted(256), transparency=3)
alpha = photo().convert('RGBA')
alpha.putalpha(Image.linear_gradient('L').resize((W, H)))
for name, im in (('rgb8', photo()), ('g8', photo().convert('L')), ('g1', photo().convert('1')),
                 ('rgba8', alpha), ('ga8', alpha.convert('LA'))):
    pil(name + '.png', im)
gray, deep = ('-colorspace', 'Gray'), ('-depth', '16', '-evaluate', 'multiply', '0.93')
low = lambda b: gray + ('-define', 'png:color-type=0', '-define', 'png:bit-depth=%d' % b)
adam7 = ('-interlace', 'PNG')
for name, source, options in (
        ('g2', 'rgb8', low(2)), ('g4', 'rgb8', low(4)), ('g16', 'rgb8', gray + deep),
        ('ga16', 'rgba8', gray + deep + ('-define', 'png:color-type=4')), ('rgb16', 'rgb8', deep),
        ('rgba16', 'rgba8', deep), ('adam7rgb', 'rgb8', adam7), ('adam7p4', 'p2', adam7),
        ('adam7rgba16', 'rgba16', adam7)):
    magick(name + '.png', source + '.png', *options)
pil('rgb16.png')
pil('rgba16.png')

def chunks(name):  # a PNG file's chunks, and one made of chunks; `bad` gets a wrong CRC
    data, at, out = open(name, 'rb').read(), 8, []
    while at < len(data):
        n, = struct.unpack('>I', data[at:at + 4])
        out.append((data[at + 4:at + 8], data[at + 8:at + 8 + n]))
        at += 12 + n
    return out

def png(parts, bad=b''):
    return b'\x89PNG\r\n\x1a\n' + b''.join(struct.pack('>I', len(body)) + kind + body + struct.pack(
        '>I', zlib.crc32(kind + body) ^ (0xFF if kind == bad else 0)) for kind, body in parts)

rgb8, p8 = chunks('rgb8.png'), chunks('p8.png')
save('bad_idat_crc.png', png(rgb8, b'IDAT'))
save('bad_ihdr_crc.png', png(rgb8, b'IHDR'))
save('bad_text_crc.png', png(rgb8[:1] + [(b'tEXt', b'Comment\0hello')] + rgb8[1:], b'tEXt'))
save('flipped.png', png(rgb8)[:81] + b'\x55' + png(rgb8)[82:])  # a byte of IDAT's data
for name, w, h in (('huge', 16384, 16384), ('vast', 100000, 100000), ('wide', 300000000, 1),
                   ('zero', 0, H), ('tall', W, H + 10)):
    save(name + '.png', png([(b'IHDR', struct.pack('>II', w, h) + rgb8[0][1][8:])] + rgb8[1:]))
short = lambda parts, n: png([(k, d[:3 * n] if k == b'PLTE' else d) for k, d in parts])
save('past8.png', short(p8, 200))
save('past2.png', short(chunks('p2.png'), 3))
save('no_plte.png', png([c for c in p8 if c[0] != b'PLTE']))
save('bad_filter.png', png([(b'IHDR', struct.pack('>IIBBBBB', 2, 2, 8, 2, 0, 0, 0)),
                            (b'IDAT', zlib.compress(b'\x09' + bytes(13))), (b'IEND', b'')]))

pil('global.gif', paletted(16), interlace=False)
pil('interlaced.gif', paletted(16))  # PIL interlaces pictures of 16 rows and more
pil('transparent.gif', paletted(16), interlace=False, transparency=5)
pil('animated.gif', paletted(16), save_all=True, interlace=False, duration=100, loop=0,
    append_images=[paletted(16, 7), paletted(16, 11)])
g = open('global.gif', 'rb').read()
table, at = g[13:61], 61  # 16 colours, then the image descriptor
assert g[10] == 0x83 and g[at] == 0x2C
save('local.gif', g[:13] + bytes(255 - c for c in table) + g[61:at + 9] +
     bytes([g[at + 9] | 0x83]) + table + g[at + 10:])
pil('local.gif')
for name, w, h, bg, left, top, colour in (
        ('smaller', 50, 60, 7, 6, 9, table[21:24]), ('clipped', 30, 30, 0, 10, 20, table[0:3]),
        ('bg_past', 50, 60, 200, 6, 9, bytes(3)), ('no_screen', 0, 0, 0, 2, 3, table[0:3])):
    save(name + '.gif', g[:6] + struct.pack('<HHBB', w, h, g[10], bg) + g[12:at + 1] +
         struct.pack('<HH', left, top) + g[at + 5:])
    canvas = Image.new('RGB', (w or W + left, h or H + top), tuple(colour))
    canvas.paste(Image.open('global.gif').convert('RGB'), (left, top))
    expect(name + '.gif', canvas, 'pil')
for name, data in (('past_table', g[:10] + b'\x82' + g[11:13] + table[:24] + g[61:]),
                   ('no_table', g[:10] + b'\x00' + g[11:13] + g[61:]),
                   ('eof_early', g[:at + 11] + bytes([3, 0x00, 0x03, 0x02, 0, 0x3B])),  # clear, end
                   ('bad_code', g[:at + 11] + bytes([3, 0x00, 0x59, 0x02, 0, 0x3B])),  # clear, 300
                   ('empty_frame', g[:at + 5] + struct.pack('<HH', 0, H) + g[at + 9:]),
                   ('huge_frame', g[:at + 5] + struct.pack('<HH', 60000, 60000) + g[at + 9:]),
                   ('huge_screen', g[:6] + struct.pack('<HH', 16384, 16384) + g[10:]),
                   ('vast_screen', g[:6] + struct.pack('<HH', 65535, 65535) + g[10:]),
                   ('unknown_block', g[:at] + b'\x99' + g[at + 1:]),
                   ('no_image', g[:at] + b'\x3B')):
    save(name + '.gif', data)
)py";

QTemporaryDir dir;

QByteArray TestFile(const QString& name)
{
    QFile file(dir.filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Keeps the rows handed to it in a picture of its own, as a sink that wants none from the load.
class BandCopy final : public RowSink
{
public:
    bool Begin(int width, int height) override
    {
        picture = PixelBuffer::Allocate(width, height);
        seen.assign(static_cast<std::size_t>(height), 0);
        return !picture.IsEmpty();
    }
    bool RowsDone(const RowBand& band) override
    {
        for (int y = band.top; y < band.bottom; ++y) {
            std::memcpy(picture.Row(y), band.Row(y), static_cast<std::size_t>(picture.Stride()));
            ++seen[static_cast<std::size_t>(y)];
        }
        return true;
    }
    bool KeepPicture() const override { return false; }

    PixelBuffer picture;
    std::vector<int> seen; // how often each row came
};

// Decodes `bytes` into one picture, then band by band into a sink that keeps none: each gives
// `status` with a reason that holds `reason`, or else, every row once and every pixel opaque,
// the pixels of the tool's file `expected` within `tolerance`.
void CheckDecode(const QByteArray& bytes, const DecodeLimits& limits, PictureStatus status,
                 const QString& reason, const QString& expected = {}, int tolerance = 0)
{
    QVERIFY(!bytes.isEmpty());
    const QByteArray want = TestFile(expected);
    for (const bool bands : {false, true}) {
        MemorySource source(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        BandCopy sink;
        PixelBuffer whole;
        const PictureResult result =
            DecodePicture(source, limits, whole, nullptr, bands ? &sink : nullptr);
        const QString why = QString::fromStdString(result.reason);
        QVERIFY2(result.status == status, qPrintable(why));
        if (!result.ok()) {
            QVERIFY2(why.contains(reason) && !why.isEmpty() && !why.endsWith('.'), qPrintable(why));
            continue;
        }
        const PixelBuffer& picture = bands ? sink.picture : whole;
        QVERIFY(want.size() > 8);
        const auto* size = reinterpret_cast<const qint32*>(want.constData());
        QCOMPARE(want.size(), 8 + 3 * qsizetype{size[0]} * size[1]);
        QCOMPARE(picture.Width(), size[0]);
        QCOMPARE(picture.Height(), size[1]);
        QVERIFY(!bands || sink.seen == std::vector<int>(static_cast<std::size_t>(size[1]), 1));
        const auto* rgb = reinterpret_cast<const quint8*>(want.constData()) + 8;
        for (int y = 0; y < size[1]; ++y) {
            for (int x = 0; x < size[0]; ++x, rgb += 3) {
                const unsigned char* bgrx = picture.Row(y) + 4 * x;
                if (std::abs(bgrx[2] - rgb[0]) > tolerance ||
                    std::abs(bgrx[1] - rgb[1]) > tolerance ||
                    std::abs(bgrx[0] - rgb[2]) > tolerance || bgrx[3] != 0xFF) {
                    QFAIL(qPrintable(QString::asprintf(
                        "pixel %d,%d is %d,%d,%d (alpha %d), not %d,%d,%d", x, y, bgrx[2], bgrx[1],
                        bgrx[0], bgrx[3], rgb[0], rgb[1], rgb[2])));
                }
            }
        }
    }
}

} // namespace

class tst_PngGifDecoders : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void decodes_data();
    void decodes();
    void refuses_data();
    void refuses();
};

void tst_PngGifDecoders::initTestCase()
{
    QVERIFY(dir.isValid());
    const QString python = QFile::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    QProcess process;
    process.start(python, {"-c", Writer, dir.path()});
    if (!process.waitForFinished(120000) || process.exitCode() != 0) {
        QSKIP(qPrintable("cannot write the test pictures with PIL and ImageMagick: " +
                         process.readAllStandardError()));
    }
}

void tst_PngGifDecoders::decodes_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("tool"); // whose decoding it is compared with
    QTest::addColumn<int>("tolerance");
    QTest::addColumn<bool>("interlaced");
    const auto row = [](const char* name, const char* file, const char* tool, int tolerance = 0,
                        bool interlaced = false) {
        QTest::newRow(name) << file << tool << tolerance << interlaced;
    };
    for (const char* bits : {"1", "2", "4", "8"}) {
        row(qPrintable(QString("PNG palette %1-bit").arg(bits)),
            qPrintable(QString("p%1.png").arg(bits)), "pil");
    }
    row("PNG palette with a transparent index", "p8t.png", "pil");
    row("PNG gray 1-bit", "g1.png", "pil");
    row("PNG gray 2-bit", "g2.png", "im");
    row("PNG gray 4-bit", "g4.png", "im");
    row("PNG gray 8-bit", "g8.png", "pil");
    // ImageMagick's 16-bit samples rounded to the nearest 8-bit value are what png_set_scale_16
    // gives, exactly. Its own 8-bit output (floor(v / 257)) and PIL's (the high byte) are each 0
    // or 1 lower; PIL is checked within 1, but not for 16-bit gray, which it clips to 255.
    row("PNG gray 16-bit", "g16.png", "im");
    row("PNG gray and alpha 8-bit", "ga8.png", "pil");
    row("PNG gray and alpha 16-bit", "ga16.png", "im");
    row("PNG RGB 8-bit", "rgb8.png", "pil");
    row("PNG RGB 16-bit, as ImageMagick rounds", "rgb16.png", "im");
    row("PNG RGB 16-bit, as PIL cuts", "rgb16.png", "pil", 1);
    row("PNG RGBA 8-bit", "rgba8.png", "pil");
    row("PNG RGBA 16-bit, as ImageMagick rounds", "rgba16.png", "im");
    row("PNG RGBA 16-bit, as PIL cuts", "rgba16.png", "pil", 1);
    row("PNG Adam7 RGB", "adam7rgb.png", "im", 0, true);
    row("PNG Adam7 palette 4-bit", "adam7p4.png", "im", 0, true);
    row("PNG Adam7 RGBA 16-bit", "adam7rgba16.png", "im", 0, true);
    row("GIF global colour table", "global.gif", "pil");
    row("GIF local table before a decoy global one", "local.gif", "pil");
    row("GIF interlaced", "interlaced.gif", "pil", 0, true);
    row("GIF transparent index keeps its colour", "transparent.gif", "pil");
    row("GIF animated, first frame", "animated.gif", "pil");
    // The first image of global.gif placed on a larger screen, the rest in the colour of the
    // background index; cut off by a smaller screen; on a screen of no size.
    row("GIF frame smaller than the screen", "smaller.gif", "pil");
    row("GIF frame past the screen's edges", "clipped.gif", "pil");
    row("GIF background index past its table is black", "bg_past.gif", "pil");
    row("GIF screen of no size takes the frame's", "no_screen.gif", "pil");
}

// Each file gives the pixels its tool decodes; interlaced ones come whole.
void tst_PngGifDecoders::decodes()
{
    QFETCH(QString, file);
    QFETCH(QString, tool);
    QFETCH(int, tolerance);
    QFETCH(bool, interlaced);
    const QByteArray bytes = TestFile(file);
    CheckDecode(bytes, {}, PictureStatus::Ok, {}, file + "." + tool, tolerance);
    MemorySource source(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    const DecodeLimits limits;
    auto decoder = (file.endsWith(".gif") ? MakeGifDecoder : MakePngDecoder)(source, limits);
    QVERIFY(decoder->ReadHeader().ok());
    QCOMPARE(decoder->RowOrder() == PictureDecoder::Order::Whole, interlaced);
}

void tst_PngGifDecoders::refuses_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("cut"); // the bytes kept, or (negative) the bytes cut off the end
    QTest::addColumn<qint64>("pixels");
    QTest::addColumn<qint64>("memory");
    QTest::addColumn<PictureStatus>("status");
    QTest::addColumn<QString>("reason"); // words of it; for Ok, the file of the pixels it gives
    using enum PictureStatus;
    const DecodeLimits limits;
    const auto row = [&limits](const char* name, const char* file, PictureStatus status,
                               const QString& reason, int cut = 0, qint64 pixels = 0,
                               qint64 memory = 0) {
        QTest::newRow(name) << file << cut << (pixels ? pixels : limits.pixels)
                            << (memory ? memory : limits.memoryBytes) << status << reason;
    };
    const QString cutShort = "the file ends before its picture data";
    row("PNG signature alone", "rgb8.png", Damaged, cutShort, 8);
    row("PNG cut before IDAT", "rgb8.png", Damaged, cutShort, 33);
    row("PNG cut in IDAT", "rgb8.png", Damaged, cutShort, 400);
    row("PNG cut in the last IDAT's CRC", "rgb8.png", Damaged, cutShort, -13);
    row("PNG without IEND", "rgb8.png", Ok, "rgb8.png.pil", -12);
    row("PNG with a bad IDAT CRC", "bad_idat_crc.png", Damaged, "CRC error in its IDAT chunk");
    row("PNG with a bad IHDR CRC", "bad_ihdr_crc.png", Damaged, "CRC error in its IHDR chunk");
    row("PNG with a bad tEXt CRC", "bad_text_crc.png", Ok, "rgb8.png.pil");
    row("PNG with a byte of IDAT changed", "flipped.png", Damaged, "");
    row("PNG of 16384 x 16384 in 1 KB", "huge.png", Damaged, "far more than its 1121 bytes");
    row("PNG of 100000 x 100000", "vast.png", TooLarge, "100000 \u00D7 100000");
    row("PNG wider than any picture", "wide.png", TooLarge, "300000000 \u00D7 1");
    row("PNG of no width", "zero.png", Damaged, "image width is zero in IHDR");
    row("PNG taller than its data", "tall.png", Damaged, "image data ends before its last row");
    row("PNG 8-bit index past the palette", "past8.png", Damaged, "its palette does not have");
    row("PNG 2-bit index past the palette", "past2.png", Damaged, "its palette does not have");
    row("PNG palette picture without PLTE", "no_plte.png", Damaged, "missing PLTE before IDAT");
    row("PNG with a bad row filter", "bad_filter.png", Damaged, "bad adaptive filter value");
    row("PNG over the pixel limit", "rgb8.png", TooLarge, "37 \u00D7 41", 0, 1000);
    row("PNG wider than the pixel limit", "rgb8.png", TooLarge, "37 \u00D7 41", 0, 30);
    // The pixels alone fit; libpng's own memory does not.
    row("PNG over the memory limit", "rgb8.png", OutOfMemory, "decoding it takes", 0, 0,
        37 * 41 * 4 + 1);
    row("PNG with a chunk over the memory limit", "p8.png", OutOfMemory, "a chunk larger", 0, 0,
        500);
    row("GIF cut in the screen", "global.gif", Damaged, cutShort, 10);
    row("GIF cut in the image descriptor", "global.gif", Damaged, cutShort, 65);
    row("GIF cut in the image data", "global.gif", Damaged, cutShort, 300);
    row("GIF without its data's terminator", "global.gif", Damaged, cutShort, -2);
    row("GIF without its trailer", "global.gif", Ok, "global.gif.pil", -1);
    row("GIF with only a trailer", "no_image.gif", Damaged, cutShort);
    row("GIF index past the colour table", "past_table.gif", Damaged, "its colour table does not");
    row("GIF without a colour table", "no_table.gif", Damaged, "it has no colour table");
    row("GIF data ends before the last pixel", "eof_early.gif", Damaged, "before its last pixel");
    row("GIF with a code not in the table", "bad_code.gif", Damaged, "picture data is damaged");
    row("GIF frame of no pixels", "empty_frame.gif", Damaged, "first image has no pixels");
    row("GIF frame of 60000 x 60000", "huge_frame.gif", Damaged, "60000 \u00D7 60000 pixels, far");
    row("GIF screen of 16384 x 16384", "huge_screen.gif", Damaged, "far more than its 884 bytes");
    row("GIF screen of 65535 x 65535", "vast_screen.gif", TooLarge, "65535 \u00D7 65535");
    row("GIF block of no known kind", "unknown_block.gif", Damaged, "a block of an unknown kind");
    row("GIF over the pixel limit", "global.gif", TooLarge, "37 \u00D7 41", 0, 1000);
    row("GIF over the memory limit", "global.gif", OutOfMemory, "decoding it takes", 0, 0,
        37 * 41 * 4 + 1);
}

void tst_PngGifDecoders::refuses()
{
    QFETCH(QString, file);
    QFETCH(int, cut);
    QFETCH(qint64, pixels);
    QFETCH(qint64, memory);
    QFETCH(PictureStatus, status);
    QFETCH(QString, reason);
    const QByteArray bytes = TestFile(file);
    DecodeLimits limits;
    limits.pixels = pixels;
    limits.memoryBytes = memory;
    const bool ok = status == PictureStatus::Ok;
    CheckDecode(cut > 0 ? bytes.left(cut) : bytes.left(bytes.size() + cut), limits, status,
                ok ? QString() : reason, ok ? reason : QString());
}

QTEST_APPLESS_MAIN(tst_PngGifDecoders)

#include "tst_png_gif_decoders.moc"
