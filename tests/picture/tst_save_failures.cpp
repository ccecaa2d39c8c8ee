#include "picture/picture_surface.h"
#include "support/mounts.h"
#include "support/test_pictures.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace lumenveil;
using namespace lumenveil::test;

namespace {

constexpr char Original[] = "the user's own file, which a failed save must never touch";

} // namespace

// A failed save reports why, leaves an existing file byte for byte as it was, and leaves no
// temporary file behind.
class tst_SaveFailures : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void failingDisk_data();
    void failingDisk();
    void folderRemovedAfterLoading();
    void targetIsAFolder();
    void readOnlyFile();

private:
    static void CheckOnlyOriginalLeft(const QString& folder, const QString& original);

    PictureSurface surface_;
    QTemporaryDir source_;
};

void tst_SaveFailures::initTestCase()
{
    // 200 x 200: a 120 KB bitmap, more than a nearly full scratch disk can take.
    QVERIFY(WriteImage(PhotoLikeImage(200, 200), source_.filePath("photo.png"), "png"));
    QVERIFY(surface_.LoadImageFile(source_.filePath("photo.png")).ok());
}

void tst_SaveFailures::CheckOnlyOriginalLeft(const QString& folder, const QString& original)
{
    const QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    QCOMPARE(left.filter(QRegularExpression("^(?!\\.filler$)")), QStringList{original});
    QCOMPARE(ReadBytes(QDir(folder).filePath(original)), QByteArray(Original));
}

void tst_SaveFailures::failingDisk_data()
{
    AddFailingDiskRows();
}

void tst_SaveFailures::failingDisk()
{
    QFETCH(QString, disk);
    QFETCH(QString, reason);
    ScratchMount mount;
    if (!mount.isMounted()) {
        QSKIP(qPrintable(mount.error()));
    }
    QVERIFY(WriteBytes(mount.filePath("photo.bmp"), Original));
    QVERIFY(mount.breakFor(disk, "photo.bmp"));

    const PictureResult result = surface_.SaveBitmapFile(mount.filePath("photo.bmp"));
    QCOMPARE(result.status, PictureStatus::CannotWrite);
    QVERIFY2(result.reason.contains(reason), qPrintable(result.reason));
    CheckOnlyOriginalLeft(mount.path(), "photo.bmp");
}

void tst_SaveFailures::folderRemovedAfterLoading()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("gone");
    QVERIFY(QDir().mkdir(folder));
    QVERIFY(QDir(folder).removeRecursively());
    const PictureResult result = surface_.SaveBitmapFile(folder + "/photo.bmp");
    QCOMPARE(result.status, PictureStatus::CannotWrite);
    QVERIFY(!result.reason.isEmpty());
    QVERIFY(!QFileInfo::exists(folder));
}

void tst_SaveFailures::targetIsAFolder()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("photo.bmp"));
    const PictureResult result = surface_.SaveBitmapFile(dir.filePath("photo.bmp"));
    QCOMPARE(result.status, PictureStatus::CannotWrite);
    QVERIFY(QFileInfo(dir.filePath("photo.bmp")).isDir());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void tst_SaveFailures::readOnlyFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("photo.bmp");
    QVERIFY(WriteBytes(path, Original));
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    if (QFileInfo(path).isWritable()) {
        QSKIP("running as root: a read-only mode does not stop root from writing");
    }
    const PictureResult result = surface_.SaveBitmapFile(path);
    QCOMPARE(result.status, PictureStatus::CannotWrite);
    CheckOnlyOriginalLeft(dir.path(), "photo.bmp");
}

QTEST_GUILESS_MAIN(tst_SaveFailures)
#include "tst_save_failures.moc"
