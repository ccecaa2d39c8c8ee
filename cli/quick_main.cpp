// lumenveil-cli as started from the PATH. Reading a message from a plain 24-bit bitmap takes a
// fraction of a millisecond, while starting a program that links Qt's GUI module takes ten or
// more: this program, without Qt, reads such a bitmap itself when asked `reveal PICTURE`, and
// hands every other command line, unchanged, to the full program installed beside it.
#include "codec/hidden_text.h"
#include "picture/bitmap_file_grid.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include <unistd.h>

namespace {

using namespace lumenveil;

constexpr int ExitNoMessage = 1;
constexpr int ExitFailure = 2;

// How many bytes a UTF-8 sequence that starts with `lead` takes; 0 where none starts so.
int SequenceLength(unsigned char lead)
{
    if (lead < 0x80) {
        return 1;
    }
    if (lead < 0xC2) { // a continuation byte, or the start of an overlong pair
        return 0;
    }
    if (lead < 0xE0) {
        return 2;
    }
    return lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
}

// Whether `bytes` are well-formed UTF-8, the only names the full program takes.
bool IsPlainUtf8(std::string_view bytes)
{
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const int length = SequenceLength(lead);
        if (length == 0 || i + length > bytes.size()) {
            return false;
        }
        char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            cp = cp << 6 | (next & 0x3F);
        }
        // Overlong forms, surrogates and numbers past Unicode's end are not UTF-8.
        const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < least[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += static_cast<std::size_t>(length);
    }
    return true;
}

void Complain(const std::string& message)
{
    std::fprintf(stderr, "lumenveil-cli: %s\n", message.c_str());
}

// The status of `reveal PICTURE` (or `reveal -- PICTURE`) when PICTURE is a plain 24-bit bitmap
// file, printing what the full program would print; nothing for any other command line and
// any other file, which the full program is to handle.
std::optional<int> RevealQuickly(int argc, char* argv[])
{
    const bool plain = argc == 3 && argv[2][0] != '-';
    const bool afterDashes = argc == 4 && std::strcmp(argv[2], "--") == 0 &&
                             std::strcmp(argv[3], "-") != 0;
    if ((!plain && !afterDashes) || std::strcmp(argv[1], "reveal") != 0) {
        return std::nullopt;
    }
    const char* picture = argv[argc - 1];
    if (!IsPlainUtf8(picture)) {
        return std::nullopt;
    }
    const std::optional<ReadOutcome> outcome = ReadTextLazily(picture);
    if (!outcome) {
        return std::nullopt;
    }
    if (outcome->status != ReadStatus::Found) {
        Complain(std::string(picture) + ": " + DescribeReadOutcome(*outcome));
        return ExitNoMessage;
    }
    std::string message = TextToUtf8(outcome->text);
    // On a terminal the prompt is to start a line of its own.
    if (::isatty(STDOUT_FILENO) == 1 && !message.ends_with('\n')) {
        message += '\n';
    }
    errno = 0;
    if (std::fwrite(message.data(), 1, message.size(), stdout) != message.size() ||
        std::fflush(stdout) != 0) {
        Complain(std::string("cannot write to standard output: ") +
                 std::strerror(errno != 0 ? errno : EIO));
        return ExitFailure;
    }
    return 0;
}

// Replaces this process with the full program, which lies at LUMENVEIL_FULL_CLI from this
// program's folder; says why where it cannot.
int RunFullProgram(char* argv[])
{
    // The folder from the system, or where it cannot say (no /proc), from how we were started.
    std::string self(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
    self.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    if (self.empty() && argv[0] != nullptr && std::strchr(argv[0], '/') != nullptr) {
        self = argv[0];
    }
    if (self.empty()) {
        Complain("cannot find the full program: /proc is not mounted");
        return ExitFailure;
    }
    const std::string full = self.substr(0, self.rfind('/') + 1) + LUMENVEIL_FULL_CLI;
    ::execv(full.c_str(), argv);
    Complain("cannot start " + full + ": " + std::strerror(errno));
    return ExitFailure;
}

} // namespace

int main(int argc, char* argv[])
{
    try {
        const std::optional<int> status = argc > 1 ? RevealQuickly(argc, argv) : std::nullopt;
        if (status) {
            return *status;
        }
    } catch (const std::bad_alloc&) {
        // Nothing is printed before the message is whole: the full program starts afresh.
    }
    return RunFullProgram(argv);
}
