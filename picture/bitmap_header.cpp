#include "picture/bitmap_header.h"

#include <algorithm>
#include <limits>
#include <string>

namespace lumenveil {

namespace {

constexpr int FileHeaderBytes = 14;
constexpr int LargestInfoHeader = 124;
// The colour masks that follow a 40-byte header: red, green, blue, and alpha where it says so.
constexpr int ColourMaskBytes = 12;
constexpr int AlphaMaskBytes = 16;

// The little-endian number of `bytes` bytes at `at`.
std::uint32_t Little(const unsigned char* at, int bytes)
{
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = value << 8 | at[i];
    }
    return value;
}

PictureResult Damaged(std::string reason)
{
    return PictureFailure(PictureStatus::Damaged, std::move(reason));
}

// Whether `size` is that of an info header, and whether it is an OS/2 one: the 12-byte core
// header, or the OS/2 2.x header of 16 to 64 bytes, which keeps only the fields it needs. 40
// bytes is the Windows header, which OS/2 shares.
bool KnownHeaderSize(std::uint32_t size, bool& os2)
{
    switch (size) {
    case 40:
    case 52:
    case 56:
    case 108:
    case 124:
        os2 = false;
        return true;
    default:
        os2 = size == 12 || (size >= 16 && size <= 64);
        return os2;
    }
}

// What the variant is, where it is one we do not read; empty where we read it.
std::string UnusualVariant(const BitmapHeader& header)
{
    const std::uint32_t compression = header.compression;
    if (header.os2 && compression == BitmapBitFields) {
        return "1-bit Huffman compression, an OS/2 fax encoding";
    }
    if (header.os2 && compression == BitmapJpeg) {
        return "24-bit run-length compression (RLE24), an OS/2 variant";
    }
    if (compression == BitmapJpeg && header.bitCount == 0) {
        return "a JPEG picture inside a bitmap file";
    }
    if (compression == BitmapPng) {
        return "a PNG picture inside a bitmap file";
    }
    if (compression == BitmapJpeg || compression > BitmapAlphaBitFields ||
        (header.os2 && compression == BitmapAlphaBitFields)) {
        return "compression method " + std::to_string(compression);
    }
    switch (header.bitCount) {
    case 1:
    case 2:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        break;
    default:
        return std::to_string(header.bitCount) + " bits per pixel";
    }
    if ((compression == BitmapBitFields || compression == BitmapAlphaBitFields) &&
        header.bitCount != 16 && header.bitCount != 32) {
        return "bit fields at " + std::to_string(header.bitCount) + " bits per pixel";
    }
    return {};
}

} // namespace

