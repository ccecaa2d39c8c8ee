#include "app/directory_listing.h"
#include "app/functions.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <stdexcept>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace lumenveil;
using lumenveil::app::StartupOutcome;

Q_DECLARE_METATYPE(lumenveil::app::StartupOutcome)

namespace {

const QString OcxMissing = QStringLiteral("message COMDLG32.OCX missing. | Lumenveil v1.1 | 16");
const QString ManifestMissing =
    QStringLiteral("message Manifest file missing. | Lumenveil v1.1 | 16");
const QString MainWindow = QStringLiteral("main window");

// Records what start-up asks of the platform. The listing is the real one on `folder`.
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
    void ShowMainWindow() override { calls << MainWindow; }

    // What start-up showed the user.
    [[nodiscard]] QStringList Shown() const
    {
        QStringList shown;
        for (const QString& call : calls) {
            if (call.startsWith(QLatin1String("message")) || call == MainWindow) {
                shown << call;
            }
        }
        return shown;
    }

    QString folder;
    bool initFails = false;
    QStringList calls;
};

// Makes "file NAME", "folder NAME", "link NAME -> TARGET" or "pipe NAME" in `folder`.
bool Make(const QDir& folder, const QString& entry)
{
    const QString kind = entry.section(QLatin1Char(' '), 0, 0);
    const QString rest = entry.section(QLatin1Char(' '), 1);
    if (kind == QLatin1String("file")) {
        QFile file(folder.filePath(rest));
        return file.open(QIODevice::WriteOnly) && file.write("companion") > 0;
    }
    if (kind == QLatin1String("folder")) {
        return folder.mkdir(rest);
    }
    if (kind == QLatin1String("link")) {
        return QFile::link(rest.section(QLatin1String(" -> "), 1),
                           folder.filePath(rest.section(QLatin1String(" -> "), 0, 0)));
    }
#ifdef Q_OS_UNIX
    if (kind == QLatin1String("pipe")) {
        return ::mkfifo(QFile::encodeName(folder.filePath(rest)).constData(), 0600) == 0;
    }
#endif
    return false;
}

} // namespace

class tst_Startup : public QObject
{
    Q_OBJECT

private slots:
    void companionFiles_data();
    void companionFiles();
    void orderOfWork();
    void initFailureIsSwallowed();
    void appFolder_data();
    void appFolder();
    void buildPutsCompanionsBesideProgram();
};

void tst_Startup::companionFiles_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<StartupOutcome>("outcome");
    QTest::addColumn<QString>("shown");

    const QString ocx = QStringLiteral("file COMDLG32.OCX");
    const QString manifest = QStringLiteral("file Lumenveil v1.1.exe.manifest");
    QTest::newRow("both there") << QStringList{ocx, manifest} << StartupOutcome::Running
                                << MainWindow;
    QTest::newRow("OCX missing") << QStringList{manifest} << StartupOutcome::CommonDialogMissing
                                 << OcxMissing;
    QTest::newRow("manifest missing")
        << QStringList{ocx} << StartupOutcome::ManifestMissing << ManifestMissing;
    QTest::newRow("both missing: only the OCX is reported")
        << QStringList{} << StartupOutcome::CommonDialogMissing << OcxMissing;
    QTest::newRow("comdlg32.ocx in lower case")
        << QStringList{"file comdlg32.ocx", manifest} << StartupOutcome::CommonDialogMissing
        << OcxMissing;
    QTest::newRow("a folder named COMDLG32.OCX")
        << QStringList{"folder COMDLG32.OCX", manifest} << StartupOutcome::CommonDialogMissing
        << OcxMissing;
    QTest::newRow("a folder named like the manifest")
        << QStringList{ocx, "folder Lumenveil v1.1.exe.manifest"} << StartupOutcome::ManifestMissing
        << ManifestMissing;
}

