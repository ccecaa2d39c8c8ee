#include "bitmap_builder.h"

#include <QtEndian>

namespace lumenveil::test {

namespace {

void Put16(QByteArray& out, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

void Put32(QByteArray& out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

int BitsPerPixel(BitmapKind kind)
{
    switch (kind) {
    case BitmapKind::Palette1: return 1;
    case BitmapKind::Palette4: return 4;
    case BitmapKind::Palette8:
    case BitmapKind::Rle8: return 8;
    case BitmapKind::Rgb555:
    case BitmapKind::Rgb565: return 16;
    case BitmapKind::Rgb24: return 24;
    case BitmapKind::Rgb32: return 32;
    }
    return 0;
}

QByteArray Row(const BitmapRecipe& r, int y)
{
    QByteArray row;
    const int bpp = BitsPerPixel(r.kind);
    if (bpp < 8) {
        const int perByte = 8 / bpp;
        for (int x = 0; x < r.width; x += perByte) {
            quint8 byte = 0;
            for (int i = 0; i < perByte; ++i) {
                const quint32 index = x + i < r.width ? r.pixel(x + i, y) : 0;
                byte |= static_cast<quint8>(index << (8 - bpp * (i + 1)));
            }
            row.append(static_cast<char>(byte));
        }
    } else {
        for (int x = 0; x < r.width; ++x) {
            const quint32 v = r.pixel(x, y);
            switch (r.kind) {
            case BitmapKind::Palette8: row.append(static_cast<char>(v)); break;
            case BitmapKind::Rgb555:
                Put16(row, static_cast<quint16>((qRed(v) >> 3) << 10 | (qGreen(v) >> 3) << 5 |
                                                qBlue(v) >> 3));
                break;
            case BitmapKind::Rgb565:
                Put16(row, static_cast<quint16>((qRed(v) >> 3) << 11 | (qGreen(v) >> 2) << 5 |
                                                qBlue(v) >> 3));
                break;
            case BitmapKind::Rgb24:
                row.append(static_cast<char>(qBlue(v)));
                row.append(static_cast<char>(qGreen(v)));
                row.append(static_cast<char>(qRed(v)));
                break;
            case BitmapKind::Rgb32: Put32(row, v & 0xFFFFFFu); break;
            default: break;
            }
        }
    }
    while (row.size() % 4 != 0) {
        row.append('\0');
    }
    return row;
}

// Each row as runs of equal indices, then end of line; end of bitmap after the last row.
QByteArray Rle8Rows(const BitmapRecipe& r)
{
    QByteArray data;
    for (int y = r.height - 1; y >= 0; --y) {
        for (int x = 0; x < r.width;) {
            const quint32 index = r.pixel(x, y);
            int run = 1;
            while (x + run < r.width && run < 255 && r.pixel(x + run, y) == index) {
                ++run;
            }
            data.append(static_cast<char>(run));
            data.append(static_cast<char>(index));
            x += run;
        }
        data.append('\0');
        data.append(y == 0 ? '\1' : '\0');
    }
    return data;
}

} // namespace

QByteArray BuildBitmap(const BitmapRecipe& r)
{
    const int bpp = BitsPerPixel(r.kind);
    const bool indexed = bpp <= 8;
    const bool bitfields = r.kind == BitmapKind::Rgb565;

    QByteArray pixels = r.rawData;
    if (!pixels.isEmpty()) {
    } else if (r.kind == BitmapKind::Rle8) {
        pixels = Rle8Rows(r);
    } else {
        for (int i = 0; i < r.height; ++i) {
            pixels += Row(r, r.topDown ? i : r.height - 1 - i);
        }
    }

    QByteArray table;
    if (indexed) {
        for (QRgb c : r.palette) {
            Put32(table, c & 0xFFFFFFu);
        }
    } else if (bitfields) {
        Put32(table, 0xF800);
        Put32(table, 0x07E0);
        Put32(table, 0x001F);
    }

    const quint32 offset = 14 + 40 + static_cast<quint32>(table.size());
    QByteArray file("BM");
    Put32(file, offset + static_cast<quint32>(pixels.size()));
    Put32(file, 0);
    Put32(file, offset);
    Put32(file, 40);
    Put32(file, static_cast<quint32>(r.width));
    Put32(file, static_cast<quint32>(r.topDown ? -r.height : r.height));
    Put16(file, 1);
    Put16(file, static_cast<quint16>(bpp));
    Put32(file, r.kind == BitmapKind::Rle8 ? 1 : bitfields ? 3 : 0);
    Put32(file, static_cast<quint32>(pixels.size()));
    Put32(file, 2835);
    Put32(file, 2835);
    Put32(file, indexed ? static_cast<quint32>(r.palette.size()) : 0);
    Put32(file, 0);
    return file + table + pixels;
}

} // namespace lumenveil::test
