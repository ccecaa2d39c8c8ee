#include "picture/picture_surface.h"

#include <QFile>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace lumenveil;

namespace {

struct Finished
{
    int status = -1;      // exit status; -1 when killed by a signal
    long peakKiB = 0;     // peak resident memory
    QByteArray out;
};

// Runs a program to its end; its standard output is kept, its peak memory measured.
Finished RunMeasured(const QStringList& arguments)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return {};
    }
    std::vector<QByteArray> storage;
    for (const QString& a : arguments) {
        storage.push_back(a.toLocal8Bit());
    }
    std::vector<char*> argv;
    for (QByteArray& a : storage) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    Finished finished;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        finished.out.append(buffer, got);
    }
    close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    finished.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    finished.peakKiB = usage.ru_maxrss;
    return finished;
}

// Writes a width x height 24-bit bitmap row by row, never holding the picture in memory.
bool WriteStripedBitmap(const QString& path, int width, int height)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    const qint64 stride = (qint64{width} * 3 + 3) / 4 * 4;
    QByteArray header(54, '\0');
    header[0] = 'B';
    header[1] = 'M';
    qToLittleEndian<quint32>(static_cast<quint32>(54 + stride * height), header.data() + 2);
    qToLittleEndian<quint32>(54, header.data() + 10);
    qToLittleEndian<quint32>(40, header.data() + 14);
    qToLittleEndian<qint32>(width, header.data() + 18);
    qToLittleEndian<qint32>(height, header.data() + 22);
    qToLittleEndian<quint16>(1, header.data() + 26);
    qToLittleEndian<quint16>(24, header.data() + 28);
    if (file.write(header) != header.size()) {
        return false;
    }
    QByteArray row(static_cast<qsizetype>(stride), '\0');
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<char>(x + y);
            row[3 * x + 1] = static_cast<char>(x ^ y);
            row[3 * x + 2] = static_cast<char>(y);
        }
        if (file.write(row) != row.size()) {
            return false;
        }
    }
    return file.flush();
}

} // namespace

// The largest picture we take, end to end through lumenveil-cli, and one that claims to be
// far larger.
class tst_BigPictures : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void claimedHugeFailsAtOnce();
    void largestPictureRoundTrip();

private:
    QString program_;
    QTemporaryDir dir_;
};

void tst_BigPictures::initTestCase()
{
    program_ = QFileInfo(qEnvironmentVariable("LUMENVEIL_CLI")).absoluteFilePath();
    QVERIFY2(QFileInfo(program_).isExecutable(), "LUMENVEIL_CLI names no program");
}

void tst_BigPictures::claimedHugeFailsAtOnce()
{
    // Headers only: 100000 x 100000 pixels promised, none present.
    QByteArray header(54, '\0');
    header[0] = 'B';
    header[1] = 'M';
    qToLittleEndian<quint32>(54, header.data() + 10);
    qToLittleEndian<quint32>(40, header.data() + 14);
    qToLittleEndian<qint32>(100000, header.data() + 18);
    qToLittleEndian<qint32>(100000, header.data() + 22);
    qToLittleEndian<quint16>(1, header.data() + 26);
    qToLittleEndian<quint16>(24, header.data() + 28);
    const QString path = dir_.filePath("claims-huge.bmp");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(header), header.size());
    file.close();

    PictureSurface surface;
    const PictureResult result = surface.LoadImageFile(path);
    QCOMPARE(result.status, PictureStatus::TooLarge);
    QVERIFY(DescribePictureResult(result, path).contains("too large"));

#ifndef LUMENVEIL_SANITIZED
    const Finished run = RunMeasured({program_, "capacity", path});
    QCOMPARE(run.status, 2);
    // The process as a whole stays small: nothing of the 40 GB the picture would need.
    QVERIFY2(run.peakKiB < 64 * 1024, qPrintable(QString::number(run.peakKiB)));
#endif
}

void tst_BigPictures::largestPictureRoundTrip()
{
#ifdef LUMENVEIL_SANITIZED
    QSKIP("a 1 GiB picture is measured in the normal build; the sanitizers' memory "
          "bookkeeping would distort the figure");
#endif
    constexpr int Side = 16384; // 268,435,456 pixels: exactly the largest we take
    const qint64 fileBytes = qint64{Side} * Side * 3 + 54;
    if (QStorageInfo(dir_.path()).bytesAvailable() < 3 * fileBytes) {
        QSKIP("not enough free disk space for two 768 MB bitmaps");
    }
    const QString source = dir_.filePath("largest.bmp");
    const QString output = dir_.filePath("largest-hidden.bmp");
    QVERIFY(WriteStripedBitmap(source, Side, Side));

    const QString text = "a message in the largest picture we take";
    const Finished hide = RunMeasured({program_, "hide", source, output, "--text", text});
    QCOMPARE(hide.status, 0);
    const double decodedMiB = double(Side) * Side * 4 / (1 << 20);
    const double limitKiB = (1.5 * decodedMiB + 40) * 1024;
    QVERIFY2(hide.peakKiB <= limitKiB, qPrintable(QString("peak %1 MiB against %2 MiB")
                                                      .arg(hide.peakKiB / 1024)
                                                      .arg(limitKiB / 1024)));
    QFile::remove(source);

    const Finished reveal = RunMeasured({program_, "reveal", output});
    QCOMPARE(reveal.status, 0);
    QCOMPARE(QString::fromUtf8(reveal.out), text + "\n");
    qInfo("hide peaked at %ld MiB, reveal at %ld MiB (limit %.0f MiB)", hide.peakKiB / 1024,
          reveal.peakKiB / 1024, limitKiB / 1024);
}

QTEST_GUILESS_MAIN(tst_BigPictures)
#include "tst_big_pictures.moc"
