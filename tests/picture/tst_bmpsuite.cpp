#include "picture/picture_surface.h"
#include "support/test_pictures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace lumenveil;
using namespace lumenveil::test;

namespace {

const QString Corpus = QStringLiteral(LUMENVEIL_TESTDATA_DIR "/bmpsuite");

} // namespace

// The bmpsuite corpus of good, questionable and bad bitmaps, each file against the result that
// bmpsuite_expected.tsv records for it: a good file loads and saves exactly, any other either
// loads or fails with its own clear reason, and a failed load leaves the surface as it was.
class tst_Bmpsuite : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyFileIsListed();
    void file_data();
    void file();

private:
    QMap<QString, QString> expected_;
    QTemporaryDir dir_;
};

void tst_Bmpsuite::initTestCase()
{
    if (!QDir(Corpus).exists()) {
        QSKIP(qPrintable("the bmpsuite corpus is not at " + Corpus + "; its cases are skipped"));
    }
    QFile table(QFINDTESTDATA("bmpsuite_expected.tsv"));
    QVERIFY(table.open(QIODevice::ReadOnly | QIODevice::Text));
    while (!table.atEnd()) {
        const QString line = QString::fromUtf8(table.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith('#')) {
            continue;
        }
        const QStringList fields = line.split('\t');
        QCOMPARE(fields.size(), 2);
        expected_.insert(fields[0], fields[1]);
    }
    QVERIFY(expected_.size() > 50);
}

void tst_Bmpsuite::everyFileIsListed()
{
    QStringList unlisted;
    for (const QString folder : {"g", "q", "b"}) {
        for (const QString& name : QDir(Corpus + '/' + folder).entryList({"*.bmp"}, QDir::Files)) {
            if (!expected_.contains(folder + '/' + name)) {
                unlisted << folder + '/' + name;
            }
        }
    }
    QVERIFY2(unlisted.isEmpty(), qPrintable("not in the table: " + unlisted.join(", ")));
}

void tst_Bmpsuite::file_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    for (auto it = expected_.cbegin(); it != expected_.cend(); ++it) {
        QTest::newRow(qPrintable(it.key())) << it.key() << it.value();
    }
}

void tst_Bmpsuite::file()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);

    PictureSurface surface;
    QVERIFY(WriteImage(PhotoLikeImage(7, 5), dir_.filePath("before.png"), "png"));
    QVERIFY(surface.LoadImageFile(dir_.filePath("before.png")).ok());
    const std::vector<ColorValue> before = SurfacePixels(surface);

    const QString file = Corpus + '/' + path;
    if (!QFile::exists(file)) {
        QSKIP("not in this copy of the corpus");
    }
    const PictureResult result = surface.LoadImageFile(file);
    if (expected == QLatin1String("loads")) {
        QVERIFY2(result.ok(), qPrintable(DescribePictureResult(result, path)));
        const QString saved = dir_.filePath("saved.bmp");
        QVERIFY(surface.SaveBitmapFile(saved).ok());
        PictureSurface reloaded;
        QVERIFY(reloaded.LoadImageFile(saved).ok());
        QCOMPARE(reloaded.ImageWidth(), surface.ImageWidth());
        QCOMPARE(reloaded.ImageHeight(), surface.ImageHeight());
        QVERIFY(SurfacePixels(reloaded) == SurfacePixels(surface));
        return;
    }

    static const QMap<QString, PictureStatus> statuses = {
        {"Damaged", PictureStatus::Damaged},
        {"Unsupported", PictureStatus::Unsupported},
        {"TooLarge", PictureStatus::TooLarge},
    };
    QVERIFY2(statuses.contains(expected), qPrintable("unknown expectation " + expected));
    QCOMPARE(result.status, statuses.value(expected));
    QVERIFY(!result.reason.isEmpty());
    QCOMPARE(surface.ImageWidth(), 7);
    QVERIFY(SurfacePixels(surface) == before);
}

QTEST_GUILESS_MAIN(tst_Bmpsuite)
#include "tst_bmpsuite.moc"
