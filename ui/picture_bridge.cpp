#include "ui/picture_bridge.h"

#include <QDir>
#include <QFile>

namespace lumenveil::ui {

NativeName NativePath(const QString& path)
{
#ifdef _WIN32
    return path.toStdWString();
#else
    return QFile::encodeName(path).toStdString();
#endif
}

QString DescribePicture(const PictureResult& result, const QString& path)
{
    return QString::fromStdString(
        DescribePictureResult(result, QDir::toNativeSeparators(path).toStdString()));
}

QImage ImageOf(const PixelBuffer& buffer)
{
    if (buffer.IsEmpty()) {
        return {};
    }
    // Blue, green, red and 0xFF in memory: a little-endian 0xFFRRGGBB, which is RGB32. The
    // const data keeps the image from ever writing to the buffer or copying it.
    return QImage(buffer.Data(), buffer.Width(), buffer.Height(),
                  static_cast<qsizetype>(buffer.Stride()), QImage::Format_RGB32);
}

} // namespace lumenveil::ui
