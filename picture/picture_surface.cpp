#include "picture/picture_surface.h"

#include "picture/bitmap_writer.h"
#include "picture/picture_format.h"

#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLocale>
#include <QSaveFile>

#include <optional>

#include <cerrno>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif
#include <cstring>

namespace lumenveil {

namespace {

// Qt's allocation guard, in MiB: a little above our own pixel limit so that it never trips
// first for a picture we accept, while still catching a decoder that allocates beyond it.
constexpr int DecoderAllocationLimitMiB = 1100;
constexpr int HeadBytes = 64;

PictureResult Fail(PictureStatus status, QString reason = {})
{
    return {status, std::move(reason)};
}

QString PixelCount(qint64 width, qint64 height)
{
    return QStringLiteral("%1 \u00D7 %2").arg(width).arg(height);
}

// No picture kind we read packs more pixels than this into one byte of its file: JPEG needs at
// least a bit for each 8 x 8 block, deflate and LZW expand at most a few thousand times. A
// header that promises more is damaged, and decoding it would only produce made-up pixels,
// slowly.
constexpr qint64 MaxPixelsPerFileByte = 16384;

// Whether a declared size is one we take, and one the file can really hold.
PictureResult CheckArea(qint64 width, qint64 height, qint64 fileSize)
{
    if (width * height > MaxPicturePixels) {
        return Fail(PictureStatus::TooLarge, PixelCount(width, height));
    }
    if (width * height > MaxPixelsPerFileByte * std::max<qint64>(fileSize, 1)) {
        return Fail(PictureStatus::Damaged,
                    QStringLiteral("it claims %1 pixels, far more than its %2 bytes can hold")
                        .arg(PixelCount(width, height))
                        .arg(fileSize));
    }
    return {};
}

// Brings a decoded picture to Format_RGB32 without losing a bit of any component. Transparent
// pixels keep their own colour: alpha is dropped, never multiplied in.
void MakeOpaqueRgb32(QImage& image)
{
    switch (image.format()) {
    case QImage::Format_RGB32: break;
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8: {
        QList<QRgb> colors = image.colorTable();
        for (QRgb& c : colors) {
            c |= 0xFF000000u;
        }
        image.setColorTable(colors);
        image.convertTo(QImage::Format_RGB32);
        break;
    }
    default:
        if (image.hasAlphaChannel()) {
            if (image.format() != QImage::Format_ARGB32) {
                image.convertTo(QImage::Format_ARGB32);
            }
            for (int y = 0; y < image.height(); ++y) {
                auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
                for (int x = 0; x < image.width(); ++x) {
                    row[x] |= 0xFF000000u;
                }
            }
            image.reinterpretAsFormat(QImage::Format_RGB32);
        } else {
            image.convertTo(QImage::Format_RGB32);
        }
        break;
    }
    image.setColorSpace(QColorSpace());
}

// Gives the pixels that a run-length bitmap skips the first palette colour; the reader leaves
// them as whatever its memory held.
void ClearSkippedPixels(QImage& image, const std::vector<PixelSpan>& skipped)
{
    if (skipped.empty() || image.format() != QImage::Format_Indexed8) {
        return;
    }
    const qint64 height = image.height();
    for (const PixelSpan& span : skipped) {
        if (span.to > image.width()) {
            continue;
        }
        for (qint64 row = span.row; row < span.row + span.rows && row < height; ++row) {
            std::memset(image.scanLine(static_cast<int>(row)) + span.from, 0,
                        static_cast<std::size_t>(span.to - span.from));
        }
    }
}

// Whether every pixel of a palette picture names an entry of its palette. Readers fill a
// missing entry with a made-up colour instead of failing.
bool IndicesInsidePalette(QImage& image)
{
    if (image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB) {
        image.convertTo(QImage::Format_Indexed8);
    }
    if (image.format() != QImage::Format_Indexed8) {
        return true;
    }
    const int colours = image.colorCount();
    if (colours >= 256) {
        return true;
    }
    const int width = image.width();
    for (int y = 0; y < image.height(); ++y) {
        const uchar* row = image.constScanLine(y);
        for (int x = 0; x < width; ++x) {
            if (row[x] >= colours) {
                return false;
            }
        }
    }
    return true;
}

// The system's reason why an existing file cannot be written.
QString WhyNotWritable(const QString& path)
{
#ifdef Q_OS_UNIX
    if (::access(QFile::encodeName(path).constData(), W_OK) != 0) {
        return qt_error_string(errno);
    }
#else
    Q_UNUSED(path);
#endif
    return QStringLiteral("the file is read-only");
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
    }
    return {};
}

PictureResult DecodePicture(QIODevice& device, qint64 size, QImage& out, PictureKind* sniffed)
{
    const QByteArray head = device.peek(HeadBytes);
    const PictureKind kind = SniffPictureKind(head);
    std::optional<BitmapHeader> bitmap;
    RunLengthLayout runs;
    if (sniffed != nullptr) {
        *sniffed = kind;
    }
    if (kind == PictureKind::Unknown) {
        return Fail(PictureStatus::NotAPicture);
    }

    if (kind == PictureKind::Bitmap) {
        // Qt fills missing rows of a cut-short bitmap with made-up pixels and calls it a
        // success, so check the length against the headers first.
        const auto header = ParseBitmapHeader(head);
        if (!header) {
            return Fail(PictureStatus::Damaged, QStringLiteral("its headers are cut short"));
        }
        if (!header->problem.isEmpty()) {
            return Fail(PictureStatus::Damaged, header->problem);
        }
        if (auto area = CheckArea(header->width, header->height, size); !area.ok()) {
            return area;
        }
        if (header->pixelOffset >= size ||
            (header->pixelBytes >= 0 && header->pixelBytes > size - header->pixelOffset)) {
            return Fail(PictureStatus::Damaged,
                        QStringLiteral("the file ends before its pixel data"));
        }
        runs = WalkRunLengthData(device, size, *header);
        if (!runs.problem.isEmpty()) {
            return Fail(PictureStatus::Damaged, runs.problem);
        }
        bitmap = header;
    }

    if (kind == PictureKind::Jpeg && !JpegReachesEnd(device, size)) {
        return Fail(PictureStatus::Damaged, QStringLiteral("the file ends before its picture data"));
    }
    if (kind == PictureKind::Gif && !GifFirstImageComplete(device)) {
        return Fail(PictureStatus::Damaged, QStringLiteral("the file ends before its picture data"));
    }

    QImageReader::setAllocationLimit(DecoderAllocationLimitMiB);
    QImageReader reader(&device, ReaderFormat(kind));
    reader.setAutoTransform(true);
    const QSize declared = reader.size();
    if (declared.isValid()) {
        if (auto area = CheckArea(declared.width(), declared.height(), size); !area.ok()) {
            return area;
        }
    }

    QImage image;
    if (!reader.read(&image) || image.isNull()) {
        if (bitmap) {
            if (QString variant = UnusualBitmapVariant(*bitmap); !variant.isEmpty()) {
                return Fail(PictureStatus::Unsupported, variant);
            }
        }
        QString reason = reader.errorString();
        if (reason.isEmpty() || reason == QLatin1String("Unknown error")) {
            reason = QStringLiteral("the picture data cannot be decoded");
        }
        return Fail(PictureStatus::Damaged, reason.at(0).toLower() + reason.mid(1));
    }
    if (auto area = CheckArea(image.width(), image.height(), size); !area.ok()) {
        return area;
    }
    ClearSkippedPixels(image, runs.skipped);
    if (!IndicesInsidePalette(image)) {
        return Fail(PictureStatus::Damaged,
                    QStringLiteral("some pixels name colours its palette does not have"));
    }
    MakeOpaqueRgb32(image);
    out = std::move(image);
    return {};
}

PictureResult PictureSurface::LoadImageFile(const QString& path)
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

