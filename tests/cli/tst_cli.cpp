#include "support/system.h"
#include "support/test_pictures.h"

#include <QFile>
#include <QProcess>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

using namespace lumenveil::test;

// lumenveil-cli run as a process, as scripts run it.
class tst_Cli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void commands_data();
    void commands();
    void largestPictureRoundTrip(); // last: it measures every run before it

private:
    QString Path(const QString& name) const { return dir_.filePath(name); }

    QTemporaryDir dir_;
};

void tst_Cli::initTestCase()
{
    QVERIFY(WriteImage(PhotoLikeImage(60, 40), Path("photo.jpg"), "jpeg"));
    QVERIFY(WriteImage(PhotoLikeImage(8, 8), Path("tiny.png"), "png"));
    QVERIFY(WriteBytes(Path("note.bmp"), "not a picture"));
    QVERIFY(WriteBytes(Path("huge.bmp"), BitmapHeaders(100000, 100000, 24, 0, 0, 0)));
    QVERIFY(WriteBytes(Path("message.txt"), "\xEF\xBB\xBFline one\nline two\n\xC3\xBF"));
    const QString hide = R"(hide photo.jpg secret.bmp --text "the key is under the mat")";
    QCOMPARE(RunCli(QProcess::splitCommand(hide), dir_.path()).status, 0);
    QVERIFY(WriteBytes(Path("cut.bmp"), ReadBytes(Path("secret.bmp")).chopped(1)));
}

// lumenveil-cli run with `command` (split as a shell does) and `input` ends with `status`, prints
// `out` exactly (a hide: what revealing its output prints) and `err` in its errors (empty: none).
static void Row(const char* name, const QString& command, int status, const QString& out,
                const QString& err, const QByteArray& input = {})
{
    QTest::newRow(name) << QProcess::splitCommand(command) << input << status << out << err;
}

void tst_Cli::commands_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");

    const QString secret = "the key is under the mat\n";
    const QString none = ": This image has no secret message!";
    Row("reveal", "reveal secret.bmp", 0, secret, "");
    Row("reveal several", "reveal secret.bmp photo.jpg secret.bmp", 1,
        "==> secret.bmp <==\n" + secret + "\n==> secret.bmp <==\n" + secret, "photo.jpg" + none);
    Row("a missing file outranks a picture without a message",
        "reveal nowhere.gif photo.jpg secret.bmp", 2, "==> secret.bmp <==\n" + secret,
        "nowhere.gif");
    Row("hide --text", "hide photo.jpg hidden.png --text \"caf\u00E9 \u20AC5\"", 0,
        "caf\u00E9 \u20AC5\n", "");
    Row("hide --file, after a byte-order mark", "hide photo.jpg hidden.png --file message.txt", 0,
        "line one\nline two\n\u00FF\n", "");
    Row("hide from standard input", "hide photo.jpg hidden.png", 0, "from a pipe\n\n", "",
        "from a pipe\n");
    Row("hide from empty standard input", "hide photo.jpg hidden.png", 0, "\n", "");
    Row("capacity", "capacity photo.jpg", 0, QString("%1\n").arg(60 * 40 / 3 - 24), "");
    Row("capacity of a tiny picture", "capacity tiny.png", 0, "0\n", "");
    Row("version", "--version", 0, "lumenveil-cli 1.10\n", "");
    Row("no message", "reveal photo.jpg", 1, "", "photo.jpg" + none);
    Row("a 24-bit bitmap cut short, its message whole", "reveal cut.bmp", 2, "",
        "\u201Ccut.bmp\u201D is damaged or incomplete: the file ends before its pixel data");
    Row("too small to hold one", "reveal tiny.png", 1, "", "tiny.png" + none);
    Row("text does not fit", "hide tiny.png out.bmp --text hello", 1, "",
        "tiny.png: Text is 23 characters longer than this picture can store!");
    Row("characters that cannot be stored", "hide photo.jpg out.bmp --text \u65E5", 1, "",
        "\u201C\u65E5\u201D (U+65E5)");
    Row("text with the end marker", "hide photo.jpg out.bmp --text \"the end message\"", 1, "",
        "mark the end of a hidden message");
    Row("standard input not UTF-8", "hide photo.jpg out.bmp", 2, "",
        "the message from standard input is not valid UTF-8", "caf\xE9");
    Row("missing picture", "reveal nowhere.bmp", 2, "",
        "The file \u201Cnowhere.bmp\u201D does not exist.");
    Row("hide from a missing picture", "hide nowhere.bmp out.bmp --text x", 2, "",
        "\u201Cnowhere.bmp\u201D does not exist");
    Row("not a picture", "capacity note.bmp", 2, "", "\u201Cnote.bmp\u201D is not a picture");
    Row("headers alone that claim 100000 x 100000 pixels", "capacity huge.bmp", 2, "",
        "\u201Chuge.bmp\u201D is too large");
    Row("missing message file", "hide photo.jpg out.bmp --file none.txt", 2, "",
        "cannot read the message file \u201Cnone.txt\u201D");
    Row("output in a missing folder", "hide photo.jpg no/such/out.bmp --text x", 2, "",
        "could not be saved as \u201Cno/such/out.bmp\u201D");
    Row("no command", "", 2, "", "no command given");
    Row("unknown command", "encrypt photo.jpg", 2, "", "unknown command \u201Cencrypt\u201D");
    Row("unknown option", "reveal --fast secret.bmp", 2, "", "fast");
    Row("reveal without a picture", "reveal", 2, "", "reveal takes at least one PICTURE");
    Row("hide without output", "hide photo.jpg --text x", 2, "",
        "hide takes a PICTURE and an OUTPUT");
    Row("both --text and --file", "hide photo.jpg o.bmp --text x --file y", 2, "", "not both");
    Row("--text for reveal", "reveal secret.bmp --text x", 2, "", "belong to the hide command");
    Row("capacity of two", "capacity a b", 2, "", "capacity takes one PICTURE");
}

