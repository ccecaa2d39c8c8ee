// make_resources: draws Lumenveil's artwork and writes the binary resource files.
//
//     make_resources RESOURCES_DIR [--cjpeg PATH]
//
// Writes into RESOURCES_DIR:
//   lumenveil.ico                         16, 32 and 48 pixels, each at 8 bpp and at 32 bpp
//   icons/hicolor/NxN/apps/lumenveil.png  N = 16, 32, 48, 128, 256 (32-bit with alpha)
//   hand.cur, hand.png                    the link cursor, 32 x 32, hot spot (0, 0)
//   about.jpg                             the About window's artwork, 460 x 200
//
// The ICO and CUR files are written here byte by byte, so that their layout does not depend on
// an image plugin. The JPEG is encoded by cjpeg (libjpeg-turbo-progs) from a PPM rendering,
// because Qt's JPEG writer cannot be told to keep the colour components at full resolution.
// Everything is drawn with fixed fonts and fixed geometry, so two runs give the same files.

#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QProcess>
#include <QRadialGradient>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Fail(const QString& what)
{
    throw std::runtime_error(what.toStdString());
}

// ---------------------------------------------------------------------------------------------
// Little-endian byte output

class Bytes
{
public:
    void u8(int v) { data_.append(static_cast<char>(v & 0xFF)); }
    void u16(int v)
    {
        u8(v);
        u8(v >> 8);
    }
    void u32(std::uint32_t v)
    {
        u16(static_cast<int>(v & 0xFFFF));
        u16(static_cast<int>(v >> 16));
    }
    void raw(const QByteArray& b) { data_.append(b); }
    [[nodiscard]] const QByteArray& data() const { return data_; }
    [[nodiscard]] std::uint32_t size() const { return static_cast<std::uint32_t>(data_.size()); }

private:
    QByteArray data_;
};

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size() || !file.flush()) {
        Fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    }
    std::printf("wrote %-48s %7lld bytes\n", qPrintable(QDir::current().relativeFilePath(path)),
                static_cast<long long>(bytes.size()));
}

void WritePng(const QString& path, const QImage& image)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!image.convertToFormat(QImage::Format_ARGB32).save(path, "PNG", 9)) {
        Fail(QStringLiteral("cannot write %1").arg(path));
    }
    std::printf("wrote %-48s %7lld bytes\n", qPrintable(QDir::current().relativeFilePath(path)),
                static_cast<long long>(QFileInfo(path).size()));
}

// ---------------------------------------------------------------------------------------------
// Device-independent bitmaps as icon and cursor files store them: a BITMAPINFOHEADER whose
// height counts the colour image and the AND mask together, the colour rows bottom-up, then the
// 1-bit AND mask (1 = transparent), every row padded to four bytes.

constexpr int MaskRowBytes(int width) { return (width + 31) / 32 * 4; }

void InfoHeader(Bytes& out, int width, int height, int bpp, std::uint32_t imageBytes)
{
    out.u32(40);                               // biSize
    out.u32(static_cast<std::uint32_t>(width)); // biWidth
    out.u32(static_cast<std::uint32_t>(height * 2)); // biHeight: colour image + mask
    out.u16(1);                                // biPlanes
    out.u16(bpp);                              // biBitCount
    out.u32(0);                                // biCompression: BI_RGB
    out.u32(imageBytes);                       // biSizeImage
    out.u32(0);                                // biXPelsPerMeter
    out.u32(0);                                // biYPelsPerMeter
    out.u32(0);                                // biClrUsed: all 2^bpp for palette images
    out.u32(0);                                // biClrImportant
}

// Transparent where the AND mask says so: less than half covered.
bool IsClear(QRgb argb) { return qAlpha(argb) < 128; }

void AndMask(Bytes& out, const QImage& image)
{
    const int w = image.width();
    for (int y = image.height() - 1; y >= 0; --y) {
        QByteArray row(MaskRowBytes(w), '\0');
        for (int x = 0; x < w; ++x) {
            if (IsClear(image.pixel(x, y))) {
                row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
            }
        }
        out.raw(row);
    }
}

QByteArray Dib32(const QImage& source)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const int w = image.width();
    const int h = image.height();
    Bytes out;
    InfoHeader(out, w, h, 32,
               static_cast<std::uint32_t>(w * h * 4 + MaskRowBytes(w) * h));
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < w; ++x) {
            const QRgb p = image.pixel(x, y);
            out.u8(qBlue(p));
            out.u8(qGreen(p));
            out.u8(qRed(p));
            out.u8(qAlpha(p));
        }
    }
    AndMask(out, image);
    return out.data();
}

