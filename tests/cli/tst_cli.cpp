#include "codec/hidden_text.h"
#include "codec/message_layout.h"
#include "picture/picture_surface.h"
#include "support/system.h"
#include "support/test_pictures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

using namespace lumenveil::test;

// lumenveil-cli run as a process, as scripts run it.
class tst_Cli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void commands_data();
    void commands();
    void cleanup();
    void hideOverALongerMessage();
    void largestPictureRoundTrip(); // last: it measures every run before it

private:
    QString Path(const QString& name) const { return dir_.filePath(name); }

    QTemporaryDir dir_;
    struct Watched
    {
        QString name;
        bool untouched; // else only its kind, mode and owner stay
        QString signature;
    };
    QList<Watched> watched_; // files no run may change
};

// What a run might change of the file at `path`: its kind, mode and owner, and, `untouched`,
// that it is the same file with the same bytes.
static QString Signature(const QString& path, bool untouched)
{
#ifdef Q_OS_WIN
    // Its attributes (read-only among them) stand for the mode, its index for the inode.
    const HANDLE file = ::CreateFileW(
        reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()), 0,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    BY_HANDLE_FILE_INFORMATION info = {};
    const bool known = file != INVALID_HANDLE_VALUE && ::GetFileInformationByHandle(file, &info);
    if (file != INVALID_HANDLE_VALUE) {
        ::CloseHandle(file);
    }
    if (!known) {
        return "gone";
    }
    const auto wide = [](DWORD high, DWORD low) { return quint64(high) << 32 | low; };
    const QString kind = QString("attributes %1").arg(info.dwFileAttributes, 0, 16);
    return untouched ? kind + QString(" index %1 size %2 changed %3")
                                  .arg(wide(info.nFileIndexHigh, info.nFileIndexLow))
                                  .arg(wide(info.nFileSizeHigh, info.nFileSizeLow))
                                  .arg(wide(info.ftLastWriteTime.dwHighDateTime,
                                            info.ftLastWriteTime.dwLowDateTime))
                     : kind;
#else
    struct stat info = {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0) {
        return "gone";
    }
    const QString owner =
        QString("mode %1 owner %2:%3").arg(info.st_mode, 0, 8).arg(info.st_uid).arg(info.st_gid);
    return untouched ? owner + QString(" inode %1 size %2 changed %3.%4")
                                   .arg(info.st_ino)
                                   .arg(info.st_size)
                                   .arg(info.st_mtim.tv_sec)
                                   .arg(info.st_mtim.tv_nsec)
                     : owner;
#endif
}

// Whether a row's command is no more than lumenveil-cli's arguments as QProcess::splitCommand
// reads them, with at most a `< FILE` and a `> FILE`: then the test starts the program itself,
// on every system. Any other command is for the POSIX shell.
static bool Plain(const QString& command)
{
    static const QRegularExpression shell(R"([|&;$`'\\(){}*?~#]|lumenveil-cli |^\./)");
    return !shell.match(command).hasMatch();
}

// How a row ran, in `folder` with `input` on standard input: a plain command (see Plain) as
// lumenveil-cli's arguments, any other as the shell's `exec lumenveil-cli COMMAND`, or COMMAND
// itself where it names the program or starts with ./.
struct Ran
{
    int status = -1;
    QByteArray out;
    QString err;
};
static Ran Run(const QString& command, const QString& folder, const QByteArray& input = {})
{
    QProcess process;
    process.setWorkingDirectory(folder);
    if (Plain(command)) {
        QStringList arguments = QProcess::splitCommand(command);
        for (const char* redirect : {"<", ">"}) {
            const qsizetype at = arguments.indexOf(QLatin1String(redirect));
            if (at >= 0 && at + 1 < arguments.size()) {
                const QString file = QDir(folder).filePath(arguments[at + 1]);
                *redirect == '<' ? process.setStandardInputFile(file)
                                 : process.setStandardOutputFile(file);
                arguments.remove(at, 2);
            }
        }
        process.start(qEnvironmentVariable("LUMENVEIL_CLI"), arguments);
    } else {
        process.start("sh", {"-c", command.contains("lumenveil-cli ") || command.startsWith("./")
                                       ? command
                                       : "exec lumenveil-cli " + command});
    }
    if (!input.isEmpty()) {
        process.write(input);
    }
    process.closeWriteChannel();
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
        return {};
    }
    return {process.exitCode(), process.readAllStandardOutput(),
            QString::fromUtf8(process.readAllStandardError())};
}