void tst_Startup::companionFiles()
{
    QFETCH(QStringList, entries);
    QFETCH(StartupOutcome, outcome);
    QFETCH(QString, shown);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    for (const QString& entry : entries) {
        QVERIFY2(Make(QDir(folder.path()), entry), qPrintable(entry));
    }
    FakePlatform platform;
    platform.folder = QDir::toNativeSeparators(folder.path());

    QCOMPARE(app::Main(platform), outcome);
    QCOMPARE(platform.Shown(), QStringList{shown});
}

void tst_Startup::orderOfWork()
{
    FakePlatform platform;
    platform.folder = QDir::toNativeSeparators(QDir::rootPath());
    QCOMPARE(app::Main(platform), StartupOutcome::CommonDialogMissing);

    // Initialisation first; then both look-ups, each with a fresh folder query, before
    // anything is shown. At the root the separator is not doubled.
    const QString root = platform.folder;
    const QStringList expected{
        "init common controls",
        "program folder",
        "list " + root + "COMDLG32.OCX",
        "program folder",
        "list " + root + "Lumenveil v1.1.exe.manifest",
        OcxMissing,
    };
    QCOMPARE(platform.calls, expected);
}

void tst_Startup::initFailureIsSwallowed()
{
    QTemporaryDir folder;
    QVERIFY(Make(QDir(folder.path()), QStringLiteral("file COMDLG32.OCX")));
    QVERIFY(Make(QDir(folder.path()), QStringLiteral("file Lumenveil v1.1.exe.manifest")));
    FakePlatform platform;
    platform.folder = QDir::toNativeSeparators(folder.path());
    platform.initFails = true;

    QCOMPARE(app::Main(platform), StartupOutcome::Running);
    QCOMPARE(platform.Shown(), QStringList{MainWindow});
}

void tst_Startup::appFolder_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("expected");

    QTest::newRow("Windows folder") << "C:\\Tools" << QChar('\\') << "C:\\Tools\\";
    QTest::newRow("Windows drive root") << "D:\\" << QChar('\\') << "D:\\";
    QTest::newRow("Unix folder") << "/opt/lumenveil" << QChar('/') << "/opt/lumenveil/";
    QTest::newRow("Unix root") << "/" << QChar('/') << "/";
}

void tst_Startup::appFolder()
{
    QFETCH(QString, folder);
    QFETCH(QChar, separator);
    QFETCH(QString, expected);

    QCOMPARE(app::WithTrailingSeparator(folder, separator), expected);
    if (separator == app::FolderSeparator) {
        FakePlatform platform;
        platform.folder = folder;
        QCOMPARE(app::AppFolder(platform), expected);
    }
}

void tst_Startup::buildPutsCompanionsBesideProgram()
{
    FakePlatform platform;
    platform.folder = QDir::toNativeSeparators(QStringLiteral(LUMENVEIL_PROGRAM_DIR));
    QCOMPARE(app::Main(platform), StartupOutcome::Running);

    // A real application manifest: common controls 6 and awareness of display scaling.
    QFile file(QDir(QStringLiteral(LUMENVEIL_PROGRAM_DIR))
                   .filePath(QStringLiteral("Lumenveil v1.1.exe.manifest")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    bool commonControls6 = false;
    bool dpiAwareness = false;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        const QXmlStreamAttributes attributes = xml.attributes();
        if (xml.name() == QLatin1String("assemblyIdentity") &&
            attributes.value(QLatin1String("name")) ==
                QLatin1String("Microsoft.Windows.Common-Controls")) {
            commonControls6 = attributes.value(QLatin1String("version")).startsWith(u'6');
        } else if (xml.name() == QLatin1String("dpiAwareness")) {
            dpiAwareness = xml.readElementText().contains(QLatin1String("PerMonitorV2"));
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QVERIFY(commonControls6);
    QVERIFY(dpiAwareness);
}

QTEST_GUILESS_MAIN(tst_Startup)
#include "tst_startup.moc"
