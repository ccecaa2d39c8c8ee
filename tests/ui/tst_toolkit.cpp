#include "ui/file_dialog.h"
#include "ui/message_box.h"
#include "ui/shell.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

using namespace lumenveil::ui;

namespace {

// Takes the addresses that QDesktopServices would hand to the desktop.
class UrlRecorder : public QObject
{
    Q_OBJECT

public slots:
    void open(const QUrl& url) { opened << url.toString(); }

public:
    QStringList opened;
};

} // namespace

// The Qt side of the toolkit layer: real message boxes and file dialogs answered from inside,
// the file dialog's filter as Qt reads it, and the shell on QDesktopServices.
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
    QTest::addColumn<QString>("title"); // empty: the box bears "Lumenveil"
    QTest::addColumn<QString>("press"); // a button's caption, or a key
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("icon");

    const int yesNoQuestion = MsgYesNo | MsgQuestion;
    const QString program = QStringLiteral("Lumenveil v1.1");
    QTest::newRow("OK answers 1") << MsgCritical << ""
                                  << "OK" << AnswerOk << +QMessageBox::Critical;
    QTest::newRow("Esc closes an OK box with 1")
        << MsgExclamation << program << "Esc" << AnswerOk << +QMessageBox::Warning;
    QTest::newRow("Yes answers 6")
        << yesNoQuestion << program << "Yes" << AnswerYes << +QMessageBox::Question;
    QTest::newRow("No answers 7") << yesNoQuestion << program << "No" << AnswerNo
                                  << +QMessageBox::Question;
    QTest::newRow("Enter takes the default, No") << yesNoQuestion + MsgDefaultButton2 << program
                                                 << "Return" << AnswerNo << +QMessageBox::Question;
    QTest::newRow("Enter takes the default, Yes")
        << yesNoQuestion << program << "Return" << AnswerYes << +QMessageBox::Question;
    QTest::newRow("Esc answers No") << yesNoQuestion + MsgDefaultButton2 << program << "Esc"
                                    << AnswerNo << +QMessageBox::Question;
}

void tst_Toolkit::qtBox()
{
    QFETCH(int, style);
    QFETCH(QString, title);
    QFETCH(QString, press);
    QFETCH(int, answer);
    QFETCH(int, icon);

    QString seen = QStringLiteral("no box");
    QTimer::singleShot(0, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;
        }
        seen = QStringLiteral("%1 | %2 | %3").arg(box->windowTitle(), box->text()).arg(box->icon());
        for (QAbstractButton* button : box->buttons()) {
            if (button->text().remove('&') == press) {
                return button->click();
            }
        }
        QTest::keySequence(box, QKeySequence(press));
        if (box->isVisible()) {
            seen = QStringLiteral("no way to press ") + press;
            box->done(0); // never leave the box waiting
        }
    });

    QtMessageBoxes boxes;
    const QString prompt = QStringLiteral("A <b>plain</b> text");
    QCOMPARE(ShowMessage(boxes, nullptr, prompt, style, title), answer);
    QCOMPARE(seen, QStringLiteral("%1 | %2 | %3")
                       .arg(title.isEmpty() ? QStringLiteral("Lumenveil") : title, prompt)
                       .arg(icon));
}

void tst_Toolkit::nameFilters_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("the Open dialog's four entries")
        << "Images Files (*.bmp,*.jpg,*.jpeg,*.gif)|*.bmp;*.jpg;*.jpeg;*.gif|Bitmap Files "
           "(*.bmp)|*.bmp|JPEG Files (*.jpg,*.jpeg)|*.jpg;*.jpeg|Compuserve GIF Files (*.gif)|*.gif"
        << QStringList{"Images Files (*.bmp,*.jpg,*.jpeg,*.gif) (*.bmp *.jpg *.jpeg *.gif)",
                       "Bitmap Files (*.bmp) (*.bmp)", "JPEG Files (*.jpg,*.jpeg) (*.jpg *.jpeg)",
                       "Compuserve GIF Files (*.gif) (*.gif)"};
    QTest::newRow("a description without patterns matches everything")
        << "Text|*.txt|All" << QStringList{"Text (*.txt)", "All (*)"};
    QTest::newRow("no filter") << "" << QStringList{};
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
    QTest::addColumn<QString>("opened"); // "%1" stands for the folder; empty: nothing opened

    QTest::newRow("the help page") << "help.htm"
                                   << "file://%1/help.htm";
    QTest::newRow("no such page: nothing happens") << "gone.htm"
                                                   << "";
    QTest::newRow("a web address") << "https://lumenveil.invalid/about"
                                   << "https://lumenveil.invalid/about";
    QTest::newRow("a file address") << "file:///opt/lumenveil/help.htm"
                                    << "file:///opt/lumenveil/help.htm";
}

void tst_Toolkit::shellOpens()
{
    QFETCH(QString, file);
    QFETCH(QString, opened);

    QTemporaryDir folder;
    QFile page(folder.filePath(QStringLiteral("help.htm")));
    QVERIFY(page.open(QIODevice::WriteOnly) && page.write("<title>Help</title>") > 0);
    UrlRecorder recorder;
    for (const char* scheme : {"file", "https"}) {
        QDesktopServices::setUrlHandler(QLatin1String(scheme), &recorder, "open");
    }
    QtShell().Open(nullptr, "Open", file, QString(), folder.path() + '/', ShowNormal);
    for (const char* scheme : {"file", "https"}) {
        QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
    }
    QCOMPARE(recorder.opened.join(' '), opened.replace("%1", folder.path()));
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
    dialog.Properties() = {DialogHideReadOnly | DialogPathMustExist | DialogFileMustExist,
                           "Bitmap Files (*.bmp)|*.bmp", "Save", existing};
    QStringList seen;
    QTimer::singleShot(0, this, [&] {
        auto* shown = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        seen << (shown != nullptr ? shown->selectedFiles().join(' ') : "no dialog");
        QMetaObject::invokeMethod(shown, "accept");
    });
    QTimer guard; // anything still open after a while is a question too many
    connect(&guard, &QTimer::timeout, this, [&] {
        while (QWidget* modal = QApplication::activeModalWidget()) {
            seen << modal->windowTitle();
            modal->close();
        }
    });
    guard.start(3000);
    QVERIFY(dialog.ShowSave(nullptr));
    QCOMPARE(dialog.Properties().fileName, existing);
    QCOMPARE(seen, QStringList{existing}); // the dialog started with the last name
}

QTEST_MAIN(tst_Toolkit)
#include "tst_toolkit.moc"