#ifdef Q_OS_WIN
constexpr bool Windows = true;
#else
constexpr bool Windows = false;
#endif

// Whether the test runs as root, which only a POSIX system has.
static bool Root()
{
#ifdef Q_OS_WIN
    return false;
#else
    return ::geteuid() == 0;
#endif
}

// A message that sets the terminal's title by an escape sequence, then U+009D (the one-byte
// form of that sequence's start), DEL and CR.
static const QString Controls = "x\x1B]0;owned\x07y\n\u009Dz\x7F\r\t!";

void tst_Cli::initTestCase()
{
    QVERIFY(WriteImage(PhotoLikeImage(60, 40), Path("photo.jpg"), "jpeg"));
    QVERIFY(WriteImage(PhotoLikeImage(8, 8), Path("tiny.png"), "png"));
    QVERIFY(WriteImage(PhotoLikeImage(5, 15), Path("one.png"), "png")); // room for 1 character
    QVERIFY(WriteBytes(Path("note.bmp"), "not a picture"));
    QVERIFY(WriteBytes(Path("huge.bmp"), BitmapHeaders(100000, 100000, 24, 0, 0, 0)));
    QVERIFY(WriteBytes(Path("message.txt"), "\xEF\xBB\xBFline one\nline two\n\xC3\xBF"));
    const QString hide = R"(hide photo.jpg secret.bmp --text "the key is under the mat")";
    QCOMPARE(RunCli(QProcess::splitCommand(hide), dir_.path()).status, 0);
    QByteArray png = EncodeImage(PhotoLikeImage(20, 20), "png");
    png[png.indexOf("IDAT") + 10] ^= 0x55; // a byte of its compressed pixels
    QVERIFY(WriteBytes(Path("broken.png"), png));
    qputenv("PATH", QFileInfo(qEnvironmentVariable("LUMENVEIL_CLI")).path().toUtf8() +
                        QDir::listSeparator().toLatin1() + qgetenv("PATH"));
    QCOMPARE(
        RunCli({"hide", "photo.jpg", "lines.bmp", "--text", "two\nlines\n"}, dir_.path()).status,
        0);
    QCOMPARE(RunCli({"hide", "photo.jpg", "controls.bmp", "--text", Controls}, dir_.path()).status,
             0);
    // Plain 24-bit bitmaps, which reveal reads lazily: one without a message, one whose message
    // has a start and no end.
    lumenveil::PictureSurface bitmap;
    QVERIFY(bitmap.LoadImageFile(Native(Path("photo.jpg"))).ok());
    QVERIFY(bitmap.SaveBitmapFile(Native(Path("plain.bmp"))).ok());
    const std::u16string unended = u"start messagehello";
    for (std::size_t slot = 0; slot < unended.size(); ++slot) {
        lumenveil::StoreCharInSlot(bitmap, static_cast<std::int64_t>(slot), unended[slot]);
    }
    QVERIFY(bitmap.SaveBitmapFile(Native(Path("unended.bmp"))).ok());
    // A message of exactly 8 bytes in a PNG, and a palette bitmap as ImageMagick writes it:
    // run-length rows, each padded with a run that passes the row's end.
    QCOMPARE(RunCli({"hide", "photo.jpg", "eight.bmp", "--text", "8 bytes!"}, dir_.path()).status,
             0);
    QVERIFY(WriteImage(QImage(Path("eight.bmp")), Path("eight.png"), "png"));
    // ImageMagick takes 140 MB to start: detached, so that it is not one of the children whose
    // peak memory largestPictureRoundTrip measures.
    QVERIFY(WriteImage(PhotoLikeImage(61, 40), Path("odd.png"), "png")); // rows padded by runs
#ifndef Q_OS_WIN
    QVERIFY(QProcess::startDetached(
        "sh", {"-c", "convert odd.png -colors 200 -type Palette BMP3:magick.part && "
                     "mv magick.part magick-rle8.bmp"},
        dir_.path()));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(Path("magick-rle8.bmp")), 60000);
