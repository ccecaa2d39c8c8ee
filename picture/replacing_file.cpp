#include "picture/replacing_file.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <random>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace lumenveil {

namespace {

#ifdef _WIN32
constexpr wchar_t Separator = L'\\';
#else
constexpr char Separator = '/';
#endif

using NativeChar = NativeName::value_type;

NativeName Native(std::string_view ascii) { return NativeName(ascii.begin(), ascii.end()); }

// The longest file name most file systems take.
constexpr std::size_t NameMax = 255;

// A short fingerprint of `name`, for a temporary name where the name itself is too long.
std::string Fingerprint(const NativeName& name)
{
    std::uint64_t hash = 14695981039346656037ULL; // FNV-1a
    for (const NativeChar c : name) {
        hash = (hash ^ static_cast<std::uint64_t>(c)) * 1099511628211ULL;
    }
    static constexpr char Digits[] = "0123456789abcdef";
    std::string text;
    for (int i = 0; i < 16; ++i, hash >>= 4) {
        text += Digits[hash & 15];
    }
    return text;
}

std::string RandomSuffix()
{
    static std::atomic<unsigned> counter{0};
    std::seed_seq seed{static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()),
                       counter.fetch_add(1), static_cast<unsigned>(std::random_device{}())};
    std::mt19937 generator(seed);
    static constexpr char Letters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string suffix;
    for (int i = 0; i < TemporarySuffixLength; ++i) {
        suffix += Letters[generator() % (sizeof Letters - 1)];
    }
    return suffix;
}

// `path` split at its last separator.
void Split(const NativeName& path, NativeName& folder, NativeName& name)
{
    std::size_t at = path.find_last_of(Native("/"));
#ifdef _WIN32
    const std::size_t back = path.find_last_of(L'\\');
    if (back != NativeName::npos && (at == NativeName::npos || back > at)) {
        at = back;
    }
#endif
    if (at == NativeName::npos) {
        folder = Native(".");
        name = path;
    } else {
        folder = at == 0 ? path.substr(0, 1) : path.substr(0, at);
        name = path.substr(at + 1);
    }
}

#ifndef _WIN32

// Temporary names the signal handler removes: written before the handler can see them, read
// by it with nothing but async-signal-safe calls.
constexpr int Slots = 8;
std::array<std::array<char, PATH_MAX>, Slots> temporaryNames{};
enum SlotState : int { Free, Taken, Named }; // Named: the handler may read the name
std::array<std::atomic<int>, Slots> slotState{};
constexpr std::array<int, 3> StopSignals = {SIGINT, SIGTERM, SIGHUP};

extern "C" void RemoveTemporariesAndStop(int signal)
{
    for (int i = 0; i < Slots; ++i) {
        if (slotState[i].load() == Named) {
            (void)::unlink(temporaryNames[i].data());
        }
    }
    // Then the end the signal would have brought without us.
    struct sigaction plain {};
    plain.sa_handler = SIG_DFL;
    ::sigemptyset(&plain.sa_mask);
    ::sigaction(signal, &plain, nullptr);
    ::raise(signal);
}

// Has a stop signal remove the new files first, where nothing else handles it: a program
// that ignores SIGHUP (under nohup) goes on ignoring it, one with a handler of its own keeps it.
void HandleStopSignals()
{
    static const bool installed = [] {
        for (const int signal : StopSignals) {
            struct sigaction current {};
            if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_DFL &&
                (current.sa_flags & SA_SIGINFO) == 0) {
                struct sigaction ours {};
                ours.sa_handler = RemoveTemporariesAndStop;
                ::sigemptyset(&ours.sa_mask);
                for (const int other : StopSignals) {
                    ::sigaddset(&ours.sa_mask, other);
                }
                ::sigaction(signal, &ours, nullptr);
            }
        }
        return true;
    }();
    (void)installed;
}

int TakeSlot(const NativeName& name)
{
    if (name.size() >= PATH_MAX) {
        return -1;
    }
    for (int i = 0; i < Slots; ++i) {
        // Taken first, so that no other save writes the same name; named once it is whole.
        int expected = Free;
        if (slotState[i].compare_exchange_strong(expected, Taken)) {
            std::memcpy(temporaryNames[i].data(), name.c_str(), name.size() + 1);
            slotState[i].store(Named);
            return i;
        }
    }
    return -1;
}

void FreeSlot(int slot)
{
    if (slot >= 0) {
        slotState[slot].store(Free);
    }
}

// Removes the temporary files of earlier saves of the same file that died before their
// rename: names of ours that no live save holds locked.
void RemoveStaleTemporaries(const NativeName& folder, const NativeName& prefix)
{
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr) {
        return;
    }
    const int folderFd = ::dirfd(listing);
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view name = entry->d_name;
        if (name.size() != prefix.size() + TemporarySuffixLength || !name.starts_with(prefix)) {
            continue;
        }
        const int fd = ::openat(folderFd, entry->d_name,
                                O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) {
            continue;
        }
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            (void)::unlinkat(folderFd, entry->d_name, 0);
        }
        ::close(fd);
    }
    ::closedir(listing);
}

