#include "picture/picture_surface.h"
#include "support/mounts.h"
#include "support/test_pictures.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace lumenveil;
using namespace lumenveil::test;

namespace {

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

} // namespace

// lumenveil-cli run as a process, as scripts run it.
class tst_Cli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void commands_data();
    void commands();
    void hidesFromEveryInput_data();
    void hidesFromEveryInput();
    void revealsSeveralPictures();
    void hideLeavesOriginalOnFailedSave_data();
    void hideLeavesOriginalOnFailedSave();
    void readsAMessageWrittenByHand();

private:
    Run Cli(const QStringList& arguments, const QByteArray& input = {}) const;
    QString Path(const QString& name) const { return dir_.filePath(name); }

    QString program_;
    QTemporaryDir dir_;
};

Run tst_Cli::Cli(const QStringList& arguments, const QByteArray& input) const
{
    QProcess process;
    process.setWorkingDirectory(dir_.path());
    process.start(program_, arguments);
    if (!process.waitForStarted()) {
        return {};
    }
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        return {};
    }
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

void tst_Cli::initTestCase()
{
    program_ = QFileInfo(qEnvironmentVariable("LUMENVEIL_CLI")).absoluteFilePath();
    QVERIFY2(QFileInfo(program_).isExecutable(), "LUMENVEIL_CLI names no program");
    QVERIFY(WriteImage(PhotoLikeImage(60, 40), Path("photo.jpg"), "jpeg"));
    QVERIFY(WriteImage(PhotoLikeImage(8, 8), Path("tiny.png"), "png"));
    QVERIFY(WriteBytes(Path("note.bmp"), "not a picture"));
    const Run hidden = Cli({"hide", "photo.jpg", "secret.bmp", "--text", "the key is under the mat"});
    QCOMPARE(hidden.status, 0);
}

void tst_Cli::commands_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out"); // expected standard output, exactly
    QTest::addColumn<QString>("err"); // a part of standard error

    QTest::newRow("reveal") << QStringList{"reveal", "secret.bmp"} << 0
                            << "the key is under the mat\n" << "";
    QTest::newRow("capacity") << QStringList{"capacity", "photo.jpg"} << 0
                              << QString("%1\n").arg(60 * 40 / 3 - 24) << "";
    QTest::newRow("capacity of a tiny picture") << QStringList{"capacity", "tiny.png"} << 0 << "0\n"
                                                << "";
    QTest::newRow("version") << QStringList{"--version"} << 0 << "lumenveil-cli 1.10\n" << "";
    QTest::newRow("no message") << QStringList{"reveal", "photo.jpg"} << 1 << ""
                                << "photo.jpg: This image has no secret message!";
    QTest::newRow("too small to hold one") << QStringList{"reveal", "tiny.png"} << 1 << ""
                                           << "tiny.png: This image has no secret message!";
    QTest::newRow("text does not fit")
        << QStringList{"hide", "tiny.png", "out.bmp", "--text", "hello"} << 1 << ""
        << "tiny.png: Text is 23 characters longer than this picture can store!";
    QTest::newRow("characters that cannot be stored")
        << QStringList{"hide", "photo.jpg", "out.bmp", "--text", QString::fromUtf16(u"\u65E5")}
        << 1 << "" << QString::fromUtf16(u"\u201C\u65E5\u201D (U+65E5)");
    QTest::newRow("text with the end marker")
        << QStringList{"hide", "photo.jpg", "out.bmp", "--text", "the end message"} << 1 << ""
        << "mark the end of a hidden message";
    QTest::newRow("missing picture") << QStringList{"reveal", "nowhere.bmp"} << 2 << ""
                                     << "The file \u201Cnowhere.bmp\u201D does not exist.";
    QTest::newRow("not a picture") << QStringList{"capacity", "note.bmp"} << 2 << ""
                                   << "\u201Cnote.bmp\u201D is not a picture";
    QTest::newRow("missing message file")
        << QStringList{"hide", "photo.jpg", "out.bmp", "--file", "none.txt"} << 2 << ""
        << "cannot read the message file \u201Cnone.txt\u201D";
    QTest::newRow("output in a missing folder")
        << QStringList{"hide", "photo.jpg", "no/such/out.bmp", "--text", "x"} << 2 << ""
        << "could not be saved as \u201Cno/such/out.bmp\u201D";
    QTest::newRow("no command") << QStringList{} << 2 << "" << "no command given";
    QTest::newRow("unknown command") << QStringList{"encrypt", "photo.jpg"} << 2 << ""
                                     << "unknown command \u201Cencrypt\u201D";
    QTest::newRow("unknown option") << QStringList{"reveal", "--fast", "secret.bmp"} << 2 << ""
                                    << "fast";
    QTest::newRow("hide without output") << QStringList{"hide", "photo.jpg", "--text", "x"} << 2
                                         << "" << "hide takes a PICTURE and an OUTPUT";
    QTest::newRow("both --text and --file")
        << QStringList{"hide", "photo.jpg", "o.bmp", "--text", "x", "--file", "y"} << 2 << ""
        << "not both";
    QTest::newRow("--text for reveal") << QStringList{"reveal", "secret.bmp", "--text", "x"} << 2
                                       << "" << "belong to the hide command";
    QTest::newRow("capacity of two") << QStringList{"capacity", "a", "b"} << 2 << ""
                                     << "capacity takes one PICTURE";
}