#endif
    // 192 MB of bitmap on standard input, without taking the disk space.
    QFile big(Path("big.bmp"));
    QVERIFY(big.open(QIODevice::WriteOnly) &&
            big.write(BitmapHeaders(8000, 8000, 24, 0, 0, 8000LL * 8000 * 3)) == 54 &&
            big.resize(54 + 8000LL * 8000 * 3));
    big.close();

    // Files a run must leave as they were, and one whose owner and mode a hide must keep.
    QVERIFY(WriteBytes(Path("readonly.bmp"), "kept") &&
            QFile::setPermissions(Path("readonly.bmp"), QFile::ReadOwner | QFile::ReadGroup));
    QStringList untouched{"readonly.bmp"};
#ifndef Q_OS_WIN
    QVERIFY(::mkfifo(QFile::encodeName(Path("pipe")).constData(), 0644) == 0);
    untouched << "pipe";
    if (Root()) { // a device node of our own, not the system's /dev/null
        QVERIFY(::mknod(QFile::encodeName(Path("null")).constData(), S_IFCHR | 0666,
                        makedev(1, 3)) == 0);
        QVERIFY(QFile::copy(Path("secret.bmp"), Path("foreign.bmp")));
        QVERIFY(::chown(QFile::encodeName(Path("foreign.bmp")).constData(), 1234, 2345) == 0);
        QVERIFY(QFile::setPermissions(Path("foreign.bmp"),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        watched_.append({"foreign.bmp", false, Signature(Path("foreign.bmp"), false)});
        untouched << "null";
    }
#endif
    for (const QString& name : untouched) {
        watched_.append({name, true, Signature(Path(name), true)});
    }
    QVERIFY(WriteBytes(Path("cut.bmp"), ReadBytes(Path("secret.bmp")).chopped(1)));
    // 36 MB of bitmap, more than the save writes between two syncs.
    QVERIFY(WriteImage(PhotoLikeImage(256, 192).scaled(4096, 3072), Path("large.jpg"), "jpeg"));
    const QByteArray tall = EncodeImage(PhotoLikeImage(20, 400), "jpeg");
    QVERIFY(WriteBytes(Path("cut.jpg"), tall.left(tall.size() * 3 / 4)));
    const QByteArray eight = ReadBytes(Path("eight.png"));
    QVERIFY(WriteBytes(Path("cut-eight.png"), eight.left(eight.size() * 3 / 4)));
}

void tst_Cli::cleanup()
{
    for (const Watched& file : watched_) {
        QCOMPARE(Signature(Path(file.name), file.untouched), file.signature);
    }
}

// lumenveil-cli run with `command` (see Run) and `input` ends with `status`, prints `out`
// exactly (a hide: what revealing its output prints) and `err` in its errors (empty: none).
static void Row(const char* name, const QString& command, int status, const QString& out,
                const QString& err, const QByteArray& input = {}, const QString& posixOnly = {})
{
    QTest::newRow(name) << command << input << status << out << err << posixOnly;
}

// A row that needs what only a POSIX system has: on Windows it skips, saying why.
struct PosixOnly
{
    QString why;
};
static void Row(const char* name, const QString& command, int status, const QString& out,
                const QString& err, const PosixOnly& posix)
{
    Row(name, command, status, out, err, {}, posix.why);
}

void tst_Cli::commands_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::addColumn<QString>("posixOnly");

    const QString secret = "the key is under the mat";
    const QString none = ": This image has no secret message!";
    const PosixOnly terminal{"needs a POSIX shell: script runs the program on a pseudo-terminal"};
    Row("reveal: the message's bytes exactly", "reveal secret.bmp", 0, secret, "");
    Row("reveal on a terminal ends the line",
        "script -qec 'lumenveil-cli reveal secret.bmp' /dev/null", 0, secret + "\r\n", "",
        terminal);
    Row("reveal on a terminal, a message ending a line",
        "script -qec 'lumenveil-cli reveal lines.bmp' /dev/null", 0, "two\r\nlines\r\n", "",
        terminal);
    Row("reveal on a terminal shows control characters as cat -v does",
        "script -qec 'lumenveil-cli reveal controls.bmp' /dev/null", 0,
        "x^[]0;owned^Gy\r\nM-^]z^?^M\t!\r\n", "", terminal);
    Row("reveal to a pipe: control characters as they are", "reveal controls.bmp", 0, Controls, "");
    Row("reveal a picture from a pipe", "reveal -", 0, secret, "", ReadBytes(Path("secret.bmp")));
    Row("a picture from a pipe, though a file is named -",
        "cp lines.bmp ./- && cat secret.bmp | lumenveil-cli reveal -", 0, secret, "",
        PosixOnly{"needs a POSIX shell: cp makes the file named -, cat pipes the picture"});
    Row("reveal /dev/stdin", "cat secret.bmp | lumenveil-cli reveal /dev/stdin", 0, secret, "",
        PosixOnly{"/dev/stdin has no Windows counterpart"});
    Row("reveal several", "reveal secret.bmp photo.jpg secret.bmp", 1,
        "==> secret.bmp <==\n" + secret + "\n\n==> secret.bmp <==\n" + secret + "\n",
        "photo.jpg" + none);
    Row("a missing file outranks a picture without a message",
        "reveal nowhere.gif photo.jpg secret.bmp", 2, "==> secret.bmp <==\n" + secret + "\n",
        "nowhere.gif");
    Row("hide --text", "hide photo.jpg hidden.png --text \"caf\u00E9 \u20AC5\"", 0,
        "caf\u00E9 \u20AC5", "");
    Row("hide --file, after a byte-order mark", "hide photo.jpg hidden.png --file message.txt", 0,
        "line one\nline two\n\u00FF", "");
    Row("hide from standard input", "hide photo.jpg hidden.png", 0, "from a pipe\n", "",
        "from a pipe\n");
    Row("hide from empty standard input", "hide photo.jpg hidden.png", 0, "", "");
    Row("hide into a bitmap synced as it is written", "hide large.jpg large.bmp --text big", 0,
        "big", "");
    Row("hide a picture from a pipe", "hide - hidden.bmp --text x", 0, "x", "",
        ReadBytes(Path("photo.jpg")));
    Row("hide to standard output", "hide photo.jpg - --text x", 0, "x", "");
    Row("capacity", "capacity photo.jpg", 0, QString("%1\n").arg(60 * 40 / 3 - 24), "");
    Row("capacity of a tiny picture", "capacity tiny.png", 0, "0\n", "");
    Row("version", "--version", 0, "lumenveil-cli 1.10\n", "");
    Row("no message", "reveal photo.jpg", 1, "", "photo.jpg" + none);
    Row("no message in a plain bitmap", "reveal plain.bmp", 1, "", "plain.bmp" + none);
    Row("a message without its end", "reveal unended.bmp", 1, "",
        "lumenveil-cli: unended.bmp: The hidden message is incomplete: its end marker is missing.");
    Row("a named pipe whose writer waits, opened once",
        "mkfifo waiting.fifo && { cat secret.bmp > waiting.fifo & } && "
        "timeout 20 lumenveil-cli reveal waiting.fifo; s=$?; rm -f waiting.fifo; exit $s",
        0, secret, "", PosixOnly{"needs a POSIX shell: mkfifo, a writer in the background"});
    const PosixOnly closed{"needs a POSIX shell: >&- and <&- start the program without a stream"};
    Row("standard output closed: 8 bytes of message", "reveal eight.png >&-", 2, "",
        "cannot write to standard output: Bad file descriptor", closed);
    Row("standard output closed: capacity", "capacity eight.png >&-", 2, "",
        "cannot write to standard output: Bad file descriptor", closed);
    Row("standard input closed", "reveal - <&-", 2, "", "\u201Cstandard input\u201D cannot be read",
        closed);
#ifndef LUMENVEIL_SANITIZED // the sanitizers reserve more address space than the limit leaves
    Row("out of memory reading standard input",
        "ulimit -v 80000; exec lumenveil-cli reveal - < big.bmp", 2, "",
        "not enough memory to read it whole",
        PosixOnly{"needs a POSIX shell: ulimit -v limits the address space"});
#endif
    Row("a palette bitmap ImageMagick wrote, runs padded past the row", "capacity magick-rle8.bmp",
        0, QString("%1\n").arg(61 * 40 / 3 - 24), "",
        PosixOnly{"ImageMagick's convert, which sh runs, writes the picture"});
    Row("OUTPUT is PICTURE, a JPEG",
        "cp photo.jpg same.jpg && lumenveil-cli hide same.jpg same.jpg --text x; s=$?; "
        "cmp -s photo.jpg same.jpg || s=9; rm -f same.jpg; exit $s",
        2, "", "is the picture \u201Csame.jpg\u201D itself",
        PosixOnly{"needs a POSIX shell: cp, cmp and rm around the run"});
    Row("OUTPUT a link to PICTURE, a JPEG",
        "cp photo.jpg same.jpg && ln -s same.jpg link.bmp && "
        "lumenveil-cli hide same.jpg link.bmp --text x; s=$?; "
        "cmp -s photo.jpg same.jpg || s=9; rm -f same.jpg link.bmp; exit $s",
        2, "", "give another OUTPUT",
        PosixOnly{"needs a POSIX shell: cp, ln -s, cmp and rm around the run"});
    Row("OUTPUT is PICTURE, a bitmap rewritten in place",
        "cp secret.bmp same.bmp && lumenveil-cli hide same.bmp same.bmp --text again && "
        "lumenveil-cli reveal same.bmp; s=$?; rm -f same.bmp; exit $s",
        0, "again", "", PosixOnly{"needs a POSIX shell: cp and rm around the runs"});
    // A save stopped while it writes leaves nothing; one killed outright leaves a temporary
    // file that the next save of the same OUTPUT removes. The shell watches for that file with
    // its builtins alone, so that it sees it however busy the machine is.
    const QString whileSaving =
        "env --default-signal lumenveil-cli hide large.jpg %1.bmp --text x & p=$!; "
        "i=0; while [ $i -lt 3000000 ]; do for f in %1.bmp.lumenveil-*; do [ -e \"$f\" ] && "
        "break 2; done; i=$((i + 1)); done; kill -%2 $p; wait $p 2>/dev/null; echo $?; ls %1.bmp* 2>/dev/null | wc -l; ";
    const PosixOnly signalled{"needs a POSIX shell: kill signals the program during its save"};
    for (const char* signal : {"INT", "TERM", "HUP"}) {
        const int number = QString(signal) == "INT" ? 2 : QString(signal) == "TERM" ? 15 : 1;
        Row(qPrintable(QString("SIGINT, SIGTERM or SIGHUP during a save: SIG%1").arg(signal)),
            whileSaving.arg("stopped", signal), 0, QString("%1\n0\n").arg(128 + number), "",
            signalled);
    }
    Row("a save killed outright, and the next one",
        whileSaving.arg("killed", "KILL") +
            "lumenveil-cli hide photo.jpg killed.bmp --text y && ls killed.bmp*; rm -f killed.bmp*",
        0, "137\n1\nkilled.bmp\n", "", signalled);
    Row("a 24-bit bitmap cut short, its message whole", "reveal cut.bmp", 2, "",
        "\u201Ccut.bmp\u201D is damaged or incomplete: the file ends before its pixel data");
    Row("too small to hold one", "reveal tiny.png", 1, "", "tiny.png" + none);
    Row("text does not fit", "hide tiny.png out.bmp --text hello", 1, "",
        "tiny.png: Text is 8 characters longer than this picture can store!");
    Row("text one character too long",
        "hide photo.jpg out.bmp --text \"" + QString(776, ' ') + "x\"", 1, "",
        "photo.jpg: Text is 1 character longer than this picture can store!");
    Row("characters that cannot be stored", "hide photo.jpg out.bmp --text \u65E5", 1, "",
        "\u201C\u65E5\u201D (U+65E5)");
    Row("text with the end marker", "hide photo.jpg out.bmp --text \"the end message\"", 1, "",
        "mark the end of a hidden message");
    const PosixOnly zero{"/dev/zero has no Windows counterpart"};
    Row("message from /dev/zero", "hide photo.jpg out.bmp --file /dev/zero", 1, "",
        "the message from \u201C/dev/zero\u201D is too long: this picture can store at most 776",
        zero);
    Row("message from /dev/urandom", "hide photo.jpg out.bmp --file /dev/urandom", 1, "",
        "is too long", PosixOnly{"/dev/urandom has no Windows counterpart"});
    Row("message too long for room for one character", "hide one.png out.bmp --file /dev/zero", 1,
        "", "this picture can store at most 1 character.", zero);
    Row("endless standard input", "hide photo.jpg out.bmp < /dev/zero", 1, "", "is too long", zero);
    Row("standard input not UTF-8", "hide photo.jpg out.bmp", 2, "",
        "the message from standard input is not valid UTF-8", "caf\xE9");
    Row("missing picture", "reveal nowhere.bmp", 2, "",
        "The file \u201Cnowhere.bmp\u201D does not exist.");
    Row("hide from a missing picture", "hide nowhere.bmp out.bmp --text x", 2, "",
        "\u201Cnowhere.bmp\u201D does not exist");
    Row("a name too long for the system", "reveal " + QString(300, 'n'), 2, "",
        // Windows' answer varies: too long, a bad name, or (Wine) not found.
        QString(300, 'n') + (Windows ? "\u201D" : "\u201D cannot be read: File name too long."));
    Row("not a picture", "capacity note.bmp", 2, "", "\u201Cnote.bmp\u201D is not a picture");
    Row("headers alone that claim 100000 x 100000 pixels", "capacity huge.bmp", 2, "",
        "\u201Chuge.bmp\u201D is too large");
    Row("hide from a JPEG cut short, after its first rows were written",
        "hide cut.jpg out.bmp --text x", 2, "", "\u201Ccut.jpg\u201D is damaged or incomplete");
    Row("missing message file", "hide photo.jpg out.bmp --file none.txt", 2, "",
        "cannot read the message file \u201Cnone.txt\u201D");
    Row("output in a missing folder", "hide photo.jpg no/such/out.bmp --text x", 2, "",
        Windows ? "could not be saved as \u201Cno\\such\\out.bmp\u201D"
                : "could not be saved as \u201Cno/such/out.bmp\u201D");
    Row("output is a named pipe", "hide photo.jpg pipe --text x", 2, "",
        "\u201Cpipe\u201D: it is a named pipe (FIFO), not a file.",
        PosixOnly{"a named pipe in a folder (mkfifo) has no Windows counterpart"});
    Row("output is read-only", "hide photo.jpg readonly.bmp --text x", 2, "",
        Root() || Windows ? "the file is read-only" : "Permission denied");
    if (Root() || Windows) {
        const PosixOnly root{"needs root on a POSIX system: mknod and chown make the file"};
        Row("output is a device", "hide photo.jpg null --text x", 2, "", "it is a device", root);
        Row("output owned by another", "hide photo.jpg foreign.bmp --text x", 0, "x", "", root);
    }
    const PosixOnly full{"/dev/full has no Windows counterpart"};
    Row("reveal to a full disk", "reveal secret.bmp > /dev/full", 2, "",
        "cannot write to standard output: No space left on device", full);
    Row("capacity to a full disk", "capacity photo.jpg > /dev/full", 2, "", "No space left", full);
    Row("bitmap to a full disk", "hide photo.jpg - --text x > /dev/full", 2, "", "No space left",
        full);
    const PosixOnly bytes{"needs a POSIX shell: printf makes the name, and Windows names are "
                          "UTF-16, never bytes that are not UTF-8"};
    Row("output name not UTF-8", "hide photo.jpg \"$(printf 'out\\376.bmp')\" --text x", 2, "",
        "\u201Cout\\xFE.bmp\u201D is not valid UTF-8", bytes);
    // Not secret.bmp, which a decoder that drops the mark would open instead.
    const QString marked = "\"$(printf '\\357\\273\\277secret.bmp')\"";
    Row("a name that begins with a byte-order mark, alone and with another",
        "cp lines.bmp " + marked + " && lumenveil-cli reveal " + marked +
            " && lumenveil-cli reveal " + marked + " secret.bmp",
        0,
        "two\nlines\n==> \uFEFFsecret.bmp <==\ntwo\nlines\n\n\n==> secret.bmp <==\n" + secret +
            "\n",
        "", PosixOnly{"needs a POSIX shell: cp and printf make the file"});
    Row("picture name not UTF-8", "reveal \"$(printf 'pic\\377.png')\"", 2, "",
        "\u201Cpic\\xFF.png\u201D is not valid UTF-8", bytes);
    Row("a damaged PNG: our line alone", "reveal broken.png", 2, "", "is damaged");
    // reveal decodes the rows its scan reads, capacity only the headers.
    Row("reveal a JPEG cut short below the rows the scan reads", "reveal cut.jpg", 1, "",
        "cut.jpg" + none);
    Row("reveal a PNG with a message, cut short: every row is read", "reveal cut-eight.png", 2,
        "", "\u201Ccut-eight.png\u201D is damaged or incomplete");
    Row("capacity of a JPEG cut short, from its headers", "capacity cut.jpg", 0,
        QString("%1\n").arg(20 * 400 / 3 - 24), "");
    Row("capacity of a PNG with damaged pixels, from its headers", "capacity broken.png", 0,
        QString("%1\n").arg(20 * 20 / 3 - 24), "");
    Row("no command", "", 2, "", "no command given");
    Row("unknown command", "encrypt photo.jpg", 2, "", "unknown command \u201Cencrypt\u201D");
    Row("unknown option", "reveal --fast secret.bmp", 2, "", "unknown option '--fast'");
    Row("a name with a leading dash", "reveal -photo.bmp", 2, "", "unknown option '-photo.bmp'");
    Row("a leading dash after --", "reveal -- -photo.bmp", 2, "",
        "\u201C-photo.bmp\u201D does not");
    Row("picture and message both from standard input", "hide - out.bmp", 2, "",
        "--text or --file");
    Row("reveal without a picture", "reveal", 2, "", "reveal takes at least one PICTURE");
    Row("hide without output", "hide photo.jpg --text x", 2, "",
        "hide takes a PICTURE and an OUTPUT");
    Row("both --text and --file", "hide photo.jpg o.bmp --text x --file y", 2, "", "not both");
    Row("--text for reveal", "reveal secret.bmp --text x", 2, "", "belong to the hide command");
    Row("capacity of two", "capacity a b", 2, "", "capacity takes one PICTURE");
}