// Why the existing file `info` must stay, or nothing. Only a regular file is replaced: a pipe,
// a device or a socket would become a plain file behind the back of whatever uses it. A file
// without any write bit was marked by its owner to be kept, and is, even from root, whom the
// system lets in.
std::string WhyKept(const struct stat& info)
{
    if (S_ISFIFO(info.st_mode)) {
        return "it is a named pipe (FIFO), not a file";
    }
    if (S_ISSOCK(info.st_mode)) {
        return "it is a socket, not a file";
    }
    if (!S_ISREG(info.st_mode)) {
        return "it is a device, not a file";
    }
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        return "the file is read-only";
    }
    return {};
}

// Gives the new file `fd` the owner, group and mode of `old`; the system's reason when it
// cannot, and then the old file must stay. Only what differs is changed, so that a disk
// without owners (FAT) still takes the file; a change of owner clears the set-id bits, so the
// mode follows it.
std::string PassOn(const struct stat& old, int fd)
{
    struct stat made {};
    if (::fstat(fd, &made) != 0) {
        return {};
    }
    const bool owner = made.st_uid != old.st_uid || made.st_gid != old.st_gid;
    const mode_t mode = old.st_mode & 07777;
    if ((owner && ::fchown(fd, old.st_uid, old.st_gid) != 0) ||
        ((owner || (made.st_mode & 07777) != mode) && ::fchmod(fd, mode) != 0)) {
        return "the new file cannot keep the owner and mode of the old one: " + LastSystemError();
    }
    return {};
}

#endif

} // namespace

NativeName TemporaryPrefix(const NativeName& name)
{
    NativeName prefix = name + Native(".lumenveil-");
    if (prefix.size() + TemporarySuffixLength > NameMax) {
        prefix = Native(".lumenveil-" + Fingerprint(name) + "-");
    }
    return prefix;
}

ReplacingFile::ReplacingFile(NativeName path) : path_(std::move(path)) {}

ReplacingFile::~ReplacingFile() { Remove(); }

#ifndef _WIN32

PictureResult ReplacingFile::Create()
{
    const auto fail = [](std::string reason) {
        return PictureFailure(PictureStatus::CannotWrite, std::move(reason));
    };
    // A link is followed: the file it names is the one replaced, and the link stays.
    struct stat link {};
    if (::lstat(path_.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        if (char* target = ::realpath(path_.c_str(), nullptr)) {
            path_ = target;
            std::free(target);
        }
    }
    struct stat old {};
    const bool exists = ::stat(path_.c_str(), &old) == 0;
    if (exists) {
        if (S_ISDIR(old.st_mode)) {
            return fail("a folder has that name");
        }
        // Replacing a file goes through its folder, so the system would let a read-only file
        // be replaced; the user marked it so to keep it.
        if (::access(path_.c_str(), W_OK) != 0) {
            return fail(LastSystemError());
        }
        if (std::string kept = WhyKept(old); !kept.empty()) {
            return fail(kept);
        }
    }
    NativeName name;
    Split(path_, folder_, name);
    const NativeName prefix = TemporaryPrefix(name);
    RemoveStaleTemporaries(folder_, prefix);
    HandleStopSignals();

    for (int attempt = 0; fd_ < 0; ++attempt) {
        temporary_ = folder_ + Separator + prefix + RandomSuffix();
        // Blocked, so that a signal cannot come between the file's making and its slot.
        sigset_t stops;
        sigset_t before;
        ::sigemptyset(&stops);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
            ::sigaddset(&stops, signal);
        }
        ::pthread_sigmask(SIG_BLOCK, &stops, &before);
        fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        const int error = errno;
        if (fd_ >= 0) {
            slot_ = TakeSlot(temporary_);
        }
        ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
        if (fd_ < 0 && (error != EEXIST || attempt == 100)) {
            temporary_.clear();
            return fail(SystemErrorText(error));
        }
    }
    // Held as long as the save lives: the mark of a temporary file that is not stale.
    (void)::flock(fd_, LOCK_EX | LOCK_NB);
    if (exists) {
        if (std::string kept = PassOn(old, fd_); !kept.empty()) {
            Remove();
            return fail(kept);
        }
    }
    return {};
}

bool ReplacingFile::WriteAt(std::int64_t offset, const char* bytes, std::int64_t size)
{
    while (size > 0) {
        const ssize_t written = ::pwrite(fd_, bytes, static_cast<std::size_t>(size), offset);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            error_ = written == 0 ? SystemErrorText(ENOSPC) : LastSystemError();
            return false;
        }
        bytes += written;
        offset += written;
        size -= written;
    }
    return true;
}

void ReplacingFile::HandToDisk(std::int64_t from, std::int64_t to)
{
#ifdef __linux__
    (void)::sync_file_range(fd_, from, to - from, SYNC_FILE_RANGE_WRITE);
#else
    (void)from;
    (void)to;
#endif
}

