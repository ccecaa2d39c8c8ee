#pragma once

#include <QByteArray>
#include <QList>

#include <cstdio>

namespace lumenveil::cli {

// Exit statuses of lumenveil-cli.
enum ExitStatus : int
{
    ExitOk = 0,        // done
    ExitNoMessage = 1, // no (complete) message, or a text that does not fit or cannot be stored
    ExitFailure = 2,   // a usage error, or a file that cannot be read or written
};

// Runs lumenveil-cli with `arguments` (the program name first), each exactly the bytes it was
// given; reads a message or a picture from `in` where asked, prints results to `out` and
// complaints to `err`. Returns the exit status.
[[nodiscard]] int Run(const QList<QByteArray>& arguments, std::FILE* in, std::FILE* out,
                      std::FILE* err);

} // namespace lumenveil::cli
