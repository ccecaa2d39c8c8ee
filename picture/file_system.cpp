#include "picture/file_system.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace lumenveil {

namespace {

// Drops what ends a system message: a full stop, spaces, a line break.
std::string Trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '.' || text.back() == ' ' || text.back() == '\r' ||
                             text.back() == '\n')) {
        text.pop_back();
    }
    return text;
}

} // namespace

#ifdef _WIN32
std::string Utf8FromWide(std::wstring_view wide)
{
    if (wide.empty()) {
        return {};
    }
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                             nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(std::max(length, 0)), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(),
                          length, nullptr, nullptr);
    return utf8;
}

std::string WindowsErrorText(unsigned long code)
{
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string reason = Trimmed(Utf8FromWide(std::wstring_view(text, length)));
    ::LocalFree(text);
    return reason.empty() ? "system error " + std::to_string(code) : reason;
}
#endif

NativeName NativeNameFromUtf8(std::string_view utf8)
{
#ifdef _WIN32
    if (utf8.empty()) {
        return {};
    }
    const int length =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(length, 0)), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                          length);
    return wide;
#else
    return NativeName(utf8);
#endif
}

std::string DisplayName(const NativeName& name)
{
#ifdef _WIN32
    return DisplayName(Utf8FromWide(name));
#else
    return name;
#endif
}

std::string DisplayName(std::string_view utf8Name)
{
    std::string name(utf8Name);
#ifdef _WIN32
    std::replace(name.begin(), name.end(), '/', '\\');
#endif
    return name;
}

std::string SystemErrorText(int code)
{
    return Trimmed(std::generic_category().message(code));
}

std::string LastSystemError()
{
#ifdef _WIN32
    return WindowsErrorText(::GetLastError());
#else
    return SystemErrorText(errno);
#endif
}

ReadFile::~ReadFile()
{
    Close();
}

ReadFile::ReadFile(ReadFile&& other) noexcept
    : fd_(other.fd_), owned_(other.owned_), regular_(other.regular_), size_(other.size_)
{
    other.fd_ = -1;
    other.owned_ = false;
}

ReadFile& ReadFile::operator=(ReadFile&& other) noexcept
{
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        owned_ = other.owned_;
        regular_ = other.regular_;
        size_ = other.size_;
        other.fd_ = -1;
        other.owned_ = false;
    }
    return *this;
}

void ReadFile::Close()
{
    if (fd_ >= 0 && owned_) {
#ifdef _WIN32
        ::_close(fd_);
#else
        ::close(fd_);
#endif
    }
    fd_ = -1;
    owned_ = false;
}

#ifdef _WIN32

PictureResult ReadFile::Open(const NativeName& path)
{
    Close();
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return PictureFailure(PictureStatus::NotFound);
        }
        // A device such as CON has no attributes; it may still open.
    } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return PictureFailure(PictureStatus::NotReadable, "it is a folder");
    }
    const HANDLE handle =
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return PictureFailure(PictureStatus::NotFound);
        }
        return PictureFailure(PictureStatus::NotReadable, WindowsErrorText(error));
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(handle);
        return PictureFailure(PictureStatus::NotReadable, SystemErrorText(EMFILE));
    }
    fd_ = fd;
    owned_ = true;
    regular_ = ::GetFileType(handle) == FILE_TYPE_DISK;
    LARGE_INTEGER size{};
    size_ = regular_ && ::GetFileSizeEx(handle, &size) ? size.QuadPart : -1;
    return {};
}

void ReadFile::Borrow(int fd)
{
    Close();
    fd_ = fd;
    owned_ = false;
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    regular_ = handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) == FILE_TYPE_DISK;
    LARGE_INTEGER size{};
    size_ = regular_ && ::GetFileSizeEx(handle, &size) ? size.QuadPart : -1;
}

std::int64_t ReadFile::Read(std::int64_t offset, void* to, std::int64_t bytes) const
{
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd_));
    std::int64_t total = 0;
    auto* out = static_cast<char*>(to);
    while (total < bytes) {
        const auto wanted = static_cast<DWORD>(std::min<std::int64_t>(bytes - total, 1 << 30));
        DWORD got = 0;
        BOOL read = FALSE;
        if (regular_ && offset >= 0) {
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset + total));
            at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset + total) >> 32);
            read = ::ReadFile(handle, out + total, wanted, &got, &at);
        } else {
            read = ::ReadFile(handle, out + total, wanted, &got, nullptr);
        }
        if (!read) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_HANDLE_EOF || error == ERROR_BROKEN_PIPE) {
                break; // the end of a file, or a pipe whose writer is done
            }
            return -1;
        }
        if (got == 0) {
            break;
        }
        total += got;
    }
    return total;
}

#else

PictureResult ReadFile::Open(const NativeName& path)
{
    Close();
    // Blocking: a named pipe is opened once, waiting for its writer if need be.
    int fd = -1;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return errno == ENOENT ? PictureFailure(PictureStatus::NotFound)
                               : PictureFailure(PictureStatus::NotReadable, LastSystemError());
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        const std::string reason = LastSystemError();
        ::close(fd);
        return PictureFailure(PictureStatus::NotReadable, reason);
    }
    if (S_ISDIR(status.st_mode)) {
        ::close(fd);
        return PictureFailure(PictureStatus::NotReadable, "it is a folder");
    }
    fd_ = fd;
    owned_ = true;
    regular_ = S_ISREG(status.st_mode);
    size_ = regular_ ? status.st_size : -1;
    return {};
}

void ReadFile::Borrow(int fd)
{
    Close();
    fd_ = fd;
    owned_ = false;
    struct stat status {};
    regular_ = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    size_ = regular_ ? status.st_size : -1;
}

std::int64_t ReadFile::Read(std::int64_t offset, void* to, std::int64_t bytes) const
{
    std::int64_t total = 0;
    auto* out = static_cast<char*>(to);
    while (total < bytes) {
        const auto wanted = static_cast<std::size_t>(std::min<std::int64_t>(bytes - total, 1 << 30));
        const ssize_t got = regular_ && offset >= 0
                                ? ::pread(fd_, out + total, wanted, offset + total)
                                : ::read(fd_, out + total, wanted);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return -1;
        }
        if (got == 0) {
            break;
        }
        total += got;
    }
    return total;
}

#endif

} // namespace lumenveil