// ---------------------------------------------------------------------------------------------
// 256-colour palettes by median cut over the covered pixels. Palette entry 0 is black, the
// colour that the transparent pixels carry under their mask bit.

struct Swatch
{
    std::array<int, 3> rgb;
    int count;
};

std::vector<QRgb> MedianCut(std::vector<Swatch> swatches, std::size_t wanted)
{
    std::vector<std::vector<Swatch>> boxes;
    if (!swatches.empty()) {
        boxes.push_back(std::move(swatches));
    }
    auto spread = [](const std::vector<Swatch>& box, int& channel) {
        int best = -1;
        for (int c = 0; c < 3; ++c) {
            const auto [lo, hi] = std::minmax_element(
                box.begin(), box.end(),
                [c](const Swatch& a, const Swatch& b) { return a.rgb[c] < b.rgb[c]; });
            const int range = hi->rgb[c] - lo->rgb[c];
            if (range > best) {
                best = range;
                channel = c;
            }
        }
        return best;
    };
    while (boxes.size() < wanted) {
        // Split the box whose colours lie furthest apart, weighted by how many pixels it holds.
        std::size_t pick = boxes.size();
        long long pickScore = 0;
        int pickChannel = 0;
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            if (boxes[i].size() < 2) {
                continue;
            }
            int channel = 0;
            const int range = spread(boxes[i], channel);
            long long pixels = 0;
            for (const Swatch& s : boxes[i]) {
                pixels += s.count;
            }
            const long long score = static_cast<long long>(range) * pixels;
            if (pick == boxes.size() || score > pickScore) {
                pick = i;
                pickScore = score;
                pickChannel = channel;
            }
        }
        if (pick == boxes.size()) {
            break; // every box holds one colour: the palette is exact
        }
        std::vector<Swatch> box = std::move(boxes[pick]);
        std::stable_sort(box.begin(), box.end(), [pickChannel](const Swatch& a, const Swatch& b) {
            return a.rgb[pickChannel] < b.rgb[pickChannel];
        });
        long long total = 0;
        for (const Swatch& s : box) {
            total += s.count;
        }
        long long seen = 0;
        std::size_t cut = 1;
        for (; cut < box.size(); ++cut) {
            seen += box[cut - 1].count;
            if (seen * 2 >= total) {
                break;
            }
        }
        cut = std::clamp<std::size_t>(cut, 1, box.size() - 1);
        boxes[pick] = std::vector<Swatch>(box.begin(), box.begin() + static_cast<long>(cut));
        boxes.emplace_back(box.begin() + static_cast<long>(cut), box.end());
    }
    std::vector<QRgb> palette;
    for (const auto& box : boxes) {
        long long sum[3] = {0, 0, 0};
        long long n = 0;
        for (const Swatch& s : box) {
            for (int c = 0; c < 3; ++c) {
                sum[c] += static_cast<long long>(s.rgb[c]) * s.count;
            }
            n += s.count;
        }
        palette.push_back(qRgb(static_cast<int>((sum[0] + n / 2) / n),
                               static_cast<int>((sum[1] + n / 2) / n),
                               static_cast<int>((sum[2] + n / 2) / n)));
    }
    return palette;
}

