#include "app/directory_listing.h"
#include "app/functions.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
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
        calls << QStringLiteral("init common controls");
        if (initFails) {
            throw std::runtime_error("comctl32 has no InitCommonControlsEx");
        }
    }
    QString ProgramFolder() override
    {
        calls << QStringLiteral("program folder");
        return folder;
    }
    QString ListDirectory(const QString& path) override
    {
        calls << QStringLiteral("list ") + path;
        return app::ListDirectory(path);
    }
    int ShowMessage(const QString& prompt, int style, const QString& title) override
    {
        calls << QStringLiteral("message %1 | %2 | %3").arg(prompt, title).arg(style);
        return 1;
    }
    void ShowMainWindow() override { calls << QStringLiteral("main window"); }

    QString folder;
    bool initFails = false;
    QStringList calls;
};

} // namespace

class tst_Startup : public QObject
{
    Q_OBJECT

private slots:
    void companionFiles_data();
    void companionFiles();
    void appFolder_data();
    void appFolder();
    void buildPutsCompanionsBesideProgram();
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
    const auto running = StartupOutcome::Running;
    const auto noOcx = StartupOutcome::CommonDialogMissing;
    const auto noManifest = StartupOutcome::ManifestMissing;
    row("both there", {ocx, manifest}, running);
    row("a failing initialisation is no matter", {ocx, manifest, "init fails"}, running);
    row("OCX missing", {manifest}, noOcx);
    row("manifest missing", {ocx}, noManifest);
    row("both missing: only the OCX is reported", {}, noOcx);
    row("at the root, the separator not doubled", {"root"}, noOcx);
    row("comdlg32.ocx in lower case", {"file comdlg32.ocx", manifest}, noOcx);
    row("a folder named COMDLG32.OCX", {"folder COMDLG32.OCX", manifest}, noOcx);
    row("a folder named like the manifest", {ocx, "folder Lumenveil v1.1.exe.manifest"},
        noManifest);
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
        QFile file(dir.filePath(name));
        if (entry == "root") {
            platform.folder = QDir::toNativeSeparators(QDir::rootPath());
        } else if (entry == "init fails") {
            platform.initFails = true;
        } else {
            QVERIFY(entry.startsWith("folder") ? dir.mkdir(name) : file.open(QIODevice::WriteOnly));
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

void tst_Startup::appFolder_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("expected");

    const auto row = [](const char* name, const char* folder, const char* expected) {
        QTest::newRow(name) << folder << expected;
    };
    row("Windows folder", "C:\\Tools", "C:\\Tools\\");
    row("Windows drive root", "D:\\", "D:\\");
    row("Unix folder", "/opt/lumenveil", "/opt/lumenveil/");
    row("Unix root", "/", "/");
}

void tst_Startup::appFolder()
{
    QFETCH(QString, folder);
    QFETCH(QString, expected);
    QCOMPARE(app::WithTrailingSeparator(folder, expected.back()), expected);
}

void tst_Startup::buildPutsCompanionsBesideProgram()
{
    FakePlatform platform;
    platform.folder = QDir::toNativeSeparators(QStringLiteral(LUMENVEIL_PROGRAM_DIR));
    QCOMPARE(app::Main(platform), StartupOutcome::Running);

    // A real application manifest: well-formed, with common controls 6 and awareness of
    // display scaling.
    QFile file(QDir(QStringLiteral(LUMENVEIL_PROGRAM_DIR)).filePath("Lumenveil v1.1.exe.manifest"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray manifest = file.readAll();
    QXmlStreamReader xml(manifest);
    while (!xml.atEnd()) {
        xml.readNext();
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QVERIFY(manifest.contains("name=\"Microsoft.Windows.Common-Controls\" version=\"6."));
    QVERIFY(manifest.contains(">PerMonitorV2"));
}

QTEST_GUILESS_MAIN(tst_Startup)
#include "tst_startup.moc"
