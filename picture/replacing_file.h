#pragma once

#include "picture/file_system.h"
#include "picture/picture_result.h"

#include <cstdint>
#include <string>

namespace lumenveil {

// A new file that takes the place of `path` only once it is complete and on the disk. It is
// written under a temporary name beside the file it replaces, named after it, and held locked
// while it is written; where a save dies before the rename (killed outright, the power cut),
// the next save of the same file recognises that name, finds it unlocked and removes it. A
// save stopped by SIGINT, SIGTERM or SIGHUP removes its new file before the program ends.
class ReplacingFile
{
public:
    explicit ReplacingFile(NativeName path);
    // Removes the new file unless Commit put it in place.
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Checks that the file may be replaced (a folder, a pipe, a device or a read-only file may
    // not) and creates the new one, with the old one's owner, group and mode.
    [[nodiscard]] PictureResult Create();
    // Writes `bytes` at `offset`; false with the reason in Error().
    [[nodiscard]] bool WriteAt(std::int64_t offset, const char* bytes, std::int64_t size);
    // Hands bytes from .. to - 1 to the disk without waiting for them, so that the sync at the
    // end has little left to do.
    void HandToDisk(std::int64_t from, std::int64_t to);
    // Waits until what was written lies on the disk; false with the reason in Error().
    [[nodiscard]] bool Sync();
    // Syncs the new file, puts it in place of the old one and syncs the folder, so that the
    // new name survives a power cut.
    [[nodiscard]] PictureResult Commit();
    // Why the last call failed, UTF-8.
    [[nodiscard]] const std::string& Error() const { return error_; }

private:
    void Remove();

    NativeName path_;   // the file replaced, links followed
    NativeName folder_; // where it lies
    NativeName temporary_;
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
    int slot_ = -1; // where the signal handler finds the temporary name
#endif
    std::string error_;
};

// The name prefix of the temporary files that saves of `name` (a file name without its folder)
// write; a random part of TemporarySuffixLength characters follows it.
[[nodiscard]] NativeName TemporaryPrefix(const NativeName& name);
inline constexpr int TemporarySuffixLength = 6;

} // namespace lumenveil