QByteArray Dib8(const QImage& source)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const int w = image.width();
    const int h = image.height();

    std::map<QRgb, int> counts; // ordered, so that the palette does not depend on hashing
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const QRgb p = image.pixel(x, y);
            if (!IsClear(p)) {
                ++counts[qRgb(qRed(p), qGreen(p), qBlue(p))];
            }
        }
    }
    std::vector<Swatch> swatches;
    for (const auto& [rgb, count] : counts) {
        swatches.push_back({{qRed(rgb), qGreen(rgb), qBlue(rgb)}, count});
    }
    std::vector<QRgb> palette{qRgb(0, 0, 0)};
    const std::vector<QRgb> cut = MedianCut(std::move(swatches), 255);
    palette.insert(palette.end(), cut.begin(), cut.end());
    palette.resize(256, qRgb(0, 0, 0));

    auto nearest = [&palette](QRgb p) {
        int best = 0;
        long long bestDistance = -1;
        for (int i = 0; i < 256; ++i) {
            const long long dr = qRed(p) - qRed(palette[static_cast<std::size_t>(i)]);
            const long long dg = qGreen(p) - qGreen(palette[static_cast<std::size_t>(i)]);
            const long long db = qBlue(p) - qBlue(palette[static_cast<std::size_t>(i)]);
            const long long d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
            if (bestDistance < 0 || d < bestDistance) {
                best = i;
                bestDistance = d;
            }
        }
        return best;
    };

    const int rowBytes = (w + 3) / 4 * 4;
    Bytes out;
    InfoHeader(out, w, h, 8, static_cast<std::uint32_t>(rowBytes * h + MaskRowBytes(w) * h));
    for (QRgb c : palette) {
        out.u8(qBlue(c));
        out.u8(qGreen(c));
        out.u8(qRed(c));
        out.u8(0);
    }
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(rowBytes, '\0');
        for (int x = 0; x < w; ++x) {
            const QRgb p = image.pixel(x, y);
            row[x] = static_cast<char>(IsClear(p) ? 0 : nearest(p));
        }
        out.raw(row);
    }
    AndMask(out, image);
    return out.data();
}

struct DirEntry
{
    int width;
    int height;
    int planesOrHotX; // icons: colour planes (1); cursors: hot spot x
    int bppOrHotY;    // icons: bits per pixel; cursors: hot spot y
    QByteArray dib;
};