void tst_Cli::commands()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, input);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QString, posixOnly);
    if (Windows && !posixOnly.isEmpty()) {
        QSKIP(qPrintable(posixOnly));
    }
    QVERIFY2(!Windows || Plain(command), "a row for the POSIX shell must say why Windows skips it");
    const auto entries = [this] {
        return QDir(dir_.path()).entryList(QDir::AllEntries | QDir::System);
    };
    const QStringList before = entries();
    const Ran run = Run(command, dir_.path(), input);
    QCOMPARE(run.status, status);
    QVERIFY2(err.isEmpty() ? run.err.isEmpty() : run.err.contains(err), qPrintable(run.err));
    // Nothing but our own lines on standard error; a failure says so and writes no file.
    for (const QString& line : run.err.split('\n', Qt::SkipEmptyParts)) {
        QVERIFY2(line.startsWith("lumenveil-cli: ") || line.startsWith("Try 'lumenveil-cli"),
                 qPrintable(line));
    }
    QVERIFY(status == 0 || (!run.err.isEmpty() && entries() == before));
    const QStringList arguments = QProcess::splitCommand(command);
    if (arguments.value(0) != "hide" || status != 0) {
        QCOMPARE(QString::fromUtf8(run.out), out);
        return;
    }
    // Written as a bitmap whatever the name says, and the message reads back.
    const QByteArray bitmap = arguments[2] == "-" ? run.out : ReadBytes(Path(arguments[2]));
    QVERIFY(bitmap.startsWith("BM") && (arguments[2] == "-" || run.out.isEmpty()));
    QCOMPARE(QString::fromUtf8(Run("reveal -", dir_.path(), bitmap).out), out);
}

