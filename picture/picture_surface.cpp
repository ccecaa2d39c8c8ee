#include "picture/picture_surface.h"

#include "picture/bitmap_writer.h"
#include "picture/picture_decoder.h"
#include "picture/picture_format.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLocale>
#include <QSaveFile>

#include <cerrno>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <io.h>
#include <qt_windows.h>
#endif
#include <cstring>

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

// Waits until the data written to `fd` lies on the disk; false, with the reason in errno (the
// last error on Windows), when the disk could not take it.
bool SyncToDisk(int fd)
{
#ifdef Q_OS_WIN
    return ::FlushFileBuffers(reinterpret_cast<HANDLE>(::_get_osfhandle(fd))) != 0;
#elif defined(Q_OS_LINUX)
    return ::fdatasync(fd) == 0;
#else
    return ::fsync(fd) == 0;
#endif
}

// The system's reason for the last failed call on this thread: errno, or on Windows the
// thread's last error, which the file calls set instead.
QString LastSystemError()
{
#ifdef Q_OS_WIN
    const DWORD code = ::GetLastError();
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString reason = QString::fromWCharArray(text, static_cast<qsizetype>(length)).trimmed();
    ::LocalFree(text);
    if (reason.endsWith(QLatin1Char('.'))) {
        reason.chop(1); // the caller ends the sentence
    }
    return reason.isEmpty() ? QStringLiteral("system error %1").arg(code) : reason;
#else
    return qt_error_string(errno);
#endif
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

// The file a save would replace, as it was before: what it is decides whether it may be
// replaced, and its owner and mode pass to the new file.
class ReplacedFile
{
public:
    explicit ReplacedFile(const QString& path)
    {
#ifdef Q_OS_UNIX
        exists_ = ::stat(QFile::encodeName(path).constData(), &info_) == 0; // through links
#else
        Q_UNUSED(path);
#endif
    }

    // Why it must stay, or nothing. Only a regular file is replaced: a pipe, a device or a socket
    // would become a plain file behind the back of whatever uses it. A file without any write
    // bit was marked by its owner to be kept, and is, even from root, whom the system lets in.
    [[nodiscard]] QString WhyKept() const
    {
#ifdef Q_OS_UNIX
        if (!exists_ || S_ISDIR(info_.st_mode)) {
            return {};
        }
        if (S_ISFIFO(info_.st_mode)) {
            return QStringLiteral("it is a named pipe (FIFO), not a file");
        }
        if (S_ISSOCK(info_.st_mode)) {
            return QStringLiteral("it is a socket, not a file");
        }
        if (!S_ISREG(info_.st_mode)) {
            return QStringLiteral("it is a device, not a file");
        }
        if ((info_.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
            return QStringLiteral("the file is read-only");
        }
#endif
        return {};
    }

    // Gives the new file, open as `fd`, the old one's owner, group and mode; the system's reason
    // when it cannot, and then the old file must stay.
    [[nodiscard]] QString PassOnTo(int fd) const
    {
#ifdef Q_OS_UNIX
        struct stat made {};
        if (!exists_ || ::fstat(fd, &made) != 0) {
            return {};
        }
        // Only what differs is changed, so that a disk without owners (FAT) still takes the
        // file; a change of owner clears the set-id bits, so the mode follows it.
        const bool owner = made.st_uid != info_.st_uid || made.st_gid != info_.st_gid;
        const mode_t mode = info_.st_mode & 07777;
        if ((owner && ::fchown(fd, info_.st_uid, info_.st_gid) != 0) ||
            ((owner || (made.st_mode & 07777) != mode) && ::fchmod(fd, mode) != 0)) {
            return QStringLiteral("the new file cannot keep the owner and mode of the old one: %1")
                .arg(qt_error_string(errno));
        }
#else
        Q_UNUSED(fd);
#endif
        return {};
    }

private:
#ifdef Q_OS_UNIX
    struct stat info_ {};
    bool exists_ = false;
#endif
};

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

void LimitDecoderAllocations()
{
    QImageReader::setAllocationLimit(DecoderAllocationLimitMiB);
}

PictureResult DecodePicture(QIODevice& device, qint64 size, QImage& out, PictureKind* sniffed)
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
    return decoder->Decode(out);
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
    // A pipe or a device has no size to check the headers against, and cannot be read twice.
    return info.isFile() ? LoadFrom(file, file.size()) : LoadImageStream(file);
}

PictureResult PictureSurface::LoadImageStream(QIODevice& stream)
{
    QByteArray bytes;
    if (PictureResult read = ReadWhole(stream, bytes); !read.ok()) {
        return read;
    }
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return LoadFrom(buffer, bytes.size());
}

PictureResult PictureSurface::LoadFrom(QIODevice& device, qint64 size)
{
    QImage decoded;
    PictureKind kind = PictureKind::Unknown;
    PictureResult result = DecodePicture(device, size, decoded, &kind);
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
    const ReplacedFile replaced(path);
    if (QString kept = replaced.WhyKept(); !kept.isEmpty()) {
        return Fail(PictureStatus::CannotWrite, kept);
    }

    // The new file is written beside the old one and takes its place only when complete.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return Fail(PictureStatus::CannotWrite, file.errorString());
    }
    if (QString kept = replaced.PassOnTo(file.handle()); !kept.isEmpty()) {
        file.cancelWriting();
        return Fail(PictureStatus::CannotWrite, kept);
    }
    if (!WriteBitmap(file, image_) || !file.flush()) {
        // QSaveFile does not always carry the system's reason for a failed write.
        const QString systemReason = LastSystemError();
        QString reason = file.errorString();
        if (file.error() == QFileDevice::NoError || reason == QLatin1String("Unknown error")) {
            reason = systemReason;
        }
        file.cancelWriting();
        return Fail(PictureStatus::CannotWrite, reason);
    }
    // commit() syncs the file too, but goes on to replace the old one whatever the sync says; a
    // disk that cannot take the data (full, failing) must leave the old file in place.
    if (!SyncToDisk(file.handle())) {
        const QString reason = LastSystemError();
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

void PictureSurface::ReadPixels(std::int64_t first, std::int64_t count, ColorValue* out) const
{
    CopyRunFromRows(
        first, count, image_.height(), out,
        [this](int y) { return reinterpret_cast<const QRgb*>(image_.constScanLine(y)); },
        [](const QRgb* row, int x) {
            return ComposeColor(qRed(row[x]), qGreen(row[x]), qBlue(row[x]));
        });
}

} // namespace lumenveil
