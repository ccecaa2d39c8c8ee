#include "picture/bitmap_save.h"

#include <QFileInfo>

#include <cerrno>
#include <system_error>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <io.h>
#include <qt_windows.h>
#endif

namespace lumenveil {

namespace {

PictureResult Fail(PictureStatus status, QString reason = {})
{
    return {status, std::move(reason)};
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

// Why a write to `file` failed: QSaveFile does not always carry the system's reason.
QString WhyWriteFailed(const QSaveFile& file)
{
    const QString systemReason = LastSystemError();
    const QString reason = file.errorString();
    return file.error() == QFileDevice::NoError || reason == QLatin1String("Unknown error")
               ? systemReason
               : reason;
}

} // namespace

// How much the writing thread writes between two syncs, and what may wait for it at most. A
// sync waits for the disk, and a decoder handing over bands of rows goes on meanwhile as long as
// the queue has room: on our test machine 8 MiB held a 100 MP picture up, 16 did not. Rows
// handed over all at once have no decoder to keep going: they wait in a small queue, and only
// the last sync waits for the disk, once, as it would anyway.
constexpr qint64 SyncEveryBytes = qint64{32} << 20;
constexpr qint64 MostQueuedForBands = qint64{16} << 20;
constexpr qint64 MostQueuedForWhole = qint64{2} << 20;

BitmapFileSave::BitmapFileSave(const QString& path) : path_(path), file_(path) {}

BitmapFileSave::~BitmapFileSave()
{
    StopWriting(false);
}

PictureResult BitmapFileSave::Begin(int width, int height)
{
    const QFileInfo target(path_);
    if (target.isDir()) {
        return Fail(PictureStatus::CannotWrite, QStringLiteral("a folder has that name"));
    }
    if (target.exists() && !target.isWritable()) {
        // Replacing a file goes through its folder, so the system would let a read-only file
        // be replaced; the user marked it so to keep it.
        return Fail(PictureStatus::CannotWrite, WhyNotWritable(path_));
    }
    const ReplacedFile replaced(path_);
    if (QString kept = replaced.WhyKept(); !kept.isEmpty()) {
        return Fail(PictureStatus::CannotWrite, kept);
    }
    if (!file_.open(QIODevice::WriteOnly)) {
        return Fail(PictureStatus::CannotWrite, file_.errorString());
    }
    if (QString kept = replaced.PassOnTo(file_.handle()); !kept.isEmpty()) {
        file_.cancelWriting();
        return Fail(PictureStatus::CannotWrite, kept);
    }
    try {
        writing_ = std::thread([this] { WriteQueued(); });
    } catch (const std::system_error& error) {
        file_.cancelWriting();
        return Fail(PictureStatus::CannotWrite,
                    QStringLiteral("no thread could be started to write it (%1)")
                        .arg(QString::fromLocal8Bit(error.what())));
    }
    rows_.emplace(width, height, [this](qint64 offset, std::vector<char>&& bytes) {
        return Queue(offset, std::move(bytes));
    });
    return rows_->WriteHeaders() ? PictureResult{} : WriteFailed();
}

PictureResult BitmapFileSave::WriteRows(const QImage& image, int top, int bottom, int imageTop)
{
    Q_ASSERT(rows_.has_value());
    {
        const std::lock_guard lock(mutex_);
        whole_ = qint64{bottom - top} * image.width() * 3 > MostQueuedForBands;
    }
    return rows_->WriteRows(image, top, bottom, imageTop) ? PictureResult{} : WriteFailed();
}

PictureResult BitmapFileSave::Commit()
{
    StopWriting(true);
    if (!failure_.ok()) {
        return WriteFailed();
    }
    if (!file_.flush()) {
        return WriteFailed();
    }
    // commit() syncs the file too, but goes on to replace the old one whatever the sync says; a
    // disk that cannot take the data (full, failing) must leave the old file in place.
    if (!SyncToDisk(file_.handle())) {
        const QString reason = LastSystemError();
        file_.cancelWriting();
        return Fail(PictureStatus::CannotWrite, reason);
    }
    if (!file_.commit()) {
        return Fail(PictureStatus::CannotWrite, file_.errorString());
    }
    return {};
}

bool BitmapFileSave::Queue(qint64 offset, std::vector<char>&& bytes)
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] {
        return failed_ || queuedBytes_ < (whole_ ? MostQueuedForWhole : MostQueuedForBands);
    });
    if (failed_) {
        return false;
    }
    queuedBytes_ += static_cast<qint64>(bytes.size());
    queued_.push_back({offset, std::move(bytes)});
    changed_.notify_all();
    return true;
}

void BitmapFileSave::WriteQueued()
{
    BitmapDeviceOutput output(file_);
    qint64 unsynced = 0;
    for (;;) {
        Piece piece;
        bool whole = false;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return finishing_ || !queued_.empty(); });
            if (queued_.empty()) {
                return; // finishing, and all is written
            }
            piece = std::move(queued_.front());
            queued_.pop_front();
            whole = whole_;
        }
        const auto size = static_cast<qint64>(piece.bytes.size());
        bool written = output.Put(piece.offset, piece.bytes);
        unsynced += size;
        if (written && !whole && unsynced >= SyncEveryBytes) {
            written = file_.flush() && SyncToDisk(file_.handle());
            unsynced = 0;
        }
        const std::lock_guard lock(mutex_);
        queuedBytes_ -= size;
        if (!written) {
            // The reason now, in this thread, before anything else can change it.
            failure_ = Fail(PictureStatus::CannotWrite, WhyWriteFailed(file_));
            failed_ = true;
            queued_.clear();
            changed_.notify_all();
            return;
        }
        changed_.notify_all();
    }
}

void BitmapFileSave::StopWriting(bool finish)
{
    if (!writing_.joinable()) {
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        finishing_ = true;
        if (!finish) {
            queued_.clear();
        }
        changed_.notify_all();
    }
    writing_.join();
}

PictureResult BitmapFileSave::WriteFailed()
{
    StopWriting(false);
    if (!failure_.ok()) {
        file_.cancelWriting();
        return failure_;
    }
    const QString reason = WhyWriteFailed(file_);
    file_.cancelWriting();
    return Fail(PictureStatus::CannotWrite, reason);
}

} // namespace lumenveil
