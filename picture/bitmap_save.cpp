#include "picture/bitmap_save.h"

#include <cassert>
#include <system_error>

namespace lumenveil {

namespace {

PictureResult Fail(std::string reason)
{
    return PictureFailure(PictureStatus::CannotWrite, std::move(reason));
}

// Hands written bytes to the disk every few MiB as they come, pieces that follow one another
// on the disk, in either direction, together.
class DiskHandover
{
public:
    explicit DiskHandover(ReplacingFile& file) : file_(file) {}

    void Written(std::int64_t from, std::int64_t to)
    {
        if (to_ == from && to_ > from_) {
            to_ = to;
        } else if (from_ == to && to_ > from_) {
            from_ = from;
        } else {
            Hand();
            from_ = from;
            to_ = to;
        }
        constexpr std::int64_t Step = std::int64_t{2} << 20;
        if (to_ - from_ >= Step) {
            Hand();
        }
    }

private:
    void Hand()
    {
        if (to_ > from_) {
            file_.HandToDisk(from_, to_);
        }
        from_ = to_ = 0;
    }

    ReplacingFile& file_;
    std::int64_t from_ = 0;
    std::int64_t to_ = 0;
};

} // namespace

// How much the writing thread writes between two syncs, and what may wait for it at most. A
// sync waits for the disk, and a decoder handing over bands of rows goes on meanwhile as long as
// the queue has room: on our test machine 8 MiB held a 100 MP picture up, 16 did not. Rows
// handed over all at once have no decoder to keep going: they wait in a small queue, and only
// the last sync waits for the disk, once, as it would anyway.
constexpr std::int64_t SyncEveryBytes = std::int64_t{32} << 20;
constexpr std::int64_t MostQueuedForBands = std::int64_t{16} << 20;
constexpr std::int64_t MostQueuedForWhole = std::int64_t{2} << 20;

BitmapFileSave::BitmapFileSave(const NativeName& path) : file_(path) {}

BitmapFileSave::~BitmapFileSave() { StopWriting(false); }

PictureResult BitmapFileSave::Begin(int width, int height)
{
    if (PictureResult created = file_.Create(); !created.ok()) {
        return created;
    }
    try {
        writing_ = std::thread([this] { WriteQueued(); });
    } catch (const std::system_error& error) {
        return Fail(std::string("no thread could be started to write it (") + error.what() + ")");
    }
    rows_.emplace(width, height, [this](std::int64_t offset, std::vector<char>&& bytes) {
        return Queue(offset, std::move(bytes));
    });
    return rows_->WriteHeaders() ? PictureResult{} : WriteFailed();
}

PictureResult BitmapFileSave::WriteRows(const RowBand& band)
{
    assert(rows_.has_value());
    {
        const std::lock_guard lock(mutex_);
        whole_ = std::int64_t{band.Rows()} * band.width * 3 > MostQueuedForBands;
    }
    return rows_->WriteRows(band) ? PictureResult{} : WriteFailed();
}

PictureResult BitmapFileSave::Commit()
{
    StopWriting(true);
    if (!failure_.ok()) {
        return failure_;
    }
    return file_.Commit();
}

bool BitmapFileSave::Queue(std::int64_t offset, std::vector<char>&& bytes)
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] {
        return failed_ || queuedBytes_ < (whole_ ? MostQueuedForWhole : MostQueuedForBands);
    });
    if (failed_) {
        return false;
    }
    queuedBytes_ += static_cast<std::int64_t>(bytes.size());
    queued_.push_back({offset, std::move(bytes)});
    changed_.notify_all();
    return true;
}

void BitmapFileSave::WriteQueued()
{
    DiskHandover handover(file_);
    std::int64_t unsynced = 0;
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
        const auto size = static_cast<std::int64_t>(piece.bytes.size());
        bool written = file_.WriteAt(piece.offset, piece.bytes.data(), size);
        if (written) {
            handover.Written(piece.offset, piece.offset + size);
        }
        unsynced += size;
        if (written && !whole && unsynced >= SyncEveryBytes) {
            written = file_.Sync();
            unsynced = 0;
        }
        const std::lock_guard lock(mutex_);
        queuedBytes_ -= size;
        if (!written) {
            failure_ = Fail(file_.Error());
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
        return failure_;
    }
    if (rows_.has_value() && rows_->OutOfMemory()) {
        return Fail("there is not enough memory to write it");
    }
    return Fail(file_.Error());
}

} // namespace lumenveil
