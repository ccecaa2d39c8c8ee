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
    QTest::addColumn<QString>("shown");

    const QString ocx = QStringLiteral("file COMDLG32.OCX");
    const QString manifest = QStringLiteral("file Lumenveil v1.1.exe.manifest");
    const QString ocxMissing =
        QStringLiteral("message COMDLG32.OCX missing. | Lumenveil v1.1 | 16");
    const QString manifestMissing =
        QStringLiteral("message Manifest file missing. | Lumenveil v1.1 | 16");
    const auto running = StartupOutcome::Running;
    const auto noOcx = StartupOutcome::CommonDialogMissing;
    const auto noManifest = StartupOutcome::ManifestMissing;
    QTest::newRow("both there") << QStringList{ocx, manifest} << running << "main window";
    QTest::newRow("a failing initialisation is no matter")
        << QStringList{ocx, manifest, "init fails"} << running << "main window";
    QTest::newRow("OCX missing") << QStringList{manifest} << noOcx << ocxMissing;
    QTest::newRow("manifest missing") << QStringList{ocx} << noManifest << manifestMissing;
    QTest::newRow("both missing: only the OCX is reported") << QStringList{} << noOcx << ocxMissing;
    QTest::newRow("at the root, the separator not doubled")
        << QStringList{"root"} << noOcx << ocxMissing;
    QTest::newRow("comdlg32.ocx in lower case")
        << QStringList{"file comdlg32.ocx", manifest} << noOcx << ocxMissing;
    QTest::newRow("a folder named COMDLG32.OCX")
        << QStringList{"folder COMDLG32.OCX", manifest} << noOcx << ocxMissing;
    QTest::newRow("a folder named like the manifest")
        << QStringList{ocx, "folder Lumenveil v1.1.exe.manifest"} << noManifest << manifestMissing;
}

void tst_Startup::companionFiles()
{
    QFETCH(QStringList, entries);
    QFETCH(StartupOutcome, outcome);
    QFETCH(QString, shown);

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

    // Initialisation first; then both look-ups, each with a fresh folder query, before
    // anything is shown.
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

    QTest::newRow("Windows folder") << "C:\\Tools"
                                    << "C:\\Tools\\";
    QTest::newRow("Windows drive root") << "D:\\"
                                        << "D:\\";
    QTest::newRow("Unix folder") << "/opt/lumenveil"
                                 << "/opt/lumenveil/";
    QTest::newRow("Unix root") << "/"
                               << "/";
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

    // A real application manifest: common controls 6 and awareness of display scaling.
    QFile file(QDir(QStringLiteral(LUMENVEIL_PROGRAM_DIR)).filePath("Lumenveil v1.1.exe.manifest"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    QStringList found;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        const QXmlStreamAttributes attributes = xml.attributes();
        if (xml.name() == QLatin1String("assemblyIdentity") &&
            attributes.value("name") == QLatin1String("Microsoft.Windows.Common-Controls")) {
            found << "common controls " + attributes.value("version").left(1).toString();
        } else if (xml.name() == QLatin1String("dpiAwareness")) {
            found << xml.readElementText().section(',', 0, 0);
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(found.join(" | "), QStringLiteral("common controls 6 | PerMonitorV2"));
}

QTEST_GUILESS_MAIN(tst_Startup)
#include "tst_startup.moc"
