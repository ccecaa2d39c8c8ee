#include "picture/bitmap_file_grid.h"

#include "picture/picture_format.h"
#include "picture/picture_surface.h"

#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <new>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <unistd.h>
#endif

namespace lumenveil {

namespace {

constexpr int HeadBytes = 64;
constexpr int InfoHeaderSize = 40;
constexpr int FirstStripColumns = 16;
constexpr int StripGrowth = 8;
// A strip grows to a quarter of the pixel data, or to this where that is less; larger only
// where one read asks for more. Every strip costs a read a row, so a long scan needs few.
constexpr qint64 StripBytes = qint64{64} << 20;

template <typename T> T Field(const QByteArray& head, int offset)
{
    return qFromLittleEndian<T>(head.constData() + offset);
}

} // namespace

std::unique_ptr<BitmapFileGrid> BitmapFileGrid::Open(const QString& path)
{
    // Only a regular file: opening a pipe would take what the loader has to read after us.
    if (!QFileInfo(path).isFile()) {
        return nullptr;
    }
    std::unique_ptr<BitmapFileGrid> grid(new BitmapFileGrid);
    QFile& file = grid->file_;
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) || file.isSequential()) {
        return nullptr;
    }
    const qint64 size = file.size();
    const QByteArray head = file.read(HeadBytes);
    if (head.size() < 14 + InfoHeaderSize || SniffPictureKind(head) != PictureKind::Bitmap) {
        return nullptr;
    }
    // Exactly the fields of a plain 24-bit bitmap. The loader (Qt's reader, in fact) refuses a
    // width below 1, a height of 0 and a plane count other than 1.
    const auto width = Field<qint32>(head, 18);
    const auto height = Field<qint32>(head, 22);
    if (Field<quint32>(head, 14) != InfoHeaderSize || width < 1 || height == 0 ||
        Field<quint16>(head, 26) != 1 || Field<quint16>(head, 28) != 24 ||
        Field<quint32>(head, 30) != 0) {
        return nullptr;
    }
    // The loader's checks: sound headers, a size we take, and pixel data the file holds whole.
    const std::optional<BitmapHeader> header = ParseBitmapHeader(head);
    if (!header || !header->problem.isEmpty() || header->pixelBytes < 0 ||
        header->width * header->height > MaxPicturePixels || header->pixelOffset >= size ||
        header->pixelBytes > size - header->pixelOffset) {
        return nullptr;
    }
    grid->width_ = width;
    grid->height_ = static_cast<int>(header->height);
    grid->topDown_ = header->topDown;
    grid->pixelOffset_ = header->pixelOffset;
    grid->stride_ = header->pixelBytes / header->height;
    return grid;
}

ColorValue BitmapFileGrid::ReadPixel(int x, int y) const
{
    if (!Fetch(x, x, y)) {
        return 0;
    }
    const unsigned char* p = strip_.get() + (qint64{y} * stripColumns_ + x - stripX_) * 3;
    return ComposeColor(p[2], p[1], p[0]);
}

void BitmapFileGrid::ReadCarrierBits(std::int64_t first, std::int64_t count,
                                     std::uint8_t* out) const
{
    if (count <= 0) {
        return;
    }
    const std::int64_t height = height_;
    const std::int64_t last = first + count - 1;
    const auto firstX = static_cast<int>(first / height);
    const auto lastX = static_cast<int>(last / height);
    if (!Fetch(firstX, lastX, firstX == lastX ? static_cast<int>(last % height) : height_ - 1)) {
        std::fill(out, out + count, std::uint8_t{0});
        return;
    }
    const qint64 pitch = qint64{stripColumns_} * 3;
    const unsigned char* runStart = strip_.get() + qint64{firstX - stripX_} * 3;
    CopyRunFromRows<3>(
        first, count, height, out, [&](int y) { return runStart + y * pitch; },
        [](const unsigned char* bgr) {
            return static_cast<std::uint8_t>((bgr[2] & 1) << 2 | (bgr[1] & 1) << 1 | (bgr[0] & 1));
        });
}

void BitmapFileGrid::WritePixel(int, int, ColorValue) {}

bool BitmapFileGrid::Fetch(int firstX, int lastX, int lastY) const
{
    if (firstX < stripX_ || lastX >= stripX_ + stripColumns_) {
        const qint64 asked = lastX - firstX + 1;
        const qint64 most =
            std::max(asked, std::max(StripBytes, stride_ * height_ / 4) / (qint64{height_} * 3));
        const qint64 wider =
            stripColumns_ == 0 ? FirstStripColumns : qint64{stripColumns_} * StripGrowth;
        const qint64 columns = std::min({std::max(asked, wider), most, qint64{width_ - firstX}});
        if (columns * height_ * 3 > stripBytes_) { // else the last strip's memory will do
            stripBytes_ = columns * height_ * 3;
            strip_ = AllocatePixelMemory(static_cast<std::size_t>(stripBytes_));
            if (!strip_) {
                stripBytes_ = 0;
                stripColumns_ = 0;
                failed_ = true;
                return false;
            }
        }
        stripX_ = firstX;
        stripColumns_ = static_cast<int>(columns);
        stripRows_ = 0;
    }
    const qint64 pitch = qint64{stripColumns_} * 3;
    for (; stripRows_ <= lastY; ++stripRows_) {
        const qint64 fileRow = topDown_ ? stripRows_ : height_ - 1 - stripRows_;
        unsigned char* to = strip_.get() + stripRows_ * pitch;
        if (!ReadAt(pixelOffset_ + fileRow * stride_ + qint64{stripX_} * 3, to, pitch)) {
            std::memset(to, 0, static_cast<std::size_t>(pitch));
            failed_ = true;
        }
    }
    return true;
}

bool BitmapFileGrid::ReadAt(qint64 offset, unsigned char* to, qint64 bytes) const
{
#ifdef Q_OS_UNIX
    // One call a row, and no seek: the rows of a strip lie a whole file row apart.
    while (bytes > 0) {
        const ssize_t got = ::pread(file_.handle(), to, static_cast<std::size_t>(bytes), offset);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        to += got;
        offset += got;
        bytes -= got;
    }
    return true;
#else
    return file_.seek(offset) && file_.read(reinterpret_cast<char*>(to), bytes) == bytes;
#endif
}

std::optional<ReadOutcome> ReadTextLazily(const QString& path)
{
    const std::unique_ptr<BitmapFileGrid> grid = BitmapFileGrid::Open(path);
    if (!grid) {
        return std::nullopt;
    }
    // Where memory runs out, the whole load gets its chance and says so if it fails too.
    try {
        ReadOutcome outcome = ReadText(*grid);
        if (grid->ReadFailed()) {
            return std::nullopt;
        }
        return outcome;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace lumenveil