bool ReplacingFile::Sync()
{
#ifdef __linux__
    const int synced = ::fdatasync(fd_);
#else
    const int synced = ::fsync(fd_);
#endif
    if (synced != 0) {
        error_ = LastSystemError();
        return false;
    }
    return true;
}

PictureResult ReplacingFile::Commit()
{
    // A disk that cannot take the data (full, failing) leaves the old file in place.
    if (!Sync()) {
        Remove();
        return PictureFailure(PictureStatus::CannotWrite, error_);
    }
    if (::close(fd_) != 0) {
        fd_ = -1;
        error_ = LastSystemError();
        Remove();
        return PictureFailure(PictureStatus::CannotWrite, error_);
    }
    fd_ = -1;
    if (::rename(temporary_.c_str(), path_.c_str()) != 0) {
        error_ = LastSystemError();
        Remove();
        return PictureFailure(PictureStatus::CannotWrite, error_);
    }
    FreeSlot(slot_);
    slot_ = -1;
    temporary_.clear();
    // The new name lies in the folder: only its sync makes the rename survive a power cut.
    // The file is in place by now whatever the sync says, so it can only be tried.
    if (const int folder = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        folder >= 0) {
        (void)::fsync(folder);
        ::close(folder);
    }
    return {};
}

void ReplacingFile::Remove()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        (void)::unlink(temporary_.c_str());
        temporary_.clear();
    }
    FreeSlot(slot_);
    slot_ = -1;
}

#else // Windows

namespace {

PictureResult Fail(std::string reason)
{
    return PictureFailure(PictureStatus::CannotWrite, std::move(reason));
}

// Removes the temporary files of earlier saves that died before their rename; a live save
// holds its file open without sharing its deletion, so only dead ones go.
void RemoveStaleTemporaries(const NativeName& folder, const NativeName& prefix)
{
    WIN32_FIND_DATAW found{};
    const NativeName pattern = folder + L'\\' + prefix + L'*';
    HANDLE search = ::FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const std::wstring_view name = found.cFileName;
        if (name.size() == prefix.size() + TemporarySuffixLength &&
            (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            (void)::DeleteFileW((folder + L'\\' + NativeName(name)).c_str());
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

} // namespace

PictureResult ReplacingFile::Create()
{
    const DWORD attributes = ::GetFileAttributesW(path_.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return Fail("a folder has that name");
    }
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return Fail("the file is read-only");
    }
    if (exists) {
        HANDLE probe = ::CreateFileW(path_.c_str(), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe == INVALID_HANDLE_VALUE) {
            return Fail(LastSystemError());
        }
        const DWORD type = ::GetFileType(probe);
        ::CloseHandle(probe);
        if (type != FILE_TYPE_DISK) {
            return Fail("it is a device, not a file");
        }
    }
    NativeName name;
    Split(path_, folder_, name);
    const NativeName prefix = TemporaryPrefix(name);
    RemoveStaleTemporaries(folder_, prefix);
    for (int attempt = 0; handle_ == nullptr; ++attempt) {
        const std::string suffix = RandomSuffix();
        temporary_ = folder_ + L'\\' + prefix + NativeName(suffix.begin(), suffix.end());
        HANDLE file = ::CreateFileW(temporary_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            handle_ = file;
        } else if (::GetLastError() != ERROR_FILE_EXISTS || attempt == 100) {
            temporary_.clear();
            return Fail(LastSystemError());
        }
    }
    return {};
}

bool ReplacingFile::WriteAt(std::int64_t offset, const char* bytes, std::int64_t size)
{
    while (size > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD written = 0;
        const auto most = static_cast<DWORD>(std::min<std::int64_t>(size, 1 << 30));
        if (!::WriteFile(static_cast<HANDLE>(handle_), bytes, most, &written, &at) ||
            written == 0) {
            error_ = LastSystemError();
            return false;
        }
        bytes += written;
        offset += written;
        size -= written;
    }
    return true;
}

void ReplacingFile::HandToDisk(std::int64_t, std::int64_t) {}

bool ReplacingFile::Sync()
{
    if (!::FlushFileBuffers(static_cast<HANDLE>(handle_))) {
        error_ = LastSystemError();
        return false;
    }
    return true;
}

PictureResult ReplacingFile::Commit()
{
    if (!Sync()) {
        Remove();
        return Fail(error_);
    }
    ::CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
    if (!::MoveFileExW(temporary_.c_str(), path_.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error_ = LastSystemError();
        Remove();
        return Fail(error_);
    }
    temporary_.clear();
    return {};
}

void ReplacingFile::Remove()
{
    if (handle_ != nullptr) {
        ::CloseHandle(static_cast<HANDLE>(handle_));
        handle_ = nullptr;
    }
    if (!temporary_.empty()) {
        (void)::DeleteFileW(temporary_.c_str());
        temporary_.clear();
    }
}

#endif

} // namespace lumenveil
