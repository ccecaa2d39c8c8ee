#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace lumenveil::cli {

// Exit statuses of lumenveil-cli.
enum ExitStatus : int
{
    ExitOk = 0,        // done
    ExitNoMessage = 1, // no (complete) message, or a text that does not fit or cannot be stored
    ExitFailure = 2,   // a usage error, a file that cannot be read or written, no memory
};

// Runs lumenveil-cli with `arguments` (the program name first), each exactly the bytes it was
// given, UTF-8; reads a message or a picture from descriptor `in` where asked, prints results
// to `out` and complaints to `err`. Returns the exit status.
[[nodiscard]] int Run(const std::vector<std::string>& arguments, int in, std::FILE* out,
                      std::FILE* err);

} // namespace lumenveil::cli
