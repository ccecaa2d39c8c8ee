#include "picture/picture_decoder.h"

#include "picture/jpeg_decoder.h"
#include "picture/picture_buffer.h"

#include <QImageReader>

#include <cstring>
#include <optional>

namespace lumenveil {

namespace {

constexpr int HeadBytes = 64;

// No kind that Qt reads for us packs more pixels than this into one byte of its file: deflate
// and LZW expand at most a few thousand times. A header that promises more is damaged, and
// decoding it would only produce made-up pixels, slowly.
constexpr qint64 MaxPixelsPerFileByte = 16384;

// A run-length bitmap may leave pixels to no run (they take the palette's first colour), but
// not most of a large picture: a few bytes of skips and an end code would otherwise make a
// picture of any size out of nothing.
constexpr qint64 MaxPixelsLeftByRuns = qint64{1} << 20;

PictureResult Fail(PictureStatus status, QString reason = {})
{
    return {status, std::move(reason)};
}

// The kinds Qt's own readers decode; the kind's checks come first, then Qt's reader fills a
// picture that MakeOpaqueRgb32 brings to exact opaque RGB32.
class QtReaderDecoder : public PictureDecoder
{
public:
    PictureResult CheckHeaders(QIODevice& device, qint64 size) final
    {
        size_ = size;
        if (PictureResult kind = CheckKind(device, size); !kind.ok()) {
            return kind;
        }
        reader_.setDevice(&device);
        reader_.setFormat(format_);
        reader_.setAutoTransform(true);
        const QSize declared = reader_.size();
        if (declared.isValid()) {
            return CheckArea(declared.width(), declared.height(), size, MaxPixelsPerFileByte);
        }
        return {};
    }

    PictureResult Decode(QImage& out, RowSink* sink) final
    {
        // A 32-bit picture goes straight into the buffer it ends in: Qt's readers fill an
        // image of the right size and format instead of allocating their own.
        QImage image;
        const QSize declared = reader_.size();
        const QImage::Format format = reader_.imageFormat();
        if (declared.isValid() &&
            (format == QImage::Format_RGB32 || format == QImage::Format_ARGB32)) {
            image = AllocatePicture(declared.width(), declared.height(), format);
            if (image.isNull() &&
                qint64{declared.width()} * declared.height() <= MaxPicturePixels) {
                return Fail(PictureStatus::OutOfMemory,
                            QStringLiteral("not enough memory for a picture of %1")
                                .arg(PixelCount(declared.width(), declared.height())));
            }
        }
        if (!reader_.read(&image) || image.isNull()) {
            if (PictureResult known = WhyReaderFailed(); !known.ok()) {
                return known;
            }
            QString reason = reader_.errorString();
            if (reason.isEmpty() || reason == QLatin1String("Unknown error")) {
                reason = QStringLiteral("the picture data cannot be decoded");
            }
            return Fail(PictureStatus::Damaged, reason.at(0).toLower() + reason.mid(1));
        }
        if (PictureResult area =
                CheckArea(image.width(), image.height(), size_, MaxPixelsPerFileByte);
            !area.ok()) {
            return area;
        }
        Mend(image);
        QImage opaque;
        if (PictureResult made = MakeOpaqueRgb32(image, opaque); !made.ok()) {
            return made;
        }
        if (sink != nullptr && !(sink->Begin(opaque.width(), opaque.height()) &&
                                 sink->RowsDone(opaque, 0, opaque.height(), 0))) {
            return Fail(PictureStatus::Stopped);
        }
        out = std::move(opaque);
        return {};
    }

protected:
    explicit QtReaderDecoder(const char* format) : format_(format) {}

    // The kind's own checks of the file, before Qt reads anything. Leaves `device` at its start.
    virtual PictureResult CheckKind(QIODevice& device, qint64 size) = 0;

    // Why Qt's reader failed, where the kind knows better than Qt's words; Ok where it does not.
    virtual PictureResult WhyReaderFailed() const { return {}; }

