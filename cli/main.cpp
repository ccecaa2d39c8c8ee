#include "cli/cli_commands.h"
#include "picture/file_system.h"

#include <cstdio>
#include <string>
#include <vector>

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#include <shellapi.h>
#else
#include <unistd.h>
#endif

namespace {

// A program started with standard input, output or error closed would hand that number to
// the first file it opens, and print into the picture it reads. Each closed one is given
// /dev/null the wrong way round: writing to a closed output, or reading a closed input, then
// fails as it should, with a reason.
void HoldClosedStandardDescriptors()
{
#ifndef _WIN32
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1) {
            const int held = ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
            if (held >= 0 && held != fd) { // lower ones are open by now
                ::dup2(held, fd);
                ::close(held);
            }
        }
    }
#endif
}

} // namespace

int main(int argc, char* argv[])
{
    HoldClosedStandardDescriptors();
#ifdef _WIN32
    // Messages and bitmaps pass through standard input and output byte for byte: no CR LF
    // translation, and Ctrl+Z is not the end of the input.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::vector<std::string> arguments;
    try {
#ifdef _WIN32
        // argv is in the ANSI code page, which cannot hold most of what a user types or names:
        // the arguments come from the wide command line instead, in UTF-8 as everywhere else.
        static_cast<void>(argc);
        static_cast<void>(argv);
        int count = 0;
        wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
        if (wide == nullptr) {
            throw std::bad_alloc();
        }
        for (int i = 0; i < count; ++i) {
            arguments.push_back(lumenveil::Utf8FromWide(wide[i]));
        }
        ::LocalFree(wide);
#else
        arguments.assign(argv, argv + argc);
#endif
    } catch (...) {
        std::fputs("lumenveil-cli: not enough memory to go on\n", stderr);
        return lumenveil::cli::ExitFailure;
    }
    return lumenveil::cli::Run(arguments, 0, stdout, stderr);
}
