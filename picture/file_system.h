#pragma once

// The few file-system calls the picture core makes, on POSIX and on Windows.

#include "picture/picture_result.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace lumenveil {

// A file name as the system takes it: bytes, or on Windows UTF-16.
#ifdef _WIN32
using NativeName = std::wstring;
#else
using NativeName = std::string;
#endif

// The system's file name for a UTF-8 one: on POSIX the same bytes, on Windows UTF-16.
[[nodiscard]] NativeName NativeNameFromUtf8(std::string_view utf8);

// A file name as messages show it, UTF-8, with the system's separators ("\" on Windows).
[[nodiscard]] std::string DisplayName(const NativeName& name);
[[nodiscard]] std::string DisplayName(std::string_view utf8Name);

// The C library's words for errno value `code`, with no full stop at the end.
[[nodiscard]] std::string SystemErrorText(int code);

#ifdef _WIN32
// UTF-16 as Windows gives it, in UTF-8 (a lone surrogate becomes U+FFFD).
[[nodiscard]] std::string Utf8FromWide(std::wstring_view wide);

// Windows' words for GetLastError value `code`, UTF-8, with no full stop or line break at the
// end ("The system cannot find the path specified").
[[nodiscard]] std::string WindowsErrorText(unsigned long code);
#endif

// The system's words for the last failed system call of this thread: errno, or on Windows
// GetLastError(). (On Windows, what the C library sets, errno, goes to SystemErrorText.)
[[nodiscard]] std::string LastSystemError();

// An open file, closed when it goes. Read only.
class ReadFile
{
public:
    ReadFile() = default;
    ~ReadFile();
    ReadFile(ReadFile&& other) noexcept;
    ReadFile& operator=(ReadFile&& other) noexcept;
    ReadFile(const ReadFile&) = delete;
    ReadFile& operator=(const ReadFile&) = delete;

    // Opens `path` for reading, once: a named pipe is never opened twice, since its writer
    // would take the first close for the end. NotFound, or NotReadable with the system's
    // reason (a folder says "it is a folder").
    [[nodiscard]] PictureResult Open(const NativeName& path);

    // Takes descriptor `fd` (standard input), which stays open when this goes.
    void Borrow(int fd);

    [[nodiscard]] bool IsOpen() const { return fd_ >= 0; }
    [[nodiscard]] int Descriptor() const { return fd_; }

    // Whether it is a regular file, whose bytes can be read anywhere and more than once.
    [[nodiscard]] bool IsRegular() const { return regular_; }

    // Its size in bytes; -1 where it has none (a pipe).
    [[nodiscard]] std::int64_t Size() const { return size_; }

    // Reads up to `bytes` at `offset` of a regular file, or the next ones of any other or
    // where `offset` is -1 (from where the file stands, as standard input); how many it read (fewer only at the end), or -1 with the reason in LastSystemError().
    [[nodiscard]] std::int64_t Read(std::int64_t offset, void* to, std::int64_t bytes) const;

private:
    void Close();

    int fd_ = -1;
    bool owned_ = false;
    bool regular_ = false;
    std::int64_t size_ = -1;
};

} // namespace lumenveil
