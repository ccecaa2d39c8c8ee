#include "picture/picture_buffer.h"

#include <QColorSpace>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>


namespace lumenveil {

namespace {

void ReleasePicture(void* memory)
{
    delete static_cast<PixelMemory*>(memory);
}

// Pixels of one row of a palette picture, looked up in `colours` (alpha already set).
// False when a pixel names an entry past the palette's end.
bool LookUpRow(const QImage& image, int y, const QList<QRgb>& colours, QRgb* out)
{
    const uchar* in = image.constScanLine(y);
    const int width = image.width();
    const auto count = static_cast<unsigned>(colours.size());
    const auto put = [&](int x, unsigned index) {
        out[x] = index < count ? colours[index] : 0;
        return index < count;
    };
    bool inside = true;
    if (image.format() == QImage::Format_Indexed8) {
        for (int x = 0; x < width; ++x) {
            inside &= put(x, in[x]);
        }
    } else {
        const bool lowFirst = image.format() == QImage::Format_MonoLSB;
        for (int x = 0; x < width; ++x) {
            inside &= put(x, in[x / 8] >> (lowFirst ? x % 8 : 7 - x % 8) & 1u);
        }
    }
    return inside;
}

PictureResult NoMemory(const QImage& image)
{
    return {PictureStatus::OutOfMemory,
            QStringLiteral("not enough memory for a picture of %1 \u00D7 %2")
                .arg(image.width())
                .arg(image.height())};
}

// Rows converted at a time from a format of no palette: a few MiB at most.
int StripRows(int width)
{
    return std::max(1, (4 << 20) / (4 * std::max(width, 1)));
}

} // namespace

QImage AllocatePicture(int width, int height, QImage::Format format)
{
    if (width <= 0 || height <= 0 || qint64{width} * height > MaxPicturePixels) {
        return {};
    }
    const auto stride = static_cast<qsizetype>(width) * 4;
    PixelMemory memory =
        AllocatePixelMemory(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height));
    auto* owner = memory ? new (std::nothrow) PixelMemory(std::move(memory)) : nullptr;
    if (owner == nullptr) {
        return {};
    }
    // The image frees the memory when its last copy goes.
    QImage image(owner->get(), width, height, stride, format, ReleasePicture, owner);
    if (image.isNull()) {
        delete owner;
    }
    return image;
}

PictureResult MakeOpaqueRgb32(QImage& decoded, QImage& out)
{
    const int width = decoded.width();
    const int height = decoded.height();
    switch (decoded.format()) {
    case QImage::Format_RGB32: break;
    case QImage::Format_ARGB32:
        for (int y = 0; y < height; ++y) {
            auto* row = reinterpret_cast<QRgb*>(decoded.scanLine(y));
            for (int x = 0; x < width; ++x) {
                row[x] |= 0xFF000000u;
            }
        }
        decoded.reinterpretAsFormat(QImage::Format_RGB32);
        break;
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8: {
        QList<QRgb> colours = decoded.colorTable();
        for (QRgb& c : colours) {
            c |= 0xFF000000u;
        }
        QImage converted = AllocatePicture(width, height);
        if (converted.isNull()) {
            return NoMemory(decoded);
        }
        for (int y = 0; y < height; ++y) {
            if (!LookUpRow(decoded, y, colours, reinterpret_cast<QRgb*>(converted.scanLine(y)))) {
                return {PictureStatus::Damaged,
                        QStringLiteral("some pixels name colours its palette does not have")};
            }
        }
        decoded = std::move(converted);
        break;
    }
    default: {
        // Through ARGB32 where there is alpha, so that it is dropped rather than multiplied in.
        const QImage::Format via =
            decoded.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
        QImage converted = AllocatePicture(width, height);
        if (converted.isNull()) {
            return NoMemory(decoded);
        }
        const int strip = StripRows(width);
        for (int top = 0; top < height; top += strip) {
            const int rows = std::min(strip, height - top);
            const QImage part = QImage(decoded.constScanLine(top), width, rows,
                                       decoded.bytesPerLine(), decoded.format())
                                    .convertToFormat(via);
            if (part.isNull()) {
                return NoMemory(decoded);
            }
            for (int y = 0; y < rows; ++y) {
                const auto* in = reinterpret_cast<const QRgb*>(part.constScanLine(y));
                auto* row = reinterpret_cast<QRgb*>(converted.scanLine(top + y));
                for (int x = 0; x < width; ++x) {
                    row[x] = in[x] | 0xFF000000u;
                }
            }
        }
        decoded = std::move(converted);
        break;
    }
    }
    decoded.setColorSpace(QColorSpace());
    out = std::move(decoded);
    decoded = QImage();
    return {};
}

} // namespace lumenveil
