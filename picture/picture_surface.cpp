#include "picture/picture_surface.h"

#include "picture/bitmap_save.h"
#include "picture/picture_decoder.h"
#include "picture/picture_format.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLocale>

namespace lumenveil {

namespace {

constexpr int HeadBytes = 64;

PictureResult Fail(PictureStatus status, QString reason = {})
{
    return {status, std::move(reason)};
}

// Reads the whole of `file`, which is not a regular one (a pipe, a device), into `bytes`: no
// more than a picture we take can need, and nothing beyond the first bytes of what is no
// picture at all (an endless device).
PictureResult ReadWhole(QIODevice& file, QByteArray& bytes)
{
    constexpr qint64 Piece = qint64{1} << 20;
    for (;;) {
        const qint64 before = bytes.size();
        const qint64 wanted = before < HeadBytes ? HeadBytes - before : Piece;
        bytes.resize(before + wanted);
        const qint64 got = file.read(bytes.data() + before, wanted);
        bytes.resize(before + std::max<qint64>(got, 0));
        if (got < 0) {
            return Fail(PictureStatus::NotReadable, file.errorString());
        }
        if (got == 0) {
            return {};
        }
        if (bytes.size() >= HeadBytes && before < HeadBytes &&
            SniffPictureKind(bytes) == PictureKind::Unknown) {
            return Fail(PictureStatus::NotAPicture);
        }
        if (bytes.size() > MaxPictureFileBytes) {
            return Fail(PictureStatus::NotReadable,
                        QStringLiteral("it goes on past %1 MiB, more than any picture Lumenveil "
                                       "can work on takes")
                            .arg(QLocale(QLocale::English).toString(MaxPictureFileBytes >> 20)));
        }
    }
}

} // namespace

QString DescribePictureResult(const PictureResult& result, const QString& path)
{
    const QString name = QDir::toNativeSeparators(path);
    switch (result.status) {
    case PictureStatus::Ok: return QStringLiteral("\u201C%1\u201D is fine.").arg(name);
    case PictureStatus::NotFound:
        return QStringLiteral("The file \u201C%1\u201D does not exist.").arg(name);
    case PictureStatus::NotReadable:
        return QStringLiteral("The file \u201C%1\u201D cannot be read: %2.").arg(name, result.reason);
    case PictureStatus::NotAPicture:
        return QStringLiteral("\u201C%1\u201D is not a picture. Lumenveil opens bitmap (BMP), "
                              "JPEG, GIF and PNG files.")
            .arg(name);
    case PictureStatus::Damaged:
        return QStringLiteral("The picture \u201C%1\u201D is damaged or incomplete: %2.")
            .arg(name, result.reason);
    case PictureStatus::Unsupported:
        return QStringLiteral("The picture \u201C%1\u201D is stored in a way Lumenveil cannot "
                              "read (%2). Save it again as an ordinary BMP, JPEG or PNG file "
                              "and load that.")
            .arg(name, result.reason);
    case PictureStatus::TooLarge:
        return QStringLiteral("The picture \u201C%1\u201D is too large: %2 pixels is more than "
                              "the %3 pixels Lumenveil can work on.")
            .arg(name, result.reason, QLocale(QLocale::English).toString(MaxPicturePixels));
    case PictureStatus::OutOfMemory:
        return QStringLiteral("The picture \u201C%1\u201D cannot be opened: %2.")
            .arg(name, result.reason);
    case PictureStatus::NothingToSave:
        return QStringLiteral("There is no picture to save as \u201C%1\u201D.").arg(name);
    case PictureStatus::CannotWrite:
        return QStringLiteral("The picture could not be saved as \u201C%1\u201D: %2.")
            .arg(name, result.reason);
    case PictureStatus::Stopped:
        return QStringLiteral("Loading \u201C%1\u201D was stopped.").arg(name);
    }
    return {};
}

void LimitDecoderAllocations()
{
    QImageReader::setAllocationLimit(DecoderAllocationLimitMiB);
}

NativeName NativePath(const QString& path)
{
#ifdef Q_OS_WIN
    return path.toStdWString();
#else
    return QFile::encodeName(path).toStdString();
#endif
}

PictureResult DecodePicture(QIODevice& device, qint64 size, QImage& out, PictureKind* sniffed,
                            RowSink* sink)
{
    const PictureKind kind = SniffPictureKind(device.peek(HeadBytes));
    if (sniffed != nullptr) {
        *sniffed = kind;
    }
    const std::unique_ptr<PictureDecoder> decoder = DecoderFor(kind);
    if (decoder == nullptr) {
        return Fail(PictureStatus::NotAPicture);
    }
    if (PictureResult checked = decoder->CheckHeaders(device, size); !checked.ok()) {
        return checked;
    }
    return decoder->Decode(out, sink);
}

PictureResult PictureSurface::LoadImageFile(const QString& path, RowSink* sink)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        return Fail(PictureStatus::NotFound);
    }
    if (info.isDir()) {
        return Fail(PictureStatus::NotReadable, QStringLiteral("it is a folder"));
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return Fail(PictureStatus::NotReadable, file.errorString());
    }
    // A pipe or a device has no size to check the headers against, and cannot be read twice.
    return info.isFile() ? LoadFrom(file, file.size(), sink) : LoadImageStream(file, sink);
}

