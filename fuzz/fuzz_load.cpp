// Any bytes, handed to the picture decoder as a file's content: it either gives a 32-bit RGB
// picture within the size limit or fails with a reason; it never crashes or overruns.

#include "picture/picture_surface.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstdlib>

namespace {

void Quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qInstallMessageHandler(Quiet);
    static QCoreApplication app(*argc, *argv); // finds the GIF plugin
    lumenveil::LimitDecoderAllocations();      // as the programs do at start-up
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data),
                                               static_cast<qsizetype>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImage image;
    const lumenveil::PictureResult result =
        lumenveil::DecodePicture(buffer, static_cast<qint64>(size), image);
    if (result.ok()) {
        if (image.format() != QImage::Format_RGB32 || image.isNull() ||
            qint64{image.width()} * image.height() > lumenveil::MaxPicturePixels) {
            std::abort();
        }
    } else if (!image.isNull()) {
        std::abort(); // a failure hands back nothing
    }
    return 0;
}
