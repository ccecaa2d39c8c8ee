#include "picture/picture_format.h"

#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace lumenveil {

namespace {

template <typename T> T ReadLittle(const QByteArray& bytes, int offset)
{
    return qFromLittleEndian<T>(bytes.constData() + offset);
}

constexpr std::uint32_t CompressionRgb = 0;
constexpr std::uint32_t CompressionBitfields = 3;
constexpr std::uint32_t CompressionAlphaBitfields = 6;

} // namespace

PictureKind SniffPictureKind(const QByteArray& head)
{
    if (head.startsWith("BM")) {
        return PictureKind::Bitmap;
    }
    if (head.startsWith("\xFF\xD8\xFF")) {
        return PictureKind::Jpeg;
    }
    if (head.startsWith("GIF87a") || head.startsWith("GIF89a")) {
        return PictureKind::Gif;
    }
    if (head.startsWith("\x89PNG\r\n\x1A\n")) {
        return PictureKind::Png;
    }
    return PictureKind::Unknown;
}

std::optional<BitmapHeader> ParseBitmapHeader(const QByteArray& head)
{
    constexpr int FileHeaderSize = 14;
    if (head.size() < FileHeaderSize + 4) {
        return std::nullopt;
    }
    const auto infoSize = ReadLittle<std::uint32_t>(head, 14);
    BitmapHeader header;
    header.pixelOffset = ReadLittle<std::uint32_t>(head, 10);

    std::uint32_t& bitCount = header.bitCount;
    std::uint32_t& compression = header.compression;
    if (infoSize == 12) { // the old core header: 16-bit sizes
        if (head.size() < FileHeaderSize + 12) {
            return std::nullopt;
        }
        header.width = ReadLittle<std::uint16_t>(head, 18);
        header.height = ReadLittle<std::uint16_t>(head, 20);
        bitCount = ReadLittle<std::uint16_t>(head, 24);
    } else {
        if (infoSize < 16 || head.size() < FileHeaderSize + 16) {
            return std::nullopt;
        }
        header.width = ReadLittle<std::int32_t>(head, 18);
        const std::int32_t height = ReadLittle<std::int32_t>(head, 22);
        header.topDown = height < 0;
        header.height = std::llabs(height);
        bitCount = ReadLittle<std::uint16_t>(head, 28);
        if (infoSize >= 20 && head.size() >= FileHeaderSize + 20) {
            compression = ReadLittle<std::uint32_t>(head, 30);
        }
    }
    header.width = std::llabs(header.width);

    // A reader takes the palette (and the colour masks) right after the headers and the
    // pixels from the stated offset, but never goes back: an offset that points into the
    // palette means the pixels start after it.
    std::int64_t tableEnd = FileHeaderSize + std::int64_t{infoSize};
    if (infoSize == 40 && compression == CompressionBitfields) {
        tableEnd += 12;
    } else if (infoSize == 40 && compression == CompressionAlphaBitfields) {
        tableEnd += 16;
    }
    if (bitCount <= 8) {
        std::int64_t colours = std::int64_t{1} << bitCount;
        if (infoSize >= 36 && head.size() >= FileHeaderSize + 36) {
            if (const auto used = ReadLittle<std::uint32_t>(head, 46); used != 0) {
                colours = used;
            }
        }
        tableEnd += colours * (infoSize == 12 ? 3 : 4);
    }
    header.pixelOffset = std::max(header.pixelOffset, tableEnd);

    const bool uncompressed = compression == CompressionRgb ||
                              ((compression == CompressionBitfields ||
                                compression == CompressionAlphaBitfields) &&
                               (bitCount == 16 || bitCount == 32));
    if (uncompressed && bitCount >= 1 && bitCount <= 32) {
        // width < 2^31 and bitCount <= 32, so the stride fits; the product with the height
        // need not: no file is that large.
        const std::int64_t stride = (header.width * bitCount + 31) / 32 * 4;
        if (header.height > 0 &&
            stride > std::numeric_limits<std::int64_t>::max() / header.height) {
            header.problem =
                QStringLiteral("its headers claim %1 \u00D7 %2 pixels at %3 bits each, "
                               "more bytes than any file can hold")
                    .arg(header.width)
                    .arg(header.height)
                    .arg(bitCount);
        } else {
            header.pixelBytes = stride * header.height;
        }
    }
    return header;
}

QString UnusualBitmapVariant(const BitmapHeader& header)
{
    if (header.compression == 4 && header.bitCount == 0) {
        return QStringLiteral("a JPEG picture inside a bitmap file");
    }
    if (header.compression == 5) {
        return QStringLiteral("a PNG picture inside a bitmap file");
    }
    if (header.compression > CompressionBitfields) {
        return QStringLiteral("compression method %1").arg(header.compression);
    }
    switch (header.bitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32: break;
    default: return QStringLiteral("%1 bits per pixel").arg(header.bitCount);
    }
    return {};
}