// ICONDIR (type 1 = icon, 2 = cursor), its 16-byte entries, then the images in entry order.
QByteArray IconFile(int type, const std::vector<DirEntry>& entries)
{
    Bytes out;
    out.u16(0);
    out.u16(type);
    out.u16(static_cast<int>(entries.size()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(entries.size());
    for (const DirEntry& e : entries) {
        out.u8(e.width >= 256 ? 0 : e.width);
        out.u8(e.height >= 256 ? 0 : e.height);
        out.u8(0); // colour count: 0 for 256 colours and more
        out.u8(0);
        out.u16(e.planesOrHotX);
        out.u16(e.bppOrHotY);
        out.u32(static_cast<std::uint32_t>(e.dib.size()));
        out.u32(offset);
        offset += static_cast<std::uint32_t>(e.dib.size());
    }
    for (const DirEntry& e : entries) {
        out.raw(e.dib);
    }
    return out.data();
}

// ---------------------------------------------------------------------------------------------
// The program icon: a framed landscape picture with a note of text tucked into its lower right
// corner - a picture that carries a message. The three small sizes have their own whole-pixel
// geometry so that their edges stay sharp; larger sizes scale the 48-pixel design.

struct IconGeometry
{
    QRectF frame;   // outer edge of the picture frame
    double border;  // width of the frame's moulding
    double radius;  // corner radius of the frame
    QPointF sun;
    double sunRadius;
    QRectF note;    // the paper
    double fold;    // size of the turned-down corner
    double lineGap; // distance between the text lines
    double lineWidth;
    int lines;
};

IconGeometry GeometryFor(int size)
{
    switch (size) {
    case 16:
        return {QRectF(0, 1, 16, 14), 2, 1, {10, 5}, 1.8, QRectF(8, 7, 8, 9), 2, 2, 1, 2};
    case 32:
        return {QRectF(1, 3, 30, 26), 3, 2, {20.5, 10.5}, 2.8, QRectF(16, 16, 15, 16), 4, 3, 1,
                3};
    default:
        break;
    }
    const double k = size / 48.0;
    return {QRectF(2 * k, 4 * k, 44 * k, 38 * k), 5 * k, 3 * k, {31 * k, 16 * k}, 4.2 * k,
            QRectF(25 * k, 23 * k, 21 * k, 24 * k), 6 * k, 4 * k, 2 * k, 4};
}

void PaintIcon(QPainter& p, int size)
{
    const IconGeometry g = GeometryFor(size);
    const double unit = std::max(1.0, size / 48.0); // one outline pixel at 48 and below
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);

    // Frame: dark outline, wood moulding lit from the top left, a dark inner edge.
    const QColor outline(0x4a, 0x2a, 0x0e);
    p.setBrush(outline);
    p.drawRoundedRect(g.frame, g.radius, g.radius);
    QLinearGradient wood(g.frame.topLeft(), g.frame.bottomRight());
    wood.setColorAt(0.0, QColor(0xe3, 0xa8, 0x57));
    wood.setColorAt(0.55, QColor(0xb9, 0x77, 0x32));
    wood.setColorAt(1.0, QColor(0x8a, 0x52, 0x1f));
    p.setBrush(wood);
    const QRectF moulding = g.frame.adjusted(unit, unit, -unit, -unit);
    p.drawRoundedRect(moulding, std::max(0.0, g.radius - unit), std::max(0.0, g.radius - unit));
    const QRectF inner = g.frame.adjusted(g.border, g.border, -g.border, -g.border);
    if (size > 16) { // at 16 pixels the moulding is one pixel wide: no room for the edge
        p.setBrush(QColor(0x5c, 0x35, 0x12));
        p.drawRect(inner.adjusted(-unit, -unit, unit, unit));
    }

    // The picture: sky, sun, two hills.
    p.save();
    p.setClipRect(inner);
    QLinearGradient sky(inner.topLeft(), inner.bottomLeft());
    sky.setColorAt(0.0, QColor(0x2f, 0x7f, 0xd0));
    sky.setColorAt(1.0, QColor(0xa9, 0xdc, 0xf7));
    p.setBrush(sky);
    p.drawRect(inner);
    p.setBrush(QColor(0xff, 0xd2, 0x3f));
    p.drawEllipse(g.sun, g.sunRadius, g.sunRadius);
    const double w = inner.width();
    const double h = inner.height();
    auto at = [&](double fx, double fy) {
        return QPointF(inner.left() + fx * w, inner.top() + fy * h);
    };
    QPainterPath back;
    back.moveTo(at(0.0, 0.70));
    back.cubicTo(at(0.22, 0.42), at(0.45, 0.45), at(0.62, 0.62));
    back.cubicTo(at(0.78, 0.76), at(0.92, 0.60), at(1.0, 0.58));
    back.lineTo(at(1.0, 1.0));
    back.lineTo(at(0.0, 1.0));
    back.closeSubpath();
    p.setBrush(QColor(0x4f, 0xae, 0x55));
    p.drawPath(back);
    QPainterPath front;
    front.moveTo(at(0.0, 0.86));
    front.cubicTo(at(0.25, 0.70), at(0.55, 0.74), at(1.0, 0.92));
    front.lineTo(at(1.0, 1.0));
    front.lineTo(at(0.0, 1.0));
    front.closeSubpath();
    p.setBrush(QColor(0x2b, 0x82, 0x3e));
    p.drawPath(front);
    p.restore();

    // The note: a sheet with a turned-down corner and lines of text, over the frame's corner.
    const QRectF n = g.note;
    auto sheet = [&](const QRectF& r) {
        QPainterPath path;
        path.moveTo(r.topLeft());
        path.lineTo(r.right() - g.fold, r.top());
        path.lineTo(r.right(), r.top() + g.fold);
        path.lineTo(r.bottomRight());
        path.lineTo(r.bottomLeft());
        path.closeSubpath();
        return path;
    };
    if (size >= 32) { // a soft shadow where there is room for one
        p.setBrush(QColor(0, 0, 0, 70));
        p.drawPath(sheet(n.translated(unit, unit)));
    }
    p.setBrush(QColor(0x3c, 0x46, 0x5a));
    p.drawPath(sheet(n));
    p.setBrush(QColor(0xfd, 0xfd, 0xf8));
    const QRectF paper = n.adjusted(unit, unit, -unit, -unit);
    QPainterPath paperPath;
    paperPath.moveTo(paper.topLeft());
    paperPath.lineTo(paper.right() - g.fold + unit * 0.41, paper.top());
    paperPath.lineTo(paper.right(), paper.top() + g.fold - unit * 0.41);
    paperPath.lineTo(paper.bottomRight());
    paperPath.lineTo(paper.bottomLeft());
    paperPath.closeSubpath();
    p.drawPath(paperPath);
    QPainterPath corner; // the fold itself
    corner.moveTo(n.right() - g.fold, n.top());
    corner.lineTo(n.right() - g.fold, n.top() + g.fold);
    corner.lineTo(n.right(), n.top() + g.fold);
    corner.closeSubpath();
    p.setBrush(QColor(0xc9, 0xcf, 0xdc));
    p.drawPath(corner);
    if (size > 16) {
        p.setPen(QPen(QColor(0x3c, 0x46, 0x5a), unit * 0.8));
        p.setBrush(Qt::NoBrush);
        p.drawLine(QPointF(n.right() - g.fold, n.top()),
                   QPointF(n.right() - g.fold, n.top() + g.fold));
        p.drawLine(QPointF(n.right() - g.fold, n.top() + g.fold),
                   QPointF(n.right(), n.top() + g.fold));
        p.setPen(Qt::NoPen);
    }

    // Lines of text: the first starts below the fold; the last is shorter.
    const QColor ink(0x1f, 0x4e, 0x9a);
    p.setBrush(ink);
    const double left = n.left() + 2 * unit + (size <= 16 ? 0 : unit);
    const double right = n.right() - 2 * unit - (size <= 16 ? 0 : unit);
    double y = n.top() + g.fold + unit;
    for (int i = 0; i < g.lines; ++i) {
        const double end =
            (i == g.lines - 1) ? std::round(left + (right - left) * 0.6) : right;
        p.drawRect(QRectF(left, y, end - left, g.lineWidth));
        y += g.lineGap;
    }
    p.restore();
}

QImage RenderIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    PaintIcon(p, size);
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

// ---------------------------------------------------------------------------------------------
// The hand cursor: a white pointing hand with a black outline, index finger up, its tip at the
// top edge five pixels from the left. B = black, W = white, . = transparent.

constexpr std::array<const char*, 32> HandRows = {
    // 0         1         2         3
    // 01234567890123456789012345678901
    "....BBB.........................", // 0
    "...BWWWB........................", // 1
    "...BWWWB........................", // 2
    "...BWWWB........................", // 3
    "...BWWWB........................", // 4
    "...BWWWB........................", // 5
    "...BWWWBBBB.....................", // 6
    "...BWWWBWWWBBBB.................", // 7
    "...BWWWBWWWBWWWB................", // 8
    "...BWWWBWWWBWWWBBBB.............", // 9
    ".BBBWWWBWWWBWWWBWWWB............", // 10
    "BWWBWWWBWWWBWWWBWWWB............", // 11
    "BWWBWWWWWWWWWWWWWWWB............", // 12
    "BWWBWWWWWWWWWWWWWWWB............", // 13
    ".BWWBWWWWWWWWWWWWWWB............", // 14
    ".BWWWWWWWWWWWWWWWWWB............", // 15
    "..BWWWWWWWWWWWWWWWWB............", // 16
    "..BWWWWWWWWWWWWWWWWB............", // 17
    "...BWWWWWWWWWWWWWWB.............", // 18
    "...BWWWWWWWWWWWWWWB.............", // 19
    "....BWWWWWWWWWWWWB..............", // 20
    "....BWWWWWWWWWWWWB..............", // 21
    "....BBBBBBBBBBBBBB..............", // 22
    "................................", // 23
    "................................", // 24
    "................................", // 25
    "................................", // 26
    "................................", // 27
    "................................", // 28
    "................................", // 29
    "................................", // 30
    "................................", // 31
};

QImage RenderHand()
{
    QImage image(32, 32, QImage::Format_ARGB32);
    for (int y = 0; y < 32; ++y) {
        const std::string row = HandRows[static_cast<std::size_t>(y)];
        if (row.size() != 32) {
            Fail(QStringLiteral("hand row %1 is %2 pixels wide").arg(y).arg(row.size()));
        }
        for (int x = 0; x < 32; ++x) {
            switch (row[static_cast<std::size_t>(x)]) {
            case 'B': image.setPixel(x, y, qRgba(0, 0, 0, 255)); break;
            case 'W': image.setPixel(x, y, qRgba(255, 255, 255, 255)); break;
            case '.': image.setPixel(x, y, qRgba(0, 0, 0, 0)); break;
            default: Fail(QStringLiteral("hand row %1 has an unknown mark").arg(y));
            }
        }
    }
    return image;
}

// One 32 x 32 image, 24 bits per pixel, 1-bit AND mask; hot spot at the top-left corner.
QByteArray CursorFile(const QImage& hand)
{
    const int w = hand.width();
    const int h = hand.height();
    const int rowBytes = (w * 3 + 3) / 4 * 4;
    Bytes dib;
    InfoHeader(dib, w, h, 24, static_cast<std::uint32_t>(rowBytes * h + MaskRowBytes(w) * h));
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(rowBytes, '\0');
        for (int x = 0; x < w; ++x) {
            const QRgb p = hand.pixel(x, y);
            if (!IsClear(p)) { // transparent pixels are black under a set mask bit
                row[3 * x] = static_cast<char>(qBlue(p));
                row[3 * x + 1] = static_cast<char>(qGreen(p));
                row[3 * x + 2] = static_cast<char>(qRed(p));
            }
        }
        dib.raw(row);
    }
    AndMask(dib, hand);
    return IconFile(2, {{w, h, 0, 0, dib.data()}});
}

