#pragma once

#include "picture/file_system.h"
#include "picture/picture_result.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace lumenveil {

// The bytes of a picture file, as a decoder reads them: where it asks, as often as it asks.
class ByteSource
{
public:
    virtual ~ByteSource() = default;

    // Bytes in all.
    [[nodiscard]] virtual std::int64_t Size() const = 0;

    // Reads up to `bytes` at `offset` into `to`: how many it read (fewer only past the end,
    // none at or beyond it), or -1 when the system could not read them (Error says why).
    [[nodiscard]] virtual std::int64_t ReadAt(std::int64_t offset, void* to,
                                              std::int64_t bytes) = 0;

    // Why the last read failed, UTF-8.
    [[nodiscard]] virtual std::string Error() const { return {}; }

    // The open regular file the bytes come from, for readers that want its descriptor; null
    // for bytes held in memory.
    [[nodiscard]] virtual const ReadFile* File() const { return nullptr; }
};

// Bytes held in memory: a whole file read from a pipe or standard input, or a test's. Kept
// in pieces, so that a stream of unknown length grows without copying what it holds.
class MemorySource final : public ByteSource
{
public:
    MemorySource() = default;
    explicit MemorySource(std::vector<unsigned char> bytes);
    MemorySource(const void* data, std::size_t size);

    // Appends `piece` to the bytes.
    void Append(std::vector<unsigned char> piece);

    [[nodiscard]] std::int64_t Size() const override { return size_; }
    [[nodiscard]] std::int64_t ReadAt(std::int64_t offset, void* to, std::int64_t bytes) override;

private:
    std::vector<std::vector<unsigned char>> pieces_;
    std::vector<std::int64_t> starts_; // where each piece starts
    std::int64_t size_ = 0;
};

// A regular file, read where the decoder asks.
class FileSource final : public ByteSource
{
public:
    explicit FileSource(ReadFile file) : file_(std::move(file)) {}

    [[nodiscard]] std::int64_t Size() const override { return file_.Size(); }
    [[nodiscard]] std::int64_t ReadAt(std::int64_t offset, void* to, std::int64_t bytes) override;
    [[nodiscard]] std::string Error() const override { return error_; }
    [[nodiscard]] const ReadFile* File() const override { return &file_; }

private:
    ReadFile file_;
    std::string error_;
};

// Reads what `file` holds from where it stands to its end into memory: at most `most` bytes,
// and nothing beyond the first bytes of what is no picture at all (an endless device).
// NotReadable, NotAPicture or OutOfMemory with a reason where that fails.
[[nodiscard]] PictureResult ReadWholeStream(const ReadFile& file, std::int64_t most,
                                            std::unique_ptr<ByteSource>& out);

// Opens the picture in `path`: a regular file is read where the decoder asks; anything else (a
// pipe, a device, /dev/stdin) is opened once and read to its end into memory first, at most
// `most` bytes of it.
[[nodiscard]] PictureResult OpenPictureSource(const NativeName& path, std::int64_t most,
                                              std::unique_ptr<ByteSource>& out);

// A sequential reader over a source, for decoders that take their bytes in order (libjpeg,
// libpng, giflib): hands out what it read ahead, piece by piece, so that a decoder that asks
// for a byte or a block of 255 at a time does not cost a system call each.
class SourceReader
{
public:
    explicit SourceReader(ByteSource& source, std::int64_t start = 0)
        : source_(source), position_(start)
    {}

    // Reads up to `bytes` into `to` from where it stands; how many (0 at the end), or -1.
    [[nodiscard]] std::int64_t Read(void* to, std::int64_t bytes);

    // Moves on by `bytes` without reading them.
    void Skip(std::int64_t bytes) { position_ += bytes; }

    [[nodiscard]] std::int64_t Position() const { return position_; }
    [[nodiscard]] ByteSource& Source() { return source_; }

private:
    // Bytes read ahead at a time; a larger read goes straight to the source.
    static constexpr std::int64_t AheadBytes = 64 * 1024;

    ByteSource& source_;
    std::int64_t position_; // where the next byte handed out lies in the source
    std::vector<unsigned char> ahead_;
    std::int64_t aheadStart_ = 0; // where ahead_ begins in the source
};

} // namespace lumenveil
