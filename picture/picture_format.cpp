#include "picture/picture_format.h"

#include <QtEndian>

#include <cstdlib>

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

QByteArray ReaderFormat(PictureKind kind)
{
    switch (kind) {
    case PictureKind::Bitmap: return "bmp";
    case PictureKind::Jpeg: return "jpeg";
    case PictureKind::Gif: return "gif";
    case PictureKind::Png: return "png";
    case PictureKind::Unknown: break;
    }
    return {};
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

    std::uint32_t bitCount = 0;
    std::uint32_t compression = CompressionRgb;
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
        header.height = std::llabs(ReadLittle<std::int32_t>(head, 22));
        bitCount = ReadLittle<std::uint16_t>(head, 28);
        if (infoSize >= 20 && head.size() >= FileHeaderSize + 20) {
            compression = ReadLittle<std::uint32_t>(head, 30);
        }
    }
    header.width = std::llabs(header.width);

    const bool uncompressed = compression == CompressionRgb ||
                              ((compression == CompressionBitfields ||
                                compression == CompressionAlphaBitfields) &&
                               (bitCount == 16 || bitCount == 32));
    if (uncompressed && bitCount >= 1 && bitCount <= 32) {
        const std::int64_t stride = (header.width * bitCount + 31) / 32 * 4;
        header.pixelBytes = stride * header.height;
    }
    return header;
}

} // namespace lumenveil
