#include "app/directory_listing.h"
#include "app/frm_splash.h"
#include "app/functions.h"
#include "ui/fake_toolkit.h"

#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <QXmlStreamReader>

#include <stdexcept>

using namespace lumenveil;
using lumenveil::app::StartupOutcome;

Q_DECLARE_METATYPE(lumenveil::app::StartupOutcome)

namespace {

// Notes what start-up asks of the platform. The listing is the real one on `folder`.
class FakePlatform final : public app::StartupPlatform
{
public:
    void InitCommonControls() override
    {
        if (Note("init common controls", initFails)) {
            throw std::runtime_error("comctl32 has no InitCommonControlsEx");
        }
    }
    QString ProgramFolder() override { return Note("program folder", folder); }
    QString ListDirectory(const QString& path) override
    {
        return Note("list " + path, app::ListDirectory(path));
    }
    int ShowMessage(const QString& prompt, int style, const QString& title) override
    {
        return Note(QStringLiteral("message %1 | %2 | %3").arg(prompt, title).arg(style), 1);
    }
    void ShowMainWindow() override { Note("main window", 0); }

    template <class T> T Note(const QString& call, T result)
    {
        calls << call;
        return result;
    }

    QString folder;
    bool initFails = false;
    QStringList calls;
};

} // namespace

// Start-up, and the About window it prepares for the main window.
class tst_Startup : public QObject
{
    Q_OBJECT

private slots:
    void companionFiles_data();
    void companionFiles();
    void paths_data();
    void paths();
    void manifest();
    void aboutWindow_data();
    void aboutWindow();
};

void tst_Startup::companionFiles_data()
{
    // "file NAME" and "folder NAME" are made in the program folder; "root" runs from the root,
    // "init fails" makes the initialisation throw.
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<StartupOutcome>("outcome");

    const auto row = [](const char* name, const QStringList& entries, StartupOutcome outcome) {
        QTest::newRow(name) << entries << outcome;
    };
    const QString ocx = QStringLiteral("file COMDLG32.OCX");
    const QString manifest = QStringLiteral("file Lumenveil v1.1.exe.manifest");
    using enum StartupOutcome;
    row("both there", {ocx, manifest}, Running);
    row("a failing initialisation is no matter", {ocx, manifest, "init fails"}, Running);
    row("OCX missing", {manifest}, CommonDialogMissing);
    row("manifest missing", {ocx}, ManifestMissing);
    row("both missing: only the OCX is reported", {}, CommonDialogMissing);
    row("at the root, the separator not doubled", {"root"}, CommonDialogMissing);
    row("comdlg32.ocx in lower case", {"file comdlg32.ocx", manifest}, CommonDialogMissing);
    row("a folder named COMDLG32.OCX", {"folder COMDLG32.OCX", manifest}, CommonDialogMissing);
    row("a folder named like the manifest", {ocx, "folder Lumenveil v1.1.exe.manifest"},
        ManifestMissing);
}

void tst_Startup::companionFiles()
{
    QFETCH(QStringList, entries);
    QFETCH(StartupOutcome, outcome);

    QTemporaryDir folder;
    const QDir dir(folder.path());
    FakePlatform platform;
    platform.folder = QDir::toNativeSeparators(folder.path());
    for (const QString& entry : entries) {
        const QString name = entry.section(' ', 1);
        if (entry == "root") {
            platform.folder = QDir::toNativeSeparators(QDir::rootPath());
        } else if (entry == "init fails") {
            platform.initFails = true;
        } else {
            QVERIFY(entry.startsWith("folder")
                        ? dir.mkdir(name)
                        : QFile(dir.filePath(name)).open(QIODevice::WriteOnly));
        }
    }
    QCOMPARE(app::Main(platform), outcome);

    // Initialisation first; then both look-ups, each with a fresh folder query, before one
    // thing is shown: the main window, or a box that names the first missing file.
    const QString shown =
        QStringList{"main window", "message COMDLG32.OCX missing. | Lumenveil v1.1 | 16",
                    "message Manifest file missing. | Lumenveil v1.1 | 16"}
            .at(static_cast<int>(outcome));
    const QString at = platform.folder.endsWith(QDir::separator())
                           ? platform.folder
                           : platform.folder + QDir::separator();
    QCOMPARE(platform.calls,
             (QStringList{"init common controls", "program folder", "list " + at + "COMDLG32.OCX",
                          "program folder", "list " + at + "Lumenveil v1.1.exe.manifest", shown}));
}

void tst_Startup::paths_data()
{
    QTest::addColumn<QString>("configured"); // the About window's address; empty: none
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("expected"); // the program folder, or the address

    const auto row = [](const char* name, const char* configured, const char* folder,
                        const char* expected) {
        QTest::newRow(name) << configured << folder << expected;
    };
    row("a Windows folder ends in one separator", "", "C:\\Tools", "C:\\Tools\\");
    row("a Windows drive root keeps its one", "", "D:\\", "D:\\");
    row("a web address is kept", "https://lumenveil.invalid/home", "/opt/lumenveil/",
        "https://lumenveil.invalid/home");
    row("a file name is the file in the program folder", "help.htm", "/home/ann/My Programs/",
        "file:///home/ann/My%20Programs/help.htm");
}