void tst_Cli::commands()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    const Run run = Cli(arguments);
    QCOMPARE(run.status, status);
    QCOMPARE(run.out, out);
    QVERIFY2(run.err.contains(err), qPrintable(run.err));
    if (status != 0) {
        QVERIFY2(run.err.startsWith("lumenveil-cli: "), qPrintable(run.err));
        QVERIFY(!QFile::exists(Path("out.bmp")));
    }
}

void tst_Cli::hidesFromEveryInput_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("text");
    QTest::newRow("--text") << "text" << QString::fromUtf16(u"caf\u00E9 \u20AC5");
    QTest::newRow("--file") << "file" << QString::fromUtf16(u"line one\nline two\n\u00FF");
    QTest::newRow("standard input") << "stdin" << QString::fromUtf16(u"from a pipe\n");
    QTest::newRow("empty standard input") << "stdin" << QString();
}

void tst_Cli::hidesFromEveryInput()
{
    QFETCH(QString, source);
    QFETCH(QString, text);
    QStringList arguments{"hide", "photo.jpg", "hidden.png"};
    QByteArray input;
    if (source == "text") {
        arguments << "--text" << text;
    } else if (source == "file") {
        QVERIFY(WriteBytes(Path("message.txt"), "\xEF\xBB\xBF" + text.toUtf8()));
        arguments << "--file" << "message.txt";
    } else {
        input = text.toUtf8();
    }
    const Run hidden = Cli(arguments, input);
    QCOMPARE(hidden.status, 0);
    QCOMPARE(hidden.err, QString());
    // Written as a bitmap whatever the name says.
    QCOMPARE(ReadBytes(Path("hidden.png")).left(2), QByteArray("BM"));

    const Run revealed = Cli({"reveal", "hidden.png"});
    QCOMPARE(revealed.status, 0);
    QCOMPARE(revealed.out, text + "\n");
}

void tst_Cli::revealsSeveralPictures()
{
    const Run run = Cli({"reveal", "secret.bmp", "photo.jpg", "secret.bmp", "nowhere.gif"});
    QCOMPARE(run.status, 2); // a file error outranks a picture without a message
    QCOMPARE(run.out, QString("==> secret.bmp <==\nthe key is under the mat\n\n"
                              "==> secret.bmp <==\nthe key is under the mat\n"));
    QVERIFY(run.err.contains("photo.jpg: This image has no secret message!"));
    QVERIFY(run.err.contains("nowhere.gif"));

    const Run none = Cli({"reveal", "secret.bmp", "photo.jpg"});
    QCOMPARE(none.status, 1);
}

void tst_Cli::hideLeavesOriginalOnFailedSave_data()
{
    AddFailingDiskRows();
}

void tst_Cli::hideLeavesOriginalOnFailedSave()
{
    QFETCH(QString, disk);
    QFETCH(QString, reason);
    ScratchMount mount;
    if (!mount.isMounted()) {
        QSKIP(qPrintable(mount.error()));
    }
    const QString target = mount.filePath("photo.bmp");
    QVERIFY(WriteBytes(target, "the original"));
    QVERIFY(mount.breakFor(disk, "photo.bmp"));
    const QStringList before = QDir(mount.path()).entryList(QDir::Files | QDir::Hidden);

    const Run run = Cli({"hide", "photo.jpg", target, "--text", "x"});
    QCOMPARE(run.status, 2);
    QVERIFY2(run.err.contains(reason) && run.err.contains(target), qPrintable(run.err));
    QCOMPARE(ReadBytes(target), QByteArray("the original"));
    QCOMPARE(QDir(mount.path()).entryList(QDir::Files | QDir::Hidden), before);
}

void tst_Cli::readsAMessageWrittenByHand()
{
    // Bits set directly in a bitmap, without our writer: "start message" + "Hi" + "end message".
    QImage image(30, 5, QImage::Format_RGB32);
    image.fill(qRgb(100, 150, 200));
    const QByteArray framed = "start messageHiend message";
    for (int k = 0; k < framed.size(); ++k) {
        const int code = static_cast<unsigned char>(framed[k]);
        const int bits[8] = {code >> 7 & 1, code >> 6 & 1, code >> 5 & 1, code >> 4 & 1,
                             code >> 3 & 1, code >> 2 & 1, code >> 1 & 1, code & 1};
        for (int p = 0; p < 3; ++p) {
            const int n = 3 * k + p;
            const int x = n / 5;
            const int y = n % 5;
            const QRgb c = image.pixel(x, y);
            const int r = (qRed(c) & ~1) | bits[3 * p];
            const int g = (qGreen(c) & ~1) | bits[3 * p + 1];
            const int b = p == 2 ? qBlue(c) : (qBlue(c) & ~1) | bits[3 * p + 2];
            image.setPixel(x, y, qRgb(r, g, b));
        }
    }
    QVERIFY(WriteImage(image, Path("by-hand.bmp"), "bmp"));
    const Run run = Cli({"reveal", "by-hand.bmp"});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, QString("Hi\n"));
}

QTEST_GUILESS_MAIN(tst_Cli)
#include "tst_cli.moc"
