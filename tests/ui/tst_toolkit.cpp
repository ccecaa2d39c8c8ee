#include "ui/file_dialog.h"
#include "ui/message_box.h"
#include "ui/shell.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

using namespace lumenveil::ui;

namespace {

constexpr char OpenFilter[] =
    "Images Files (*.bmp,*.jpg,*.jpeg,*.gif)|*.bmp;*.jpg;*.jpeg;*.gif|Bitmap Files "
    "(*.bmp)|*.bmp|JPEG Files (*.jpg,*.jpeg)|*.jpg;*.jpeg|Compuserve GIF Files (*.gif)|*.gif";

// Takes the addresses that QDesktopServices would hand to the desktop.
class UrlRecorder : public QObject
{
    Q_OBJECT

public slots:
    void open(const QUrl& url) { opened << url.toString(); }

public:
    QStringList opened;
};

// Closes whatever modal window is still open after `ms`, so that a test cannot hang on one,
// and notes its title.
void CloseStrayWindowsAfter(int ms, QStringList& closed)
{
    QTimer::singleShot(ms, qApp, [&closed] {
        while (QWidget* modal = QApplication::activeModalWidget()) {
            closed << modal->windowTitle();
            modal->close();
        }
    });
}

} // namespace

// The Qt side of the toolkit layer: real message boxes answered from inside, and the file
// dialog's filter as Qt reads it.
class tst_Toolkit : public QObject
{
    Q_OBJECT

private slots:
    void qtBox_data();
    void qtBox();
    void nameFilters_data();
    void nameFilters();
    void shellOpens_data();
    void shellOpens();
    void saveDialogLeavesTheQuestionToItsCaller();
};

void tst_Toolkit::qtBox_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("press"); // a key, or 0 to click the button named below
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("shownTitle");

    const QString program = QStringLiteral("Lumenveil v1.1");
    QTest::newRow("OK box answers 1")
        << 16 << QString() << 0 << "OK" << AnswerOk << int(QMessageBox::Critical) << "Lumenveil";
    QTest::newRow("Esc closes an OK box with 1")
        << 48 << program << int(Qt::Key_Escape) << "" << AnswerOk << int(QMessageBox::Warning)
        << program;
    QTest::newRow("Yes answers 6")
        << 292 << program << 0 << "Yes" << AnswerYes << int(QMessageBox::Question) << program;
    QTest::newRow("No answers 7") << 292 << program << 0 << "No" << AnswerNo
                                  << int(QMessageBox::Question) << program;
    QTest::newRow("Enter takes the default, No")
        << 292 << program << int(Qt::Key_Return) << "" << AnswerNo << int(QMessageBox::Question)
        << program;
    QTest::newRow("Enter takes the default, Yes")
        << 36 << program << int(Qt::Key_Return) << "" << AnswerYes << int(QMessageBox::Question)
        << program;
    QTest::newRow("Esc answers No") << 292 << program << int(Qt::Key_Escape) << "" << AnswerNo
                                    << int(QMessageBox::Question) << program;
}

void tst_Toolkit::qtBox()
{
    QFETCH(int, style);
    QFETCH(QString, title);
    QFETCH(int, press);
    QFETCH(QString, button);
    QFETCH(int, answer);
    QFETCH(int, icon);
    QFETCH(QString, shownTitle);

    QString seenTitle;
    QString seenText;
    int seenIcon = -1;
    bool answered = false;
    QTimer::singleShot(0, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;
        }
        seenTitle = box->windowTitle();
        seenText = box->text();
        seenIcon = box->icon();
        if (press != 0) {
            QTest::keyClick(box, Qt::Key(press));
            answered = true;
            return;
        }
        for (QAbstractButton* candidate : box->buttons()) {
            if (candidate->text().remove(QLatin1Char('&')) == button) {
                candidate->click();
                answered = true;
                return;
            }
        }
        box->done(0); // never leave the box waiting
    });

    QtMessageBoxes boxes;
    const int got =
        ShowMessage(boxes, nullptr, QStringLiteral("A <b>plain</b> text"), style, title);
    QVERIFY2(answered, "the box did not offer the button to press");
    QCOMPARE(got, answer);
    QCOMPARE(seenTitle, shownTitle);
    QCOMPARE(seenText, QStringLiteral("A <b>plain</b> text"));
    QCOMPARE(seenIcon, icon);
}

