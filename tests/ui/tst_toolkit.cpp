#include "ui/file_dialog.h"
#include "ui/message_box.h"
#include "ui/shell.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

using namespace lumenveil::ui;

// The Qt side of the toolkit layer: real message boxes and file dialogs answered from inside,
// and the shell on QDesktopServices. A box or dialog left open fails the test by its time-out.
class tst_Toolkit : public QObject
{
    Q_OBJECT

public slots:
    // Takes the addresses that QDesktopServices would hand to the desktop.
    void open(const QUrl& url) { urls << url.toString(); }

private slots:
    void qtBox_data();
    void qtBox();
    void fileDialog_data();
    void fileDialog();
    void shellOpens_data();
    void shellOpens();

private:
    // Runs `answer` on the modal window of class T once it is up.
    template <class T> void WhenShown(const std::function<void(T&)>& answer)
    {
        QTimer::singleShot(0, this, [answer] {
            if (auto* shown = qobject_cast<T*>(QApplication::activeModalWidget())) {
                answer(*shown);
            }
        });
    }

    QStringList urls;
};

void tst_Toolkit::qtBox_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<QString>("press"); // a button's caption, or a key
    QTest::addColumn<bool>("titled");   // the box is given the title "Lumenveil v1.1"
    QTest::addColumn<QString>("seen");  // "ANSWER TITLE ICON"

    const int question = MsgYesNo | MsgQuestion;
    QTest::newRow("OK answers 1") << MsgCritical << "OK" << false << "1 Lumenveil Critical";
    QTest::newRow("Esc closes an OK box with 1")
        << MsgExclamation << "Esc" << true << "1 Lumenveil v1.1 Warning";
    QTest::newRow("Yes answers 6") << question << "Yes" << true << "6 Lumenveil v1.1 Question";
    QTest::newRow("No answers 7") << question << "No" << true << "7 Lumenveil v1.1 Question";
    QTest::newRow("Enter takes the default, No")
        << (question | MsgDefaultButton2) << "Return" << true << "7 Lumenveil v1.1 Question";
    QTest::newRow("Enter takes the default, Yes")
        << question << "Return" << true << "6 Lumenveil v1.1 Question";
    QTest::newRow("Esc answers No") << question << "Esc" << true << "7 Lumenveil v1.1 Question";
}

void tst_Toolkit::qtBox()
{
    QFETCH(int, style);
    QFETCH(QString, press);
    QFETCH(bool, titled);
    QFETCH(QString, seen);

    const QString prompt = QStringLiteral("A <b>plain</b> text");
    QString box = QStringLiteral("no box");
    WhenShown<QMessageBox>([&](QMessageBox& shown) {
        static const char* const icons[] = {"None", "Information", "Warning", "Critical",
                                            "Question"};
        box = shown.text() == prompt ? shown.windowTitle() + ' ' + icons[shown.icon()]
                                     : "text " + shown.text();
        for (QAbstractButton* button : shown.buttons()) {
            if (button->text().remove('&') == press) {
                return button->click();
            }
        }
        QTest::keySequence(&shown, QKeySequence(press));
    });
    QtMessageBoxes boxes;
    const int answer = ShowMessage(boxes, nullptr, prompt, style, titled ? "Lumenveil v1.1" : "");
    QCOMPARE(QString::number(answer) + ' ' + box, seen);
}

void tst_Toolkit::fileDialog_data()
{
    QTest::addColumn<bool>("save");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("shown"); // the name filters, each description kept whole

    QTest::newRow("Open, the four kinds of picture")
        << false
        << "Images Files (*.bmp,*.jpg,*.jpeg,*.gif)|*.bmp;*.jpg;*.jpeg;*.gif|Bitmap Files "
           "(*.bmp)|*.bmp|JPEG Files (*.jpg,*.jpeg)|*.jpg;*.jpeg|Compuserve GIF Files (*.gif)|*.gif"
        << QStringList{"Images Files (*.bmp,*.jpg,*.jpeg,*.gif) (*.bmp *.jpg *.jpeg *.gif)",
                       "Bitmap Files (*.bmp) (*.bmp)", "JPEG Files (*.jpg,*.jpeg) (*.jpg *.jpeg)",
                       "Compuserve GIF Files (*.gif) (*.gif)"};
    QTest::newRow("Save over an existing file: no question of its own")
        << true << "Bitmap Files (*.bmp)|*.bmp" << QStringList{"Bitmap Files (*.bmp) (*.bmp)"};
    QTest::newRow("a description without patterns matches everything")
        << true << "Text|*.txt|All" << QStringList{"Text (*.txt)", "All (*)"};
}

void tst_Toolkit::fileDialog()
{
    QFETCH(bool, save);
    QFETCH(QString, filter);
    QFETCH(QStringList, shown);

    // Qt's own dialog starts with the last name and, accepted, answers at once: the main window
    // asks its own question about replacing a file, and one question is enough.
    QTemporaryDir folder;
    QFile existing(folder.filePath(QStringLiteral("photo.bmp")));
    QVERIFY(existing.open(QIODevice::WriteOnly));
    QtFileDialog dialog(false);
    dialog.Properties() = {DialogHideReadOnly | DialogPathMustExist | DialogFileMustExist, filter,
                           "Title", existing.fileName()};
    QStringList seen;
    WhenShown<QFileDialog>([&](QFileDialog& asked) {
        seen << asked.nameFilters() << asked.selectedFiles();
        QMetaObject::invokeMethod(&asked, "accept");
    });
    QVERIFY(save ? dialog.ShowSave(nullptr) : dialog.ShowOpen(nullptr));
    QCOMPARE(dialog.Properties().fileName, existing.fileName());
    QCOMPARE(seen, shown << existing.fileName());
    QCOMPARE(QtNameFilters(QString()), QStringList()); // no filter, no entries
}

void tst_Toolkit::shellOpens_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("pageThere"); // help.htm lies in the folder
    QTest::addColumn<QString>("opened"); // "%1" stands for the folder; empty: nothing opened

    QTest::newRow("the help page") << "help.htm" << true << "file://%1/help.htm";
    QTest::newRow("no help page: nothing happens") << "help.htm" << false << "";
    QTest::newRow("an address, whatever lies in the folder")
        << "https://lumenveil.invalid/about" << false << "https://lumenveil.invalid/about";
}

void tst_Toolkit::shellOpens()
{
    QFETCH(QString, file);
    QFETCH(bool, pageThere);
    QFETCH(QString, opened);

    QTemporaryDir folder;
    QFile page(folder.filePath(QStringLiteral("help.htm")));
    QVERIFY(!pageThere || page.open(QIODevice::WriteOnly));
    urls.clear();
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open");
    QtShell().Open(nullptr, "Open", file, QString(), folder.path() + '/', ShowNormal);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QCOMPARE(urls.join(' '), opened.replace("%1", folder.path()));
}

QTEST_MAIN(tst_Toolkit)
#include "tst_toolkit.moc"