void tst_Startup::paths()
{
    QFETCH(QString, configured);
    QFETCH(QString, folder);
    QFETCH(QString, expected);
    QCOMPARE(configured.isEmpty() ? app::WithTrailingSeparator(folder, expected.back())
                                  : app::WebsiteAddress(configured, folder),
             expected);
}

void tst_Startup::manifest()
{
    // The application manifest beside the program (the window test starts the program there):
    // well-formed, with common controls 6 and awareness of display scaling.
    QFile file(QDir(QStringLiteral(LUMENVEIL_PROGRAM_DIR)).filePath("Lumenveil v1.1.exe.manifest"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray manifest = file.readAll();
    QXmlStreamReader xml(manifest);
    while (xml.readNext() != QXmlStreamReader::Invalid && !xml.atEnd()) {
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QVERIFY(manifest.contains("name=\"Microsoft.Windows.Common-Controls\" version=\"6."));
    QVERIFY(manifest.contains(">PerMonitorV2"));
}

void tst_Startup::aboutWindow_data()
{
    QTest::addColumn<QPoint>("click"); // where the left button is clicked, or
    QTest::addColumn<int>("key");      // the key pressed
    QTest::addColumn<bool>("link");    // the pointer there is the hand, and a click opens the page
    QTest::addColumn<bool>("closes");
    QTest::addColumn<bool>("owned"); // opened from a window and centred on it, or on the screen

    const auto row = [](const char* name, QPoint click, int key, bool link, bool closes,
                        bool owned = true) {
        QTest::newRow(name) << click << key << link << closes << owned;
    };
    row("the link", {388, 185}, 0, true, false);
    row("the link's top-left corner", {323, 177}, 0, true, false);
    row("the link's bottom-right corner", {453, 193}, 0, true, false);
    row("just left of the link", {322, 185}, 0, false, true);
    row("just above the link", {388, 176}, 0, false, true);
    row("just below the link", {388, 194}, 0, false, true);
    row("the artwork", {100, 60}, 0, false, true);
    row("Esc", {}, Qt::Key_Escape, false, true);
    row("Enter", {}, Qt::Key_Return, false, true);
    row("Space, in a window opened without an owner", {}, Qt::Key_Space, false, true, false);
    row("another key", {}, Qt::Key_A, false, false);
}

void tst_Startup::aboutWindow()
{
    QFETCH(QPoint, click);
    QFETCH(int, key);
    QFETCH(bool, link);
    QFETCH(bool, closes);
    QFETCH(bool, owned);

    QWidget owner;
    owner.setGeometry(300, 200, 387, 478);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    test::FakeToolkit shell;
    app::SplashAboutWindow about(shell, QStringLiteral("https://lumenveil.invalid/"));

    // Each opening builds a window, centred on its owner or the screen, that shows the artwork,
    // keeps its cancel button, with the focus, 1000 twips beyond its right edge, and takes input.
    QPointer<app::frmSplash> splash;
    QString seen = QStringLiteral("not opened");
    QTimer::singleShot(0, this, [&] {
        splash = qobject_cast<app::frmSplash*>(QApplication::activeModalWidget());
        if (splash != nullptr) {
            const auto* escape = splash->findChild<QPushButton*>(QStringLiteral("cmdEscape"));
            const bool focus =
                QTest::qWaitFor([&] { return QApplication::focusWidget() == escape; });
            const QSize artwork =
                splash->findChild<QLabel*>(QStringLiteral("imgSplash"))->pixmap().size();
            // The control under the point takes the click; the hand's hot spot is its corner.
            const QCursor cursor = splash->childAt(key != 0 ? QPoint() : click)->cursor();
            const QPoint off = splash->geometry().center() -
                               (owned ? owner.geometry().center()
                                      : splash->screen()->availableGeometry().center());
            seen = QString::asprintf(
                "centre %d,%d artwork %dx%d escape at %d %s, %s cursor %d hot at %d", off.x(),
                off.y(), artwork.width(), artwork.height(), escape->x(),
                focus ? "with the focus" : "without",
                cursor.shape() == Qt::BitmapCursor ? "hand" : "arrow", cursor.pixmap().width(),
                cursor.hotSpot().x() + cursor.hotSpot().y());
            if (key != 0) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
            } else {
                QTest::mouseClick(splash->windowHandle(), Qt::LeftButton, {}, click);
            }
            seen += QTest::qWaitFor([&] { return !splash->isVisible(); }, closes ? 5000 : 0)
                        ? ", closed"
                        : ", still open";
        }
        while (QWidget* modal = QApplication::activeModalWidget()) {
            modal->close();
        }
    });
    about.ShowModal(owned ? &owner : nullptr);
    QCOMPARE(seen, QStringLiteral("centre 0,0 artwork 460x200 escape at 527 with the focus, %1 "
                                  "hot at 0%2")
                       .arg(link ? "hand cursor 32" : "arrow cursor 0",
                            closes ? ", closed" : ", still open"));
    QVERIFY2(splash.isNull(), "a closed About window is destroyed");
    QCOMPARE(shell.journal.join(' '),
             link ? "shell open https://lumenveil.invalid/ [] in  show 5" : "");
}

QTEST_MAIN(tst_Startup)
#include "tst_startup.moc"