void tst_Toolkit::nameFilters_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("the Open dialog's four entries")
        << QString::fromLatin1(OpenFilter)
        << QStringList{"Images Files (*.bmp,*.jpg,*.jpeg,*.gif) (*.bmp *.jpg *.jpeg *.gif)",
                       "Bitmap Files (*.bmp) (*.bmp)", "JPEG Files (*.jpg,*.jpeg) (*.jpg *.jpeg)",
                       "Compuserve GIF Files (*.gif) (*.gif)"};
    QTest::newRow("the Save dialog's one entry") << QStringLiteral("Bitmap Files (*.bmp)|*.bmp")
                                                 << QStringList{"Bitmap Files (*.bmp) (*.bmp)"};
    QTest::newRow("a description without patterns matches everything")
        << QStringLiteral("Text|*.txt|All") << QStringList{"Text (*.txt)", "All (*)"};
    QTest::newRow("no filter") << QString() << QStringList{};
}

void tst_Toolkit::nameFilters()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    QCOMPARE(QtNameFilters(filter), expected);
}

void tst_Toolkit::shellOpens_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("pageThere"); // help.htm lies in the folder
    QTest::addColumn<QString>("opened"); // "%1" stands for the folder; empty: nothing opened

    QTest::newRow("the help page") << "help.htm" << true << "file://%1/help.htm";
    QTest::newRow("no help page: nothing happens") << "help.htm" << false << "";
    QTest::newRow("a web address")
        << "https://lumenveil.invalid/about" << false << "https://lumenveil.invalid/about";
    QTest::newRow("a file address")
        << "file:///opt/lumenveil/help.htm" << false << "file:///opt/lumenveil/help.htm";
}

void tst_Toolkit::shellOpens()
{
    QFETCH(QString, file);
    QFETCH(bool, pageThere);
    QFETCH(QString, opened);

    QTemporaryDir folder;
    if (pageThere) {
        QFile page(folder.filePath(QStringLiteral("help.htm")));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<!DOCTYPE html><title>Help</title>");
    }
    UrlRecorder recorder;
    for (const char* scheme : {"file", "https"}) {
        QDesktopServices::setUrlHandler(QLatin1String(scheme), &recorder, "open");
    }

    QtShell shell;
    shell.Open(nullptr, QStringLiteral("Open"), file, QString(), folder.path() + QLatin1Char('/'),
               ShowNormal);

    for (const char* scheme : {"file", "https"}) {
        QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
    }
    const QStringList expected = opened.isEmpty()
                                     ? QStringList()
                                     : QStringList{QString(opened).replace("%1", folder.path())};
    QCOMPARE(recorder.opened, expected);
}

void tst_Toolkit::saveDialogLeavesTheQuestionToItsCaller()
{
    // Qt's own Save dialog, accepted with the name of an existing file, answers at once: the
    // main window asks its own question, and one question is enough.
    QTemporaryDir folder;
    const QString existing = folder.filePath(QStringLiteral("photo.bmp"));
    QFile file(existing);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("BM") == 2);
    file.close();

    QtFileDialog dialog(false);
    dialog.Properties().flags = DialogHideReadOnly | DialogPathMustExist | DialogFileMustExist;
    dialog.Properties().filter = QStringLiteral("Bitmap Files (*.bmp)|*.bmp");
    dialog.Properties().fileName = existing;

    QStringList stray;
    bool offered = false;
    QTimer::singleShot(0, this, [&] {
        auto* shown = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (shown == nullptr) {
            return;
        }
        offered = shown->selectedFiles() == QStringList{existing};
        QMetaObject::invokeMethod(shown, "accept");
    });
    CloseStrayWindowsAfter(3000, stray);
    QVERIFY(dialog.ShowSave(nullptr));
    QCOMPARE(dialog.Properties().fileName, existing);
    QVERIFY2(offered, "the dialog starts with the last name");
    QCOMPARE(stray, QStringList());
}

QTEST_MAIN(tst_Toolkit)
#include "tst_toolkit.moc"