PictureResult PictureSurface::LoadImageStream(QIODevice& stream, RowSink* sink)
{
    QByteArray bytes;
    if (PictureResult read = ReadWhole(stream, bytes); !read.ok()) {
        return read;
    }
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return LoadFrom(buffer, bytes.size(), sink);
}

PictureResult PictureSurface::LoadFrom(QIODevice& device, qint64 size, RowSink* sink)
{
    QImage decoded;
    PictureKind kind = PictureKind::Unknown;
    PictureResult result = DecodePicture(device, size, decoded, &kind, sink);
    if (result.ok() && !decoded.isNull()) { // else a sink took the rows band by band
        image_ = std::move(decoded);
        kind_ = kind;
    }
    return result;
}

PictureResult PictureSurface::SaveBitmapFile(const QString& path) const
{
    if (IsEmpty()) {
        return Fail(PictureStatus::NothingToSave);
    }
    BitmapFileSave save(path);
    if (PictureResult begun = save.Begin(image_.width(), image_.height()); !begun.ok()) {
        return begun;
    }
    if (PictureResult written = save.WriteRows(image_, 0, image_.height(), 0); !written.ok()) {
        return written;
    }
    return save.Commit();
}

ColorValue ImageGrid::ReadPixel(int x, int y) const
{
    const QRgb rgb = reinterpret_cast<const QRgb*>(image_.constScanLine(y - imageTop_))[x];
    return ComposeColor(qRed(rgb), qGreen(rgb), qBlue(rgb));
}

void ImageGrid::WritePixel(int x, int y, ColorValue color)
{
    reinterpret_cast<QRgb*>(image_.scanLine(y - imageTop_))[x] =
        qRgb(RedOf(color), GreenOf(color), BlueOf(color));
}

void ImageGrid::ReadCarrierBits(std::int64_t first, std::int64_t count, std::uint8_t* out) const
{
    const auto firstX = static_cast<int>(first / height_);
    CopyRunFromRows<4>(
        first, count, height_, out,
        [&](int y) { return image_.constScanLine(y - imageTop_) + qint64{firstX} * 4; },
        [](const unsigned char* pixel) {
            const QRgb rgb = *reinterpret_cast<const QRgb*>(pixel);
            return CarrierBits(ComposeColor(qRed(rgb), qGreen(rgb), qBlue(rgb)));
        });
}

// The surface's own image is only read through a const grid.
ColorValue PictureSurface::ReadPixel(int x, int y) const
{
    return ImageGrid(const_cast<QImage&>(image_)).ReadPixel(x, y);
}

void PictureSurface::WritePixel(int x, int y, ColorValue color)
{
    ImageGrid(image_).WritePixel(x, y, color);
}

void PictureSurface::ReadCarrierBits(std::int64_t first, std::int64_t count,
                                     std::uint8_t* out) const
{
    ImageGrid(const_cast<QImage&>(image_)).ReadCarrierBits(first, count, out);
}

} // namespace lumenveil
