#include "cli/cli_commands.h"

#include <cstdio>
#include <string>
#include <vector>

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
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
        arguments.assign(argv, argv + argc);
    } catch (...) {
        std::fputs("lumenveil-cli: not enough memory to go on\n", stderr);
        return lumenveil::cli::ExitFailure;
    }
    return lumenveil::cli::Run(arguments, 0, stdout, stderr);
}