namespace {

// Reads one byte at the device's position; -1 at the end.
int NextByte(QIODevice& device)
{
    char c = 0;
    return device.getChar(&c) ? static_cast<unsigned char>(c) : -1;
}

} // namespace

RunLengthLayout WalkRunLengthData(QIODevice& device, qint64 size, const BitmapHeader& header)
{
    RunLengthLayout layout;
    const bool rle8 = header.compression == 1 && header.bitCount == 8;
    const bool rle4 = header.compression == 2 && header.bitCount == 4;
    if (!rle8 && !rle4) {
        return layout;
    }
    QString& problem = layout.problem;
    layout.setPixels = 0;
    if (header.topDown) {
        problem = QStringLiteral("compressed bitmaps cannot be stored top-down");
        return layout;
    }
    if (!device.seek(header.pixelOffset)) {
        problem = QStringLiteral("the file ends before its pixel data");
        return layout;
    }

    // x and y only track where the next pixel goes; y counts from the bottom row, as the
    // data does.
    const std::int64_t width = header.width;
    const std::int64_t height = header.height;
    std::int64_t x = 0;
    std::int64_t y = 0;
    // Skips `rows` rows from data row `row` upwards, pixels [from, to) of each.
    const auto skip = [&](std::int64_t row, std::int64_t from, std::int64_t to,
                          std::int64_t rows = 1) {
        rows = std::min(rows, height - row);
        if (rows > 0 && from < to) {
            layout.skipped.push_back({height - row - rows, rows, from, to});
        }
    };
    const auto outside = [&](std::int64_t count) { return y >= height || x + count > width; };
    const QString beyond = QStringLiteral("a run of pixels reaches beyond the picture");
    const QString cut = QStringLiteral("the file ends before its pixel data");

    while (problem.isEmpty()) {
        const int count = NextByte(device);
        const int value = NextByte(device);
        if (count < 0 || value < 0) {
            problem = cut;
        } else if (count > 0) { // a run of `count` pixels of one value
            if (outside(count)) {
                problem = beyond;
            }
            x += count;
            layout.setPixels += count;
        } else if (value == 0) { // end of line
            skip(y, x, width);
            x = 0;
            ++y;
        } else if (value == 1) { // end of bitmap
            skip(y, x, width);
            skip(y + 1, 0, width, height - y - 1);
            break;
        } else if (value == 2) { // move right by dx and up by dy
            const int dx = NextByte(device);
            const int dy = NextByte(device);
            if (dx < 0 || dy < 0) {
                problem = cut;
            } else if (x + dx > width || y + dy > height) {
                problem = beyond;
            } else if (dy == 0) {
                skip(y, x, x + dx);
            } else {
                skip(y, x, width);
                skip(y + 1, 0, width, dy - 1);
                skip(y + dy, 0, x + dx);
            }
            x += dx;
            y += dy;
        } else { // `value` pixels stored as they are, padded to a whole 16-bit word
            if (outside(value)) {
                problem = beyond;
            }
            const qint64 bytes = rle8 ? value : (value + 1) / 2;
            x += value;
            layout.setPixels += value;
            if (!device.seek(device.pos() + bytes + bytes % 2) || device.pos() > size) {
                problem = cut;
            }
        }
    }
    device.seek(0);
    return layout;
}

bool GifFirstImageComplete(QIODevice& device)
{
    const auto skipSubBlocks = [&device]() {
        for (;;) {
            const int length = NextByte(device);
            if (length < 0) {
                return false;
            }
            if (length == 0) {
                return true;
            }
            if (!device.seek(device.pos() + length) || device.atEnd()) {
                return false;
            }
        }
    };
    const auto colorTableBytes = [](int flags) { return flags & 0x80 ? 3 << ((flags & 7) + 1) : 0; };

    bool complete = false;
    if (device.seek(10)) {
        const int screenFlags = NextByte(device);
        qint64 pos = 13 + colorTableBytes(screenFlags);
        while (screenFlags >= 0 && device.seek(pos)) {
            const int block = NextByte(device);
            if (block == 0x21) { // extension: a label, then data blocks
                if (NextByte(device) < 0 || !skipSubBlocks()) {
                    break;
                }
            } else if (block == 0x2C) { // image: descriptor, colour table, LZW size, data
                if (!device.seek(device.pos() + 8)) {
                    break;
                }
                const int imageFlags = NextByte(device);
                if (imageFlags < 0 || !device.seek(device.pos() + colorTableBytes(imageFlags)) ||
                    NextByte(device) < 0) {
                    break;
                }
                complete = skipSubBlocks();
                break;
            } else {
                break; // the trailer or garbage before any image
            }
            pos = device.pos();
        }
    }
    device.seek(0);
    return complete;
}

} // namespace lumenveil
