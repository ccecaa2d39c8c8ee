#include "support/mounts.h"

#include <QFile>
#include <QProcess>
#include <QStorageInfo>
#include <QTest>

#include <unistd.h>

namespace lumenveil::test {

bool RunCommand(const QString& program, const QStringList& arguments, QString* output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    if (output != nullptr) {
        *output = QString::fromLocal8Bit(process.readAll()).trimmed();
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

ScratchMount::ScratchMount(const QString& size)
{
    if (::geteuid() != 0) {
        error_ = QStringLiteral("mounting a scratch filesystem needs root");
        return;
    }
    if (!dir_.isValid()) {
        error_ = QStringLiteral("no temporary folder");
        return;
    }
    QString output;
    mounted_ = RunCommand("mount", {"-t", "tmpfs", "-o", "size=" + size, "tmpfs", dir_.path()},
                          &output);
    if (!mounted_) {
        error_ = QStringLiteral("cannot mount a tmpfs here: ") + output;
    }
}

ScratchMount::~ScratchMount()
{
    if (mounted_) {
        (void)RunCommand("umount", {"-R", "-l", dir_.path()});
    }
}

bool ScratchMount::setReadOnly(bool readOnly)
{
    return RunCommand("mount",
                      {"-o", readOnly ? "remount,ro" : "remount,rw", dir_.path()});
}

bool ScratchMount::lockFile(const QString& name)
{
    const QString file = dir_.filePath(name);
    return RunCommand("mount", {"--bind", file, file}) &&
           RunCommand("mount", {"-o", "remount,ro,bind", file});
}

bool ScratchMount::breakFor(const QString& how, const QString& name)
{
    if (how == QLatin1String("full")) {
        return fill(4096);
    }
    if (how == QLatin1String("read-only")) {
        return setReadOnly(true);
    }
    return lockFile(name);
}

void AddFailingDiskRows()
{
    QTest::addColumn<QString>("disk");
    QTest::addColumn<QString>("reason");
    QTest::newRow("full disk") << "full" << "No space left on device";
    QTest::newRow("read-only mount") << "read-only" << "Read-only file system";
    QTest::newRow("file that cannot be replaced") << "locked" << "Read-only file system";
}

bool ScratchMount::fill(qint64 spare)
{
    QFile filler(dir_.filePath(".filler"));
    if (!filler.open(QIODevice::WriteOnly)) {
        return false;
    }
    QStorageInfo storage(dir_.path());
    const QByteArray block(4096, 'x');
    qint64 left = storage.bytesAvailable() - spare;
    while (left > 0) {
        const qint64 n = std::min<qint64>(left, block.size());
        if (filler.write(block.constData(), n) != n || !filler.flush()) {
            break;
        }
        left -= n;
    }
    filler.close();
    return true;
}

} // namespace lumenveil::test