    // Sets what Qt's reader left unset in `image`, as it decoded it.
    virtual void Mend(QImage& image) const { Q_UNUSED(image); }

private:
    QByteArray format_;
    QImageReader reader_;
    qint64 size_ = 0;
};

class BitmapDecoder final : public QtReaderDecoder
{
public:
    BitmapDecoder() : QtReaderDecoder("bmp") {}

private:
    PictureResult CheckKind(QIODevice& device, qint64 size) override
    {
        // Qt fills missing rows of a cut-short bitmap with made-up pixels and calls it a
        // success, so check the length against the headers first.
        header_ = ParseBitmapHeader(device.peek(HeadBytes));
        if (!header_) {
            return Fail(PictureStatus::Damaged, QStringLiteral("its headers are cut short"));
        }
        if (!header_->problem.isEmpty()) {
            return Fail(PictureStatus::Damaged, header_->problem);
        }
        const qint64 width = header_->width;
        const qint64 height = header_->height;
        if (PictureResult area = CheckArea(width, height, size, MaxPixelsPerFileByte);
            !area.ok()) {
            return area;
        }
        if (header_->pixelOffset >= size ||
            (header_->pixelBytes >= 0 && header_->pixelBytes > size - header_->pixelOffset)) {
            return Fail(PictureStatus::Damaged,
                        QStringLiteral("the file ends before its pixel data"));
        }
        runs_ = WalkRunLengthData(device, size, *header_);
        if (!runs_.problem.isEmpty()) {
            return Fail(PictureStatus::Damaged, runs_.problem);
        }
        const qint64 left = width * height - runs_.setPixels;
        if (runs_.setPixels >= 0 && left > runs_.setPixels && left > MaxPixelsLeftByRuns) {
            return Fail(PictureStatus::Damaged,
                        QStringLiteral("it claims %1 pixels, but its runs set only %2 of them")
                            .arg(PixelCount(width, height))
                            .arg(runs_.setPixels));
        }
        return {};
    }

    PictureResult WhyReaderFailed() const override
    {
        if (QString variant = UnusualBitmapVariant(*header_); !variant.isEmpty()) {
            return Fail(PictureStatus::Unsupported, variant);
        }
        return {};
    }

    // Gives the pixels that no run sets the first palette colour; Qt's reader leaves them as
    // whatever its memory held.
    void Mend(QImage& image) const override
    {
        if (image.format() != QImage::Format_Indexed8) {
            return;
        }
        const qint64 height = image.height();
        for (const PixelSpan& span : runs_.skipped) {
            if (span.to > image.width()) {
                continue;
            }
            for (qint64 row = span.row; row < span.row + span.rows && row < height; ++row) {
                std::memset(image.scanLine(static_cast<int>(row)) + span.from, 0,
                            static_cast<std::size_t>(span.to - span.from));
            }
        }
    }

    std::optional<BitmapHeader> header_;
    RunLengthLayout runs_;
};

class GifDecoder final : public QtReaderDecoder
{
public:
    GifDecoder() : QtReaderDecoder("gif") {}

private:
    PictureResult CheckKind(QIODevice& device, qint64) override
    {
        if (!GifFirstImageComplete(device)) {
            return Fail(PictureStatus::Damaged,
                        QStringLiteral("the file ends before its picture data"));
        }
        return {};
    }
};

class PngDecoder final : public QtReaderDecoder
{
public:
    PngDecoder() : QtReaderDecoder("png") {}

private:
    // libpng checks every chunk's CRC and the length of the image data itself.
    PictureResult CheckKind(QIODevice&, qint64) override { return {}; }
};

} // namespace

std::unique_ptr<PictureDecoder> DecoderFor(PictureKind kind)
{
    switch (kind) {
    case PictureKind::Bitmap: return std::make_unique<BitmapDecoder>();
    case PictureKind::Jpeg: return MakeJpegDecoder();
    case PictureKind::Gif: return std::make_unique<GifDecoder>();
    case PictureKind::Png: return std::make_unique<PngDecoder>();
    case PictureKind::Unknown: break;
    }
    return nullptr;
}

QString PixelCount(qint64 width, qint64 height)
{
    return QStringLiteral("%1 \u00D7 %2").arg(width).arg(height);
}

PictureResult CheckArea(qint64 width, qint64 height, qint64 fileSize, qint64 pixelsPerByte)
{
    if (width * height > MaxPicturePixels) {
        return Fail(PictureStatus::TooLarge, PixelCount(width, height));
    }
    if (width * height > pixelsPerByte * std::max<qint64>(fileSize, 1)) {
        return Fail(PictureStatus::Damaged,
                    QStringLiteral("it claims %1 pixels, far more than its %2 bytes can hold")
                        .arg(PixelCount(width, height))
                        .arg(fileSize));
    }
    return {};
}

} // namespace lumenveil