PictureResult ReadBitmapHeader(ByteSource& source, BitmapHeader& out, std::int64_t mostPixels)
{
    unsigned char head[FileHeaderBytes + LargestInfoHeader + AlphaMaskBytes] = {};
    const std::int64_t got = source.ReadAt(0, head, sizeof head);
    if (got < 0) {
        return PictureFailure(PictureStatus::NotReadable, source.Error());
    }
    if (got < 2 || head[0] != 'B' || head[1] != 'M') {
        return PictureFailure(PictureStatus::NotAPicture);
    }
    const PictureResult cutShort = Damaged("its headers are cut short");
    if (got < FileHeaderBytes + 4) {
        return cutShort;
    }

    BitmapHeader header;
    header.fileBytes = source.Size();
    const std::uint32_t infoBytes = Little(head + 14, 4);
    if (!KnownHeaderSize(infoBytes, header.os2)) {
        return Damaged("its info header is " + std::to_string(infoBytes) +
                       " bytes long, a size no bitmap header has");
    }
    header.headerBytes = infoBytes;
    if (got < FileHeaderBytes + std::int64_t{infoBytes}) {
        return cutShort;
    }
    // A field of the info header, 0 where a short OS/2 header leaves it out.
    const auto field = [&](int offset, int bytes) {
        return offset + bytes <= FileHeaderBytes + static_cast<int>(infoBytes)
                   ? Little(head + offset, bytes)
                   : 0;
    };

    std::uint32_t planes = 0;
    std::uint32_t coloursUsed = 0;
    std::int64_t signedHeight = 0;
    if (infoBytes == 12) { // the core header: 16-bit sizes, 3-byte palette entries
        header.width = Little(head + 18, 2);
        signedHeight = Little(head + 20, 2);
        planes = Little(head + 22, 2);
        header.bitCount = Little(head + 24, 2);
        header.paletteEntryBytes = 3;
    } else {
        header.width = static_cast<std::int32_t>(Little(head + 18, 4));
        signedHeight = static_cast<std::int32_t>(Little(head + 22, 4));
        planes = Little(head + 26, 2);
        header.bitCount = Little(head + 28, 2);
        header.compression = field(30, 4);
        coloursUsed = field(46, 4);
    }
    if (header.width <= 0) {
        return Damaged("it claims a width of " + std::to_string(header.width) + " pixels");
    }
    if (signedHeight == 0) {
        return Damaged("it claims a height of 0 pixels");
    }
    header.topDown = signedHeight < 0;
    header.height = header.topDown ? -signedHeight : signedHeight;
    if (planes != 1) {
        return Damaged("it claims " + std::to_string(planes) +
                       " colour planes, where a bitmap has one");
    }
    if (std::string variant = UnusualVariant(header); !variant.empty()) {
        return PictureFailure(PictureStatus::Unsupported, std::move(variant));
    }
    if ((header.compression == BitmapRle8 && header.bitCount != 8) ||
        (header.compression == BitmapRle4 && header.bitCount != 4)) {
        return Damaged(std::string(header.compression == BitmapRle8 ? "8-bit" : "4-bit") +
                       " run-length compression in a picture of " +
                       std::to_string(header.bitCount) + " bits per pixel");
    }
    if (header.RunLength() && header.topDown) {
        return Damaged("compressed bitmaps cannot be stored top-down");
    }

    // The masks of a 40-byte header follow it; the larger Windows headers hold them.
    std::int64_t tableStart = FileHeaderBytes + std::int64_t{infoBytes};
    if (header.bitCount == 16 || header.bitCount == 32) {
        const bool alpha = header.compression == BitmapAlphaBitFields;
        if (header.compression == BitmapBitFields || alpha) {
            if (infoBytes == 40) {
                tableStart += alpha ? AlphaMaskBytes : ColourMaskBytes;
                if (got < tableStart) {
                    return cutShort;
                }
            }
            header.redMask = Little(head + 54, 4);
            header.greenMask = Little(head + 58, 4);
            header.blueMask = Little(head + 62, 4);
            header.alphaMask =
                infoBytes >= 56 || (infoBytes == 40 && alpha) ? Little(head + 66, 4) : 0;
        } else if (header.bitCount == 16) {
            header.redMask = 0x7C00;
            header.greenMask = 0x03E0;
            header.blueMask = 0x001F;
        } else {
            header.redMask = 0xFF0000;
            header.greenMask = 0x00FF00;
            header.blueMask = 0x0000FF;
        }
    }

    // width < 2^31 and bitCount <= 32, so a row's bytes fit; the rows' bytes need not.
    const std::int64_t width = header.width;
    const std::int64_t height = header.height;
    if (!header.RunLength()) {
        if (header.RowBytes() > std::numeric_limits<std::int64_t>::max() / height) {
            return Damaged("its headers claim " + PixelCount(width, height) + " pixels at " +
                           std::to_string(header.bitCount) +
                           " bits each, more bytes than any file can hold");
        }
        header.pixelBytes = header.RowBytes() * height;
    }
    // Both below 2^31, so the product fits.
    if (width * height > mostPixels) {
        return PictureFailure(PictureStatus::TooLarge, PixelCount(width, height));
    }
    const std::int64_t size = header.fileBytes;
    if (width * height > MaxBitmapPixelsPerByte * std::max<std::int64_t>(size, 1)) {
        return Damaged("it claims " + PixelCount(width, height) + " pixels, far more than its " +
                       std::to_string(size) + " bytes can hold");
    }

    // The palette follows the headers (and masks); the pixels start at the stated offset.
    // An offset inside the palette cuts the palette short there: an OS/2 core header has no
    // count of colours, and its writers say how many there are by where the pixels start.
    // An offset inside the headers is no offset at all: the pixels follow the palette.
    const std::int64_t stated = Little(head + 10, 4);
    header.paletteOffset = tableStart;
    if (header.bitCount <= 8) {
        const std::int64_t most = std::int64_t{1} << header.bitCount;
        const std::int64_t entryBytes = header.paletteEntryBytes;
        if (coloursUsed > most) {
            // More colours than the pixels can name: harmless where the file holds them all.
            if (stated < tableStart + coloursUsed * entryBytes) {
                return Damaged("its palette claims " + GroupedNumber(coloursUsed) +
                               " colours, more than " + std::to_string(header.bitCount) +
                               " bits per pixel can name");
            }
            header.paletteEntries = most;
            header.pixelOffset = stated;
        } else {
            header.paletteEntries = coloursUsed != 0 ? coloursUsed : most;
            const std::int64_t tableEnd = tableStart + header.paletteEntries * entryBytes;
            if (stated >= tableEnd) {
                header.pixelOffset = stated;
            } else if (stated > tableStart) {
                header.paletteEntries = (stated - tableStart) / entryBytes;
                header.pixelOffset = stated;
            } else {
                header.pixelOffset = tableEnd;
            }
        }
    } else {
        header.pixelOffset = std::max(stated, tableStart);
    }
    if (header.pixelOffset >= size ||
        (header.pixelBytes >= 0 && header.pixelBytes > size - header.pixelOffset)) {
        return Damaged("the file ends before its pixel data");
    }
    out = header;
    return {};
}

bool IsPlainTrueColour(const BitmapHeader& header)
{
    return header.bitCount == 24 && header.compression == BitmapRgb && header.width > 0 &&
           header.height > 0 && header.pixelBytes >= 0 && header.pixelOffset >= 0 &&
           header.pixelOffset < header.fileBytes &&
           header.pixelBytes <= header.fileBytes - header.pixelOffset;
}

} // namespace lumenveil
