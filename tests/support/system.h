#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace lumenveil::test {

// How a program run to its end went; status -1 when it crashed, hung or never started.
struct Finished
{
    int status = -1;
    QString out;
    QString err;
};

// Runs lumenveil-cli (which the test registration names in LUMENVEIL_CLI) in `folder` with
// `input` on its standard input, waiting at most two minutes; with `memoryKiB`, its address
// space is limited to that many KiB, as `ulimit -v` does.
[[nodiscard]] Finished RunCli(const QStringList& arguments, const QString& folder,
                              const QByteArray& input = {}, qint64 memoryKiB = 0);

// A small tmpfs mounted for the life of the object, for failing-disk tests. Needs root and a
// mount command; `error()` says why it could not be had, and the test skips with that reason.
class ScratchMount
{
public:
    ScratchMount();
    ~ScratchMount();

    [[nodiscard]] QString error() const { return error_; } // empty once mounted
    [[nodiscard]] QString path() const { return dir_.path(); }

    // Breaks the disk for the file `name`: "full" (4 KiB left), "read-only" (the whole mount)
    // or "locked" (that file alone, a read-only mount of its own: not even root replaces it).
    [[nodiscard]] bool breakFor(const QString& how, const QString& name);

private:
    QTemporaryDir dir_;
    QString error_;
};

} // namespace lumenveil::test
