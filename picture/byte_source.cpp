#include "picture/byte_source.h"

#include "picture/picture_format.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace lumenveil {

namespace {

// What a stream is read in; also the most it is read past what can be a picture.
constexpr std::int64_t StreamPiece = std::int64_t{1} << 20;

} // namespace

MemorySource::MemorySource(std::vector<unsigned char> bytes)
{
    Append(std::move(bytes));
}

MemorySource::MemorySource(const void* data, std::size_t size)
    : MemorySource(std::vector<unsigned char>(static_cast<const unsigned char*>(data),
                                              static_cast<const unsigned char*>(data) + size))
{}

void MemorySource::Append(std::vector<unsigned char> piece)
{
    if (piece.empty()) {
        return;
    }
    starts_.push_back(size_);
    size_ += static_cast<std::int64_t>(piece.size());
    pieces_.push_back(std::move(piece));
}

std::int64_t MemorySource::ReadAt(std::int64_t offset, void* to, std::int64_t bytes)
{
    if (offset < 0 || bytes <= 0 || offset >= size_) {
        return 0;
    }
    const std::int64_t count = std::min(bytes, size_ - offset);
    auto* out = static_cast<unsigned char*>(to);
    auto piece = static_cast<std::size_t>(
        std::upper_bound(starts_.begin(), starts_.end(), offset) - starts_.begin() - 1);
    for (std::int64_t done = 0; done < count; ++piece) {
        const std::vector<unsigned char>& bytesOf = pieces_[piece];
        const std::int64_t from = offset + done - starts_[piece];
        const std::int64_t n =
            std::min(count - done, static_cast<std::int64_t>(bytesOf.size()) - from);
        std::memcpy(out + done, bytesOf.data() + from, static_cast<std::size_t>(n));
        done += n;
    }
    return count;
}

std::int64_t FileSource::ReadAt(std::int64_t offset, void* to, std::int64_t bytes)
{
    if (offset < 0 || bytes <= 0 || offset >= Size()) {
        return 0;
    }
    const std::int64_t got = file_.Read(offset, to, std::min(bytes, Size() - offset));
    if (got < 0) {
        error_ = LastSystemError();
    }
    return got;
}

PictureResult ReadWholeStream(const ReadFile& file, std::int64_t most,
                              std::unique_ptr<ByteSource>& out)
{
    auto source = std::make_unique<MemorySource>();
    std::vector<unsigned char> head; // the first bytes, to tell what kind of file comes
    try {
        for (;;) {
            std::vector<unsigned char> piece(static_cast<std::size_t>(StreamPiece));
            const std::int64_t got = file.Read(-1, piece.data(), StreamPiece);
            if (got < 0) {
                return PictureFailure(PictureStatus::NotReadable, LastSystemError());
            }
            piece.resize(static_cast<std::size_t>(got));
            if (head.size() < SniffBytes) {
                head.insert(head.end(), piece.begin(),
                            piece.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                piece.size(), SniffBytes - head.size())));
                if ((head.size() == SniffBytes || got == 0) &&
                    SniffPictureKind(head.data(), head.size()) == PictureKind::Unknown) {
                    return PictureFailure(PictureStatus::NotAPicture);
                }
            }
            if (got == 0) {
                break;
            }
            source->Append(std::move(piece));
            if (source->Size() > most) {
                return PictureFailure(PictureStatus::NotReadable,
                                      "it goes on past " + GroupedNumber(most >> 20) +
                                          " MiB, more than any picture Lumenveil can work on "
                                          "takes");
            }
        }
    } catch (const std::bad_alloc&) {
        return PictureFailure(PictureStatus::OutOfMemory,
                              "not enough memory to read it whole (" +
                                  GroupedNumber(source->Size() >> 20) + " MiB read)");
    }
    out = std::move(source);
    return {};
}

PictureResult OpenPictureSource(const NativeName& path, std::int64_t most,
                                std::unique_ptr<ByteSource>& out)
{
    ReadFile file;
    if (PictureResult opened = file.Open(path); !opened.ok()) {
        return opened;
    }
    if (!file.IsRegular()) {
        return ReadWholeStream(file, most, out);
    }
    out = std::make_unique<FileSource>(std::move(file));
    return {};
}

std::int64_t SourceReader::Read(void* to, std::int64_t bytes)
{
    auto* out = static_cast<unsigned char*>(to);
    std::int64_t done = 0;
    while (done < bytes) {
        const std::int64_t aheadEnd = aheadStart_ + static_cast<std::int64_t>(ahead_.size());
        if (position_ >= aheadStart_ && position_ < aheadEnd) {
            const std::int64_t piece = std::min(bytes - done, aheadEnd - position_);
            std::memcpy(out + done, ahead_.data() + (position_ - aheadStart_),
                        static_cast<std::size_t>(piece));
            done += piece;
            position_ += piece;
            continue;
        }
        if (bytes - done >= AheadBytes) { // large enough to go without a copy
            const std::int64_t got = source_.ReadAt(position_, out + done, bytes - done);
            if (got < 0) {
                return done > 0 ? done : -1;
            }
            position_ += got;
            return done + got;
        }
        ahead_.resize(static_cast<std::size_t>(AheadBytes));
        const std::int64_t got = source_.ReadAt(position_, ahead_.data(), AheadBytes);
        ahead_.resize(static_cast<std::size_t>(std::max<std::int64_t>(got, 0)));
        aheadStart_ = position_;
        if (got <= 0) {
            return done > 0 ? done : got;
        }
    }
    return done;
}

} // namespace lumenveil