    QImage decoded;
    PictureKind kind = PictureKind::Unknown;
    PictureResult result = DecodePicture(file, file.size(), decoded, &kind);
    if (result.ok()) {
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
    const QFileInfo target(path);
    if (target.isDir()) {
        return Fail(PictureStatus::CannotWrite, QStringLiteral("a folder has that name"));
    }
    if (target.exists() && !target.isWritable()) {
        // Replacing a file goes through its folder, so the system would let a read-only file
        // be replaced; the user marked it so to keep it.
        return Fail(PictureStatus::CannotWrite, WhyNotWritable(path));
    }

    // The new file is written beside the old one and takes its place only when complete.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return Fail(PictureStatus::CannotWrite, file.errorString());
    }
    if (!WriteBitmap(file, image_) || !file.flush()) {
        // QSaveFile does not always carry the system's reason for a failed write; errno does.
        const int error = errno;
        QString reason = file.errorString();
        if (file.error() == QFileDevice::NoError || reason == QLatin1String("Unknown error")) {
            reason = qt_error_string(error);
        }
        file.cancelWriting();
        return Fail(PictureStatus::CannotWrite, reason);
    }
    if (!file.commit()) {
        return Fail(PictureStatus::CannotWrite, file.errorString());
    }
    return {};
}

ColorValue PictureSurface::ReadPixel(int x, int y) const
{
    const QRgb rgb = reinterpret_cast<const QRgb*>(image_.constScanLine(y))[x];
    return ComposeColor(qRed(rgb), qGreen(rgb), qBlue(rgb));
}

void PictureSurface::WritePixel(int x, int y, ColorValue color)
{
    reinterpret_cast<QRgb*>(image_.scanLine(y))[x] =
        qRgb(RedOf(color), GreenOf(color), BlueOf(color));
}

} // namespace lumenveil