void tst_Cli::commands()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    const Finished run = RunCli(arguments, dir_.path(), input);
    QCOMPARE(run.status, status);
    QVERIFY2(err.isEmpty() ? run.err.isEmpty() : run.err.contains(err), qPrintable(run.err));
    // A failure says so in lines of its own and writes nothing.
    QVERIFY(status == 0 ||
            (run.err.startsWith("lumenveil-cli: ") && !QFile::exists(Path("out.bmp"))));
    if (arguments.value(0) != "hide" || status != 0) {
        QCOMPARE(run.out, out);
        return;
    }
    // Written as a bitmap whatever the name says, and the message reads back.
    QCOMPARE(run.out, QString());
    QVERIFY(ReadBytes(Path(arguments[2])).startsWith("BM"));
    QCOMPARE(RunCli({"reveal", arguments[2]}, dir_.path()).out, out);
}

void tst_Cli::largestPictureRoundTrip()
{
#ifdef LUMENVEIL_SANITIZED
    QSKIP("a 1 GiB picture is measured in the normal build; the sanitizers' memory "
          "bookkeeping would distort the figure");
#endif
    // The largest peak memory (KiB) of any run so far; those before stayed small, the one on
    // headers that claim 100000 x 100000 pixels too: nothing of the 40 GB they would need.
    const auto peakKiB = [] {
        rusage usage{};
        getrusage(RUSAGE_CHILDREN, &usage);
        return usage.ru_maxrss;
    };
    QVERIFY2(peakKiB() < 64 * 1024, qPrintable(QString::number(peakKiB())));
    constexpr int Side = 16384; // 268,435,456 pixels: exactly the largest we take
    constexpr qint64 Stride = Side * 3;
    if (QStorageInfo(dir_.path()).bytesAvailable() < 3 * Stride * Side) {
        QSKIP("not enough free disk space for two 768 MB bitmaps");
    }
    // Written row by row, never holding the picture in memory.
    const QString source = Path("largest.bmp");
    QFile file(source);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.write(BitmapHeaders(Side, Side, 24, 0, 0, Stride * Side)) == 54);
    QByteArray row(Stride, '\0');
    for (int y = 0; y < Side; ++y) {
        for (qint64 i = 0; i < Stride; ++i) {
            row[i] = static_cast<char>(i ^ y);
        }
        QVERIFY(file.write(row) == Stride);
    }
    file.close();

    const QString text = "a message in the largest picture we take";
    QCOMPARE(RunCli({"hide", source, "hidden.bmp", "--text", text}, dir_.path()).status, 0);
    // One and a half times the 1 GiB of decoded pixels, and 40 MiB for the program itself.
    constexpr long LimitKiB = (1024 * 3 / 2 + 40) * 1024;
    const long hidePeakKiB = peakKiB();
    QVERIFY2(hidePeakKiB <= LimitKiB, qPrintable(QString("peak %1 KiB").arg(hidePeakKiB)));
    QFile::remove(source);

    const Finished reveal = RunCli({"reveal", "hidden.bmp"}, dir_.path());
    QCOMPARE(reveal.status, 0);
    QCOMPARE(reveal.out, text + "\n");
    qInfo("hide peaked at %ld MiB (limit %ld MiB)", hidePeakKiB / 1024, LimitKiB / 1024);
}

QTEST_GUILESS_MAIN(tst_Cli)
#include "tst_cli.moc"