// ---------------------------------------------------------------------------------------------
// The About artwork, 460 x 200. The lower right rectangle is the face of the link that the
// About window lays its hot spot over.

constexpr int AboutWidth = 460;
constexpr int AboutHeight = 200;
const QRect LinkFace(323, 177, 131, 17);

QFont Font(int pixels, int weight = QFont::Normal, const QString& family = "DejaVu Sans")
{
    QFont font(family);
    font.setPixelSize(pixels);
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setStyleStrategy(QFont::PreferAntialias);
    font.setHintingPreference(QFont::PreferNoHinting);
    const QFontInfo info(font);
    if (info.family() != family) {
        std::fprintf(stderr, "warning: font \"%s\" is not installed; using \"%s\"\n",
                     qPrintable(family), qPrintable(info.family()));
    }
    return font;
}

QString Bits(const QString& text)
{
    QString out;
    for (const QChar c : text) {
        out += QStringLiteral("%1").arg(c.unicode() & 0xFF, 8, 2, QLatin1Char('0'));
    }
    return out;
}

QImage RenderAbout()
{
    QImage image(AboutWidth, AboutHeight, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);

    // Night-blue ground, lighter towards the upper left.
    QLinearGradient ground(0, 0, AboutWidth, AboutHeight);
    ground.setColorAt(0.0, QColor(0x24, 0x3b, 0x73));
    ground.setColorAt(0.6, QColor(0x1b, 0x23, 0x52));
    ground.setColorAt(1.0, QColor(0x2a, 0x1a, 0x4c));
    p.fillRect(image.rect(), ground);

    // Rows of faint binary digits: the bits a message becomes.
    const QString source = Bits(QStringLiteral("start message Lumenveil hides text in the "
                                               "lowest bits of a picture end message "));
    p.setFont(Font(9, QFont::Normal, QStringLiteral("DejaVu Sans Mono")));
    for (int row = 0; row < 17; ++row) {
        const int offset = (row * 37) % source.size();
        const QString line = (source.mid(offset) + source).left(90);
        p.setPen(QColor(0x9d, 0xb8, 0xff, 22 + 6 * (row % 3)));
        p.drawText(QPointF(-3 - (row % 4) * 2, 10 + row * 12), line);
    }

    // The veil: soft bands of light drawn across the ground.
    for (int i = 0; i < 4; ++i) {
        QPainterPath band;
        const double y0 = 40 + i * 34;
        band.moveTo(-20, y0);
        band.cubicTo(120, y0 - 70 + i * 10, 250, y0 + 60, 480, y0 - 30 - i * 6);
        band.lineTo(480, y0 - 8 - i * 6);
        band.cubicTo(250, y0 + 90, 120, y0 - 38 + i * 10, -20, y0 + 26);
        band.closeSubpath();
        QLinearGradient light(0, 0, AboutWidth, 0);
        light.setColorAt(0.0, QColor(255, 255, 255, 0));
        light.setColorAt(0.35, QColor(200, 220, 255, 26 - i * 4));
        light.setColorAt(1.0, QColor(255, 255, 255, 4));
        p.fillPath(band, light);
    }

    // A glow behind the framed picture, then the picture itself.
    QRadialGradient glow(QPointF(86, 98), 86);
    glow.setColorAt(0.0, QColor(0xff, 0xe9, 0xa8, 120));
    glow.setColorAt(0.5, QColor(0xff, 0xd2, 0x7a, 40));
    glow.setColorAt(1.0, QColor(0xff, 0xd2, 0x7a, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(QPointF(86, 98), 86, 86);
    p.drawImage(QPoint(22, 34), RenderIcon(128));

    // Name, version and what the program does.
    const int textLeft = 172;
    p.setPen(QColor(0xff, 0xff, 0xff));
    p.setFont(Font(40, QFont::Bold));
    p.drawText(QPointF(textLeft - 2, 76), QStringLiteral("Lumenveil"));
    p.setPen(QColor(0xff, 0xd8, 0x80));
    p.setFont(Font(14, QFont::DemiBold));
    p.drawText(QPointF(textLeft, 100), QStringLiteral("Version " LUMENVEIL_VERSION));
    p.setPen(QColor(0x9d, 0xb8, 0xff, 160));
    p.drawLine(QPointF(textLeft, 112.5), QPointF(AboutWidth - 20, 112.5));
    p.setPen(QColor(0xe6, 0xec, 0xff));
    p.setFont(Font(14));
    p.drawText(QRectF(textLeft, 120, AboutWidth - 20 - textLeft, 44),
               Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop,
               QStringLiteral("Embeds hidden text messages in bitmap files."));

    // The link's face: underlined, in the lower right, inside the hot spot.
    QFont linkFont = Font(12);
    linkFont.setUnderline(true);
    const QString linkText = QStringLiteral("lumenveil website");
    const QRect ink = QFontMetrics(linkFont).boundingRect(LinkFace, Qt::AlignCenter, linkText);
    if (!LinkFace.contains(ink)) {
        Fail(QStringLiteral("the link text does not fit its hot spot"));
    }
    p.setFont(linkFont);
    p.setPen(QColor(0x8f, 0xd0, 0xff));
    p.drawText(LinkFace, Qt::AlignCenter, linkText);
    p.end();
    return image;
}

QByteArray EncodeJpeg(const QImage& image, const QString& cjpeg)
{
    QTemporaryDir dir;
    if (!dir.isValid()) {
        Fail(QStringLiteral("cannot make a temporary folder"));
    }
    const QString ppm = dir.filePath(QStringLiteral("about.ppm"));
    const QString jpg = dir.filePath(QStringLiteral("about.jpg"));
    if (!image.convertToFormat(QImage::Format_RGB888).save(ppm, "PPM")) {
        Fail(QStringLiteral("cannot write %1").arg(ppm));
    }
    QProcess run;
    run.setProcessChannelMode(QProcess::ForwardedChannels);
    run.start(cjpeg, {"-baseline", "-sample", "1x1,1x1,1x1", "-quality", "90", "-optimize",
                      "-outfile", jpg, ppm});
    if (!run.waitForFinished(60000) || run.exitStatus() != QProcess::NormalExit ||
        run.exitCode() != 0) {
        Fail(QStringLiteral("%1 failed (is libjpeg-turbo-progs installed?)").arg(cjpeg));
    }
    QFile file(jpg);
    if (!file.open(QIODevice::ReadOnly)) {
        Fail(QStringLiteral("cannot read %1").arg(jpg));
    }
    QByteArray bytes = file.readAll();
    // cjpeg writes a JFIF 1.01 header; the file uses nothing newer than 1.02, which we record.
    static const QByteArray jfif("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01", 12);
    if (!bytes.startsWith(jfif) || bytes.size() < 20) {
        Fail(QStringLiteral("cjpeg did not write a JFIF header"));
    }
    bytes[12] = 0x02;
    return bytes;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    QStringList args = QGuiApplication::arguments().mid(1);
    QString cjpeg = QStringLiteral("cjpeg");
    const int at = static_cast<int>(args.indexOf(QStringLiteral("--cjpeg")));
    if (at >= 0 && at + 1 < args.size()) {
        cjpeg = args[at + 1];
        args.remove(at, 2);
    }
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: make_resources RESOURCES_DIR [--cjpeg PATH]\n");
        return 2;
    }
    const QDir out(args[0]);
    if (!out.exists()) {
        std::fprintf(stderr, "make_resources: no folder %s\n", qPrintable(args[0]));
        return 2;
    }

    try {
        std::vector<DirEntry> icons;
        for (int size : {16, 32, 48}) {
            const QImage icon = RenderIcon(size);
            icons.push_back({size, size, 1, 8, Dib8(icon)});
            icons.push_back({size, size, 1, 32, Dib32(icon)});
        }
        WriteFile(out.filePath("lumenveil.ico"), IconFile(1, icons));
        for (int size : {16, 32, 48, 128, 256}) {
            WritePng(out.filePath(QStringLiteral("icons/hicolor/%1x%1/apps/lumenveil.png").arg(size)),
                     RenderIcon(size));
        }

        const QImage hand = RenderHand();
        WriteFile(out.filePath("hand.cur"), CursorFile(hand));
        WritePng(out.filePath("hand.png"), hand);

        WriteFile(out.filePath("about.jpg"), EncodeJpeg(RenderAbout(), cjpeg));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_resources: %s\n", e.what());
        return 1;
    }
    return 0;
}