void tst_Cli::hideOverALongerMessage()
{
    // Hidden again into the same bitmap, a short message leaves nothing of the longer one
    // there before: the codes past its end marker are others.
    QCOMPARE(RunCli({"hide", "photo.jpg", "vault.bmp", "--text",
                     "the vault code is 4711, meet at dawn"},
                    dir_.path())
                 .status,
             0);
    QCOMPARE(RunCli({"hide", "vault.bmp", "vault.bmp", "--text", "hi"}, dir_.path()).status, 0);
    lumenveil::PictureSurface picture;
    QVERIFY(picture.LoadImageFile(Native(Path("vault.bmp"))).ok());
    QString codes;
    for (std::int64_t slot = 0; slot < 60 * 40 / 3; ++slot) {
        codes += QChar(lumenveil::CharOfCode(lumenveil::ReadSlotCode(picture, slot)).front());
    }
    QVERIFY2(codes.startsWith("start messagehiend message") && !codes.contains("4711, meet"),
             qPrintable(codes.left(64)));
}

void tst_Cli::largestPictureRoundTrip()
{
#ifdef LUMENVEIL_SANITIZED
    QSKIP("a 1 GiB picture is measured in the normal build; the sanitizers' memory "
          "bookkeeping would distort the figure");
#endif
#ifndef Q_OS_WIN // the peak memory of children is getrusage's, POSIX's alone
    // The largest peak memory (KiB) of any run so far: at most the 12 MP picture's, also for the
    // headers that claim 100000 x 100000 pixels, nothing of the 40 GB they would need.
    const auto peakKiB = [] {
        rusage usage{};
        getrusage(RUSAGE_CHILDREN, &usage);
        return usage.ru_maxrss;
    };
    QVERIFY2(peakKiB() < 128 * 1024, qPrintable(QString::number(peakKiB())));
#endif
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
#ifndef Q_OS_WIN
    // One and a half times the 1 GiB of decoded pixels, and 40 MiB for the program itself.
    constexpr long LimitKiB = (1024 * 3 / 2 + 40) * 1024;
    const long hidePeakKiB = peakKiB();
    QVERIFY2(hidePeakKiB <= LimitKiB, qPrintable(QString("peak %1 KiB").arg(hidePeakKiB)));
    qInfo("hide peaked at %ld MiB (limit %ld MiB)", hidePeakKiB / 1024, LimitKiB / 1024);
#endif
    QFile::remove(source);

    const Finished reveal = RunCli({"reveal", "hidden.bmp"}, dir_.path());
    QCOMPARE(reveal.status, 0);
    QCOMPARE(reveal.out, text);
}

QTEST_GUILESS_MAIN(tst_Cli)
#include "tst_cli.moc"
