#include "support/system.h"

#include <QProcess>
#include <QStorageInfo>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace lumenveil::test {

namespace {

// Runs `program` in `folder` with `input` on its standard input, waiting at most two minutes.
Finished RunProgram(const QString& program, const QStringList& arguments,
                    const QString& folder = {}, const QByteArray& input = {},
                    qint64 memoryKiB = 0)
{
    QProcess process;
    process.setWorkingDirectory(folder);
#ifdef Q_OS_UNIX
    if (memoryKiB > 0) {
        process.setChildProcessModifier([memoryKiB] {
            const rlimit limit{static_cast<rlim_t>(memoryKiB) * 1024,
                               static_cast<rlim_t>(memoryKiB) * 1024};
            ::setrlimit(RLIMIT_AS, &limit);
        });
    }
#else
    (void)memoryKiB; // no address-space limit for a child here
#endif
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
        return {}; // the process, if still running, is killed as `process` goes
    }
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

Finished RunCli(const QStringList& arguments, const QString& folder, const QByteArray& input,
                qint64 memoryKiB)
{
    return RunProgram(qEnvironmentVariable("LUMENVEIL_CLI"), arguments, folder, input,
                      memoryKiB);
}

ScratchMount::ScratchMount()
{
    const Finished mount =
        RunProgram("mount", {"-t", "tmpfs", "-o", "size=256k", "tmpfs", dir_.path()});
    if (mount.status != 0) {
        error_ = "cannot mount a tmpfs (that needs root and mount): " + mount.err.trimmed();
    }
}

ScratchMount::~ScratchMount()
{
    if (error_.isEmpty()) {
        (void)RunProgram("umount", {"-R", "-l", dir_.path()});
    }
}

bool ScratchMount::breakFor(const QString& how, const QString& name)
{
    if (how == QLatin1String("read-only")) {
        return RunProgram("mount", {"-o", "remount,ro", dir_.path()}).status == 0;
    }
    if (how == QLatin1String("locked")) {
        const QString file = dir_.filePath(name);
        return RunProgram("mount", {"--bind", file, file}).status == 0 &&
               RunProgram("mount", {"-o", "remount,ro,bind", file}).status == 0;
    }
    const qint64 spare = QStorageInfo(dir_.path()).bytesAvailable() - 4096;
    return RunProgram("fallocate", {"-l", QString::number(spare), dir_.filePath(".filler")})
               .status == 0;
}

} // namespace lumenveil::test
