#include "codec/hidden_text.h"
#include "fake_toolkit.h"
#include "support/test_pictures.h"
#include "ui/frm_main.h"
#include "ui/hidden_text_messages.h"
#include "ui/picture_box.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <memory>

using namespace lumenveil;
using namespace lumenveil::ui;
using lumenveil::test::FakeMessageBoxes;

Q_DECLARE_METATYPE(lumenveil::ui::MessageIcon)

namespace {

const QString Caption = QStringLiteral("Lumenveil v1.1");
const QString Busy = QStringLiteral(" (Working...)");
const QString NoMessage = QStringLiteral("This image has no secret message!");

// A QImage from a grid, for pictures the codec has written into.
QImage ImageOf(const test::MemoryGrid& grid, int columns)
{
    QImage image(columns, grid.ImageHeight(), QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < columns; ++x) {
            const ColorValue c = grid.ReadPixel(x, y);
            image.setPixel(x, y, qRgb(RedOf(c), GreenOf(c), BlueOf(c)));
        }
    }
    return image;
}

// The message hidden in the picture file at `path`, or why there is none.
QString MessageIn(const QString& path)
{
    PictureSurface picture;
    if (!picture.LoadImageFile(path).ok()) {
        return QStringLiteral("<not loaded>");
    }
    const ReadOutcome outcome = ReadText(picture);
    return outcome.status == ReadStatus::Found ? QString::fromStdU16String(outcome.text)
                                               : QStringLiteral("<no message>");
}

// Compares what a window asked with what a test expects, where an expected line ending in
// "..." only gives the start of the line.
bool SameRequests(const QStringList& seen, const QStringList& expected)
{
    if (seen.size() != expected.size()) {
        return false;
    }
    for (qsizetype i = 0; i < seen.size(); ++i) {
        const bool same = expected[i].endsWith(QLatin1String("..."))
                              ? seen[i].startsWith(expected[i].chopped(3))
                              : seen[i] == expected[i];
        if (!same) {
            return false;
        }
    }
    return true;
}

// One main window on fakes that answer at once.
class Window
{
public:
    Window()
        : window_(std::make_unique<frmMain>(
              WindowToolkit{messages, dialog, shell, &about, folder.path() + QLatin1Char('/')}))
    {
        messages.journal = &journal_;
        dialog.journal = &journal_;
        shell.journal = &journal_;
        about.journal = &journal_;
    }

    [[nodiscard]] bool Open()
    {
        window_->show();
        window_->activateWindow();
        return QTest::qWaitForWindowActive(window_.get());
    }

    // Loads `image` through the load command, as a file of `format`.
    [[nodiscard]] bool Load(const QImage& image, const char* format = "bmp")
    {
        const QString path =
            folder.filePath(QStringLiteral("picture%1.%2").arg(++files_).arg(format));
        if (!test::WriteImage(image, path, format)) {
            return false;
        }
        dialog.answers.append(path);
        loaded = path;
        Find<QPushButton>("cmdLoadImage")->click();
        return window_->Surface().ImageWidth() == image.width() &&
               window_->Surface().ImageHeight() == image.height();
    }

    template <class T> [[nodiscard]] T* Find(const char* name) const
    {
        return window_->findChild<T*>(QLatin1String(name));
    }

    [[nodiscard]] frmMain& operator*() const { return *window_; }
    [[nodiscard]] frmMain* operator->() const { return window_.get(); }

    [[nodiscard]] QPlainTextEdit* Text() const { return Find<QPlainTextEdit>("txtText"); }
    [[nodiscard]] PictureBox* Picture() const { return Find<PictureBox>("Picture2"); }

    // Everything the window asked of its toolkit since the last call, in order, and
    // "closed" when the window is closed.
    [[nodiscard]] QStringList Requests()
    {
        QStringList seen = journal_;
        journal_.clear();
        if (!window_->isVisible()) {
            seen << "closed";
        }
        return seen;
    }

    FakeMessageBoxes messages;
    test::FakeFileDialog dialog;
    test::FakeShell shell;
    test::FakeAboutWindow about;
    QTemporaryDir folder;
    QString loaded; // the file the last Load() chose

private:
    QStringList journal_; // declared before the window, so that it outlives it
    std::unique_ptr<frmMain> window_;
    int files_ = 0;
};

} // namespace

class tst_FrmMain : public QObject
{
    Q_OBJECT

private slots:
    void window();
    void firstState_data();
    void firstState();
    void tabOrder_data();
    void tabOrder();
    void load_data();
    void load();
    void dialogProperties();
    void hideAndSave_data();
    void hideAndSave();
    void savedMessageCheck_data();
    void savedMessageCheck();
    void timerEnablesHide();
    void exit_data();
    void exit();
    void helpTopics();
    void menuShortcutsBeatTheTextBox_data();
    void menuShortcutsBeatTheTextBox();
    void accessKeys();
    void setBusy_data();
    void setBusy();
    void hideAndRead_data();
    void hideAndRead();
    void reports_data();
    void reports();
    void viewShowsHiddenPixels();
    void arrangeAfterScrolled_data();
    void arrangeAfterScrolled();
    void scrolling_data();
    void scrolling();
};

void tst_FrmMain::window()
{
    Window w;
    QVERIFY(w.Open());

    QCOMPARE(w->windowTitle(), Caption);
    QCOMPARE(w->centralWidget()->size(), QSize(387, 478));
    QCOMPARE(w->centralWidget()->y(), w->menuBar()->height());
    QCOMPARE(w->minimumSize(), w->maximumSize());
    QVERIFY(!w->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(w->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(w->windowFlags().testFlag(Qt::WindowCloseButtonHint));

    const QPoint screenCentre = w->screen()->availableGeometry().center();
    QVERIFY2((w->geometry().center() - screenCentre).manhattanLength() <= 40,
             "the window opens centred on the screen");
    QCOMPARE(QApplication::focusWidget(), w.Find<QWidget>("cmdLoadImage"));
}

void tst_FrmMain::firstState_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QRect>("place");

    QTest::newRow("cmdLoadImage") << "cmdLoadImage" << true << QRect(112, 288, 169, 25);
    QTest::newRow("cmdGetEmbeddedText") << "cmdGetEmbeddedText" << false << QRect(16, 317, 169, 25);
    QTest::newRow("cmdEmbedText") << "cmdEmbedText" << false << QRect(200, 317, 169, 25);
    QTest::newRow("txtText") << "txtText" << false << QRect(24, 352, 337, 113);
    QTest::newRow("Picture1") << "Picture1" << true << QRect(10, 10, 350, 250);
    QTest::newRow("Picture2, empty and centred") << "Picture2" << true << QRect(140, 102, 89, 65);
    QTest::newRow("VScroll1") << "VScroll1" << false << QRect(358, 10, 16, 248);
    QTest::newRow("HScroll1") << "HScroll1" << false << QRect(10, 258, 348, 17);
}

void tst_FrmMain::firstState()
{
    QFETCH(QString, name);
    QFETCH(bool, enabled);
    QFETCH(QRect, place);

    Window w;
    QVERIFY(w.Open());
    const QWidget* control = w.Find<QWidget>(qPrintable(name));
    QVERIFY(control != nullptr);
    QCOMPARE(control->isEnabled(), enabled);
    QVERIFY(control->isVisible());
    QCOMPARE(QRect(control->mapTo(w->centralWidget(), QPoint()), control->size()), place);
}

void tst_FrmMain::tabOrder_data()
{
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<QStringList>("order");

    QTest::newRow("at start, disabled controls skipped")
        << false << QStringList{"cmdLoadImage", "Picture1", "Picture2", "cmdLoadImage"};
    QTest::newRow("with a large picture and a text")
        << true << QStringList{"cmdLoadImage", "cmdGetEmbeddedText", "cmdEmbedText",
                               "txtText",      "Picture1",           "Picture2",
                               "VScroll1",     "HScroll1",           "cmdLoadImage"};
}

void tst_FrmMain::tabOrder()
{
    QFETCH(bool, loaded);
    QFETCH(QStringList, order);

    Window w;
    QVERIFY(w.Open());
    if (loaded) {
        QVERIFY(w.Load(test::PhotoLikeImage(1000, 800)));
        w.Text()->setPlainText(QStringLiteral("a message"));
        QTRY_VERIFY(w.Find<QPushButton>("cmdEmbedText")->isEnabled());
    }
    w.Find<QWidget>("cmdLoadImage")->setFocus();

    QStringList seen{QApplication::focusWidget()->objectName()};
    for (qsizetype i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        seen << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(seen, order);
}

void tst_FrmMain::load_data()
{
    QTest::addColumn<bool>("first");      // no picture loaded before
    QTest::addColumn<QString>("how");     // button, menu, frame or picture (double-clicks)
    QTest::addColumn<QString>("answer");  // a file in the folder, "<cancel>" or "" (empty name)
    QTest::addColumn<QSize>("loaded");    // the new picture's size; invalid: nothing changes
    QTest::addColumn<QString>("message"); // the box shown, "%1" standing for the file

    const QSize photo(300, 200);
    QTest::newRow("first picture, by the button") << true << "button"
                                                  << "photo.bmp" << photo << "";
    QTest::newRow("by the menu, over an earlier one") << false << "menu"
                                                      << "photo.jpg" << photo << "";
    QTest::newRow("double-click on the frame") << false << "frame"
                                               << "photo.gif" << QSize(12, 10) << "";
    QTest::newRow("double-click on the picture") << false << "picture"
                                                 << "photo.bmp" << photo << "";
    QTest::newRow("cancelled at start") << true << "button"
                                        << "<cancel>" << QSize() << "";
    QTest::newRow("cancelled after a load") << false << "menu"
                                            << "<cancel>" << QSize() << "";
    QTest::newRow("empty name") << false << "button"
                                << "" << QSize() << "";
    QTest::newRow("not a picture, at start") << true << "button"
                                             << "notes.txt" << QSize()
                                             << "\u201C%1\u201D is not a picture. Lumenveil opens "
                                                "bitmap (BMP), JPEG, GIF and PNG files.";
    QTest::newRow("no such file") << false << "button"
                                  << "gone.bmp" << QSize()
                                  << "The file \u201C%1\u201D does not exist.";
}

void tst_FrmMain::load()
{
    QFETCH(bool, first);
    QFETCH(QString, how);
    QFETCH(QString, answer);
    QFETCH(QSize, loaded);
    QFETCH(QString, message);

    Window w;
    QVERIFY(w.Open());
    QDir folder(w.folder.path());
    QVERIFY(
        test::WriteImage(test::PhotoLikeImage(300, 200, 3), folder.filePath("photo.bmp"), "bmp"));
    QVERIFY(
        test::WriteImage(test::PhotoLikeImage(300, 200, 3), folder.filePath("photo.jpg"), "jpeg"));
    QVERIFY(QFile::copy(QStringLiteral(LUMENVEIL_SOURCE_DIR "/tests/picture/fixtures/opaque.gif"),
                        folder.filePath("photo.gif")));
    QVERIFY(test::WriteBytes(folder.filePath("notes.txt"), "Shopping: bread, milk.\n"));
    if (!first) {
        QVERIFY(w.Load(test::PhotoLikeImage(200, 150)));
        w.Text()->setPlainText(QStringLiteral("before"));
    }
    const QImage before = w->Surface().Image().copy();
    static_cast<void>(w.Requests());

    const QString path =
        answer.isEmpty() || answer == "<cancel>" ? answer : folder.filePath(answer);
    if (answer != "<cancel>") {
        w.dialog.answers.append(path);
    }
    if (how == "button") {
        w.Find<QPushButton>("cmdLoadImage")->click();
    } else if (how == "menu") {
        w.Find<QAction>("mnuFileLoadImage")->trigger();
    } else {
        auto* box = w.Find<PictureBox>(how == "frame" ? "Picture1" : "Picture2");
        QTest::mouseDClick(box, Qt::LeftButton, {}, how == "frame" ? QPoint(3, 3) : QPoint(20, 20));
    }

    QStringList expected{"open dialog"};
    if (!message.isEmpty()) {
        expected << "message: " + message.arg(QDir::toNativeSeparators(path));
    }
    QCOMPARE(w.Requests(), expected);
    if (!message.isEmpty()) {
        QCOMPARE(w.messages.shown.last().request.icon, MessageIcon::Stop);
        QCOMPARE(w.messages.shown.last().request.title, Caption);
    }

    const bool changed = loaded.isValid();
    const bool pictureThere = changed || !first;
    QCOMPARE(w.Text()->isEnabled(), pictureThere);
    QCOMPARE(w.Text()->toPlainText(), changed || first ? QString() : QStringLiteral("before"));
    for (const char* command : {"cmdGetEmbeddedText", "cmdEmbedText"}) {
        QCOMPARE(w.Find<QPushButton>(command)->isEnabled(), pictureThere);
    }
    for (const char* entry : {"mnuFileGetEmbeddedText", "mnuFileEmbedText"}) {
        QCOMPARE(w.Find<QAction>(entry)->isEnabled(), pictureThere);
    }
    if (!changed) {
        QCOMPARE(w->Surface().Image(), before);
        return;
    }
    QCOMPARE(QSize(w->Surface().ImageWidth(), w->Surface().ImageHeight()), loaded);
    // Arranged in the frame; pictures larger than the frame: arrangeAfterScrolled.
    QCOMPARE(w.Picture()->Left(), (350 - loaded.width()) / 2.0);
}

void tst_FrmMain::dialogProperties()
{
    Window w;
    QVERIFY(w.Open());
    QVERIFY(w.Load(test::PhotoLikeImage(200, 150), "jpeg"));
    w.Text()->setPlainText(QStringLiteral("a message"));
    w.Find<QAction>("mnuFileEmbedText")->trigger();

    QCOMPARE(w.dialog.asked.size(), 2);
    const FileDialogProperties& open = w.dialog.asked[0].properties;
    QCOMPARE(open.flags, 0x1804);
    QCOMPARE(open.title, QStringLiteral("Lumenveil v1.1 - Locate Image File..."));
    QCOMPARE(QtNameFilters(open.filter).size(), 4);
    // The Save dialog keeps the flags and starts with the loaded file's name.
    const FileDialogProperties& save = w.dialog.asked[1].properties;
    QCOMPARE(save.flags, 0x1804);
    QCOMPARE(save.title, QStringLiteral("Lumenveil v1.1 - Save As Bitmap File..."));
    QCOMPARE(save.filter, QStringLiteral("Bitmap Files (*.bmp)|*.bmp"));
    QCOMPARE(save.fileName, w.loaded);
    QCOMPARE(w.dialog.asked[1].mode, FileDialogMode::Save);
}

void tst_FrmMain::hideAndSave_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("names");    // Save dialog answers: files in the folder,
                                               // "<loaded>", "<cancel>" or "" (empty name)
    QTest::addColumn<QList<int>>("answers");   // to the replace question
    QTest::addColumn<QStringList>("requests"); // "%1" stands for the folder
    QTest::addColumn<QString>("savedAs");      // the file that must hold the message

    const QSize photo(200, 150);
    const QString note = QStringLiteral("Meet me at noon.");
    const QString save = QStringLiteral("save dialog");
    const QString replace = QStringLiteral(
        "message: \u201C%1/existing.bmp\u201D already exists.\nDo you want to replace it?");
    const QString cannotSave =
        QStringLiteral("message: The picture could not be saved as \u201C%1/");
    const QList<int> none;

    QTest::newRow("fits, a new name")
        << photo << note << QStringList{"note.bmp"} << none << QStringList{save} << "note.bmp";
    QTest::newRow("does not fit: no Save dialog")
        << QSize(8, 8) << "x" << QStringList{"note.bmp"} << none
        << QStringList{"message: Text is 11 characters longer than this picture can store!"} << "";
    QTest::newRow("refused characters: no Save dialog")
        << photo << QStringLiteral("snow \u2603") << QStringList{"note.bmp"} << none
        << QStringList{"message: The text contains characters that cannot be hidden..."} << "";
    QTest::newRow("Save cancelled")
        << photo << note << QStringList{"<cancel>"} << none << QStringList{save} << "";
    QTest::newRow("empty name") << photo << note << QStringList{""} << none << QStringList{save}
                                << "";
    QTest::newRow("save fails: no such folder")
        << photo << note << QStringList{"missing/note.bmp"} << none
        << QStringList{save, cannotSave + "missing/note.bmp\u201D: ..."} << "";
    QTest::newRow("save fails: a folder has that name, asked nothing")
        << photo << note << QStringList{"album"} << none
        << QStringList{save, cannotSave + "album\u201D: a folder has that name."} << "";
    QTest::newRow("existing file, No, then cancel")
        << photo << note << QStringList{"existing.bmp", "<cancel>"} << QList<int>{AnswerNo}
        << QStringList{save, replace, save} << "";
    QTest::newRow("existing file, No, then a new name")
        << photo << note << QStringList{"existing.bmp", "note.bmp"} << QList<int>{AnswerNo}
        << QStringList{save, replace, save} << "note.bmp";
    QTest::newRow("existing file, Yes")
        << photo << note << QStringList{"existing.bmp"} << QList<int>{AnswerYes}
        << QStringList{save, replace} << "existing.bmp";
    QTest::newRow("the loaded JPEG itself, Yes: a bitmap under its name")
        << photo << note << QStringList{"<loaded>"} << QList<int>{AnswerYes}
        << QStringList{save, "message: \u201C%1/picture1.jpeg\u201D already exists...."}
        << "picture1.jpeg";
}

void tst_FrmMain::hideAndSave()
{
    QFETCH(QSize, size);
    QFETCH(QString, text);
    QFETCH(QStringList, names);
    QFETCH(QList<int>, answers);
    QFETCH(QStringList, requests);
    QFETCH(QString, savedAs);

    Window w;
    QVERIFY(w.Open());
    QVERIFY(w.Load(test::PhotoLikeImage(size.width(), size.height()), "jpeg"));
    const QDir folder(w.folder.path());
    QVERIFY(folder.mkdir(QStringLiteral("album")));
    QVERIFY(
        test::WriteImage(test::PhotoLikeImage(50, 50, 9), folder.filePath("existing.bmp"), "bmp"));
    const QByteArray existing = test::ReadBytes(folder.filePath("existing.bmp"));
    const QByteArray original = test::ReadBytes(w.loaded);
    w.Text()->setPlainText(text);
    static_cast<void>(w.Requests());

    for (const QString& name : names) {
        if (name == "<loaded>") {
            w.dialog.answers.append(w.loaded);
        } else if (name != "<cancel>") {
            w.dialog.answers.append(name.isEmpty() ? name : folder.filePath(name));
        }
    }
    w.messages.answers = answers;
    w.Find<QPushButton>("cmdEmbedText")->click();

    const QString where = QDir::toNativeSeparators(folder.path());
    QStringList expected;
    for (const QString& request : requests) {
        expected << QString(request).replace(QLatin1String("%1"), where);
    }
    const QStringList seen = w.Requests();
    QVERIFY2(SameRequests(seen, expected), qPrintable(seen.join(" | ")));
    for (const FakeMessageBoxes::Shown& shown : std::as_const(w.messages.shown)) {
        if (shown.request.buttons == MessageButtons::YesNo) {
            QCOMPARE(shown.request.title, Caption);
            QCOMPARE(shown.request.icon, MessageIcon::Exclamation);
            QVERIFY2(shown.request.secondButtonIsDefault, "No is the safe default");
        }
    }
    QCOMPARE(w->windowTitle(), Caption);
    QVERIFY(QApplication::overrideCursor() == nullptr);

    // Once the Save dialog was shown the surface holds the message, saved or not.
    if (seen.contains(QStringLiteral("save dialog"))) {
        QCOMPARE(QString::fromStdU16String(ReadText(w->Surface()).text), text);
    }
    if (!savedAs.isEmpty()) {
        const QString saved = folder.filePath(savedAs);
        QVERIFY(test::ReadBytes(saved).startsWith("BM"));
        QCOMPARE(MessageIn(saved), text);
    }
    if (savedAs != "existing.bmp") {
        QCOMPARE(test::ReadBytes(folder.filePath("existing.bmp")), existing);
    }
    if (!savedAs.startsWith("picture")) {
        QCOMPARE(test::ReadBytes(w.loaded), original);
    }
    const QStringList written = folder.entryList({"note.bmp"}, QDir::Files);
    QCOMPARE(written.isEmpty(), savedAs != "note.bmp");
}

void tst_FrmMain::savedMessageCheck_data()
{
    QTest::addColumn<QString>("file"); // what lies under the saved name
    QTest::addColumn<QString>("problem");

    QTest::newRow("the message") << "message"
                                 << "";
    QTest::newRow("another message")
        << "other"
        << "The message read back differs from the text that was hidden.";
    QTest::newRow("no message") << "plain"
                                << "This image has no secret message!";
    QTest::newRow("nothing") << "gone"
                             << "The file \u201C%1\u201D does not exist.";
    QTest::newRow("not a picture")
        << "text"
        << "\u201C%1\u201D is not a picture. Lumenveil opens bitmap (BMP), JPEG, GIF "
           "and PNG files.";
}

void tst_FrmMain::savedMessageCheck()
{
    QFETCH(QString, file);
    QFETCH(QString, problem);

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("saved.bmp"));
    test::MemoryGrid grid(60, 60, 0x00808080);
    if (file == "message" || file == "other") {
        QVERIFY(
            HideText(grid, file == "message" ? u"Meet me at noon." : u"Meet me at one.").status ==
            HideStatus::Hidden);
    }
    if (file == "text") {
        QVERIFY(test::WriteBytes(path, "not a picture"));
    } else if (file != "gone") {
        QVERIFY(test::WriteImage(ImageOf(grid, 60), path, "bmp"));
    }

    const auto report = CheckSavedMessage(path, u"Meet me at noon.");
    if (problem.isEmpty()) {
        QVERIFY(!report);
        return;
    }
    QVERIFY(report);
    const QString name = QDir::toNativeSeparators(path);
    QCOMPARE(report->prompt,
             QStringLiteral("The picture was saved as \u201C%1\u201D, but reading it back did not "
                            "give the hidden message. %2\n\nKeep your text and save it again "
                            "under another name or in another folder.")
                 .arg(name, QString(problem).replace(QLatin1String("%1"), name)));
    QCOMPARE(report->style, MsgOkOnly | MsgCritical);
    QCOMPARE(report->title, Caption);
}

void tst_FrmMain::timerEnablesHide()
{
    Window w;
    QVERIFY(w.Open());
    auto* hide = w.Find<QPushButton>("cmdEmbedText");
    auto* entry = w.Find<QAction>("mnuFileEmbedText");
    QTest::qWait(20);
    QVERIFY(!hide->isEnabled());

    // Right after a load the text is empty: the timer takes the button back, not the entry.
    QVERIFY(w.Load(test::PhotoLikeImage(200, 150)));
    QTRY_VERIFY(!hide->isEnabled());
    QVERIFY(entry->isEnabled());
    QTest::keyClicks(w.Text(), QStringLiteral("   "));
    QTRY_VERIFY2(hide->isEnabled(), "blanks are text");
    w.Text()->clear();
    QTRY_VERIFY(!hide->isEnabled());

    // The entry still hides the empty message and offers to save it.
    static_cast<void>(w.Requests());
    entry->trigger();
    QCOMPARE(w.Requests(), QStringList{"save dialog"});
    const ReadOutcome hidden = ReadText(w->Surface());
    QCOMPARE(hidden.status, ReadStatus::Found);
    QVERIFY(hidden.text.empty());
}

void tst_FrmMain::exit_data()
{
    QTest::addColumn<QString>("how"); // Esc with the focus on a control, the menu, the close box
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("requests");

    const QString question = QStringLiteral("message: Are you sure you want to quit?");
    QTest::newRow("Esc in the text box, No") << "txtText" << AnswerNo << QStringList{question};
    QTest::newRow("Esc in the text box, Yes")
        << "txtText" << AnswerYes << QStringList{question, "closed"};
    QTest::newRow("Esc on the load button, No")
        << "cmdLoadImage" << AnswerNo << QStringList{question};
    QTest::newRow("File > Exit asks nothing") << "menu" << 0 << QStringList{"closed"};
    QTest::newRow("the close box asks nothing") << "close box" << 0 << QStringList{"closed"};
}

void tst_FrmMain::exit()
{
    QFETCH(QString, how);
    QFETCH(int, answer);
    QFETCH(QStringList, requests);

    Window w;
    QVERIFY(w.Open());
    QVERIFY(w.Load(test::PhotoLikeImage(100, 100)));
    w.Text()->setPlainText(QStringLiteral("typed"));
    static_cast<void>(w.Requests());
    w.messages.answers = {answer};

    if (how == "menu") {
        w.Find<QAction>("mnuFileExit")->trigger();
    } else if (how == "close box") {
        QVERIFY(w->windowHandle()->close());
    } else {
        QWidget* target = w.Find<QWidget>(qPrintable(how));
        target->setFocus();
        QTRY_VERIFY(target->hasFocus());
        QTest::keyClick(target, Qt::Key_Escape);
    }

    QCOMPARE(w.Requests(), requests);
    if (!w.messages.shown.isEmpty()) {
        const MessageBoxRequest& asked = w.messages.shown.last().request;
        QCOMPARE(asked.title, Caption);
        QCOMPARE(asked.buttons, MessageButtons::YesNo);
        QCOMPARE(asked.icon, MessageIcon::Question);
        QVERIFY(asked.secondButtonIsDefault);
    }
    QCOMPARE(w.Text()->toPlainText(), QStringLiteral("typed"));
}

void tst_FrmMain::helpTopics()
{
    // The window hands the page to the shell as the Windows call takes it; the shell finds
    // the page, or finds none and shows nothing (tst_toolkit).
    Window w;
    QVERIFY(w.Open());
    w.Find<QAction>("mnuHelpHelpTopics")->trigger();
    QCOMPARE(w.shell.calls.size(), 1);
    const test::FakeShell::Call& call = w.shell.calls.constFirst();
    QCOMPARE(call.operation, QStringLiteral("Open"));
    QCOMPARE(call.file, QStringLiteral("help.htm"));
    QVERIFY(call.parameters.isEmpty());
    QCOMPARE(call.directory, w.folder.path() + QLatin1Char('/'));
    QCOMPARE(call.showCommand, ShowNormal);
    QVERIFY(w.messages.shown.isEmpty());
}

void tst_FrmMain::menuShortcutsBeatTheTextBox_data()
{
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QStringList>("requests");

    QTest::newRow("Ctrl+L loads") << QKeySequence(Qt::CTRL | Qt::Key_L)
                                  << QStringList{"open dialog"};
    QTest::newRow("Ctrl+G reads") << QKeySequence(Qt::CTRL | Qt::Key_G)
                                  << QStringList{"message: " + NoMessage};
    QTest::newRow("Ctrl+E hides and offers to save")
        << QKeySequence(Qt::CTRL | Qt::Key_E) << QStringList{"save dialog"};
    QTest::newRow("Ctrl+X exits instead of cutting")
        << QKeySequence(Qt::CTRL | Qt::Key_X) << QStringList{"closed"};
    QTest::newRow("F1 opens the help page")
        << QKeySequence(Qt::Key_F1) << QStringList{"shell: help.htm"};
    QTest::newRow("Ctrl+A shows About instead of selecting all")
        << QKeySequence(Qt::CTRL | Qt::Key_A) << QStringList{"about"};
}

void tst_FrmMain::menuShortcutsBeatTheTextBox()
{
    QFETCH(QKeySequence, keys);
    QFETCH(QStringList, requests);

    Window w;
    QVERIFY(w.Open());
    QVERIFY(w.Load(test::PhotoLikeImage(400, 300)));
    QPlainTextEdit* text = w.Text();
    text->setPlainText(QStringLiteral("keep me"));
    text->setFocus();
    QTRY_VERIFY(text->hasFocus());
    static_cast<void>(w.Requests());

    QTest::keySequence(text, keys);

    QCOMPARE(w.Requests(), requests);
    QCOMPARE(text->toPlainText(), QStringLiteral("keep me"));
    QVERIFY(!text->textCursor().hasSelection());
}

void tst_FrmMain::accessKeys()
{
    Window w;
    QVERIFY(w.Open());
    QVERIFY(w.Load(test::PhotoLikeImage(400, 300)));
    w.Text()->setPlainText(QStringLiteral("a message"));
    QTRY_VERIFY(w.Find<QPushButton>("cmdEmbedText")->isEnabled());
    w.Find<QWidget>("cmdLoadImage")->setFocus();
    static_cast<void>(w.Requests());

    // A button's access key clicks it a moment later, as a mouse click would look.
    QTest::keySequence(QApplication::focusWidget(), QKeySequence(Qt::ALT | Qt::Key_L));
    QTRY_COMPARE(w.dialog.asked.size(), 2);
    QTest::keySequence(QApplication::focusWidget(), QKeySequence(Qt::ALT | Qt::Key_E));
    QTRY_COMPARE(w.dialog.asked.size(), 3);
    w.Text()->setPlainText(QStringLiteral("typed over"));
    QTest::keySequence(QApplication::focusWidget(), QKeySequence(Qt::ALT | Qt::Key_G));
    QTRY_COMPARE(w.Text()->toPlainText(), QStringLiteral("a message"));
    QCOMPARE(w.Requests(), (QStringList{"open dialog", "save dialog"}));
}

void tst_FrmMain::setBusy_data()
{
    QTest::addColumn<QList<int>>("flags");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("waitCursor");

    QTest::newRow("1 marks the caption") << QList<int>{1} << Caption + Busy << true;
    QTest::newRow("1 twice doubles the suffix")
        << QList<int>{1, 1} << Caption + Busy + Busy << true;
    QTest::newRow("0 removes all of it") << QList<int>{1, 1, 0} << Caption << false;
    QTest::newRow("other values do nothing") << QList<int>{1, 2, -1} << Caption + Busy << true;
    QTest::newRow("0 when not busy") << QList<int>{0} << Caption << false;
}

void tst_FrmMain::setBusy()
{
    QFETCH(QList<int>, flags);
    QFETCH(QString, caption);
    QFETCH(bool, waitCursor);

    {
        Window w;
        QVERIFY(w.Open());
        for (const int flag : flags) {
            w->SetBusy(flag);
        }
        QCOMPARE(w->windowTitle(), caption);
        const QCursor* cursor = QApplication::overrideCursor();
        QCOMPARE(cursor != nullptr && cursor->shape() == Qt::WaitCursor, waitCursor);
    }
    QVERIFY2(QApplication::overrideCursor() == nullptr, "a closed window leaves no wait cursor");
}

void tst_FrmMain::hideAndRead_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("hidden");

    QTest::newRow("empty text") << ""
                                << "";
    QTest::newRow("one line") << "Meet me at noon."
                              << "Meet me at noon.";
    QTest::newRow("two lines are hidden with CR LF") << "first\nsecond"
                                                     << "first\r\nsecond";
    QTest::newRow("blank line and trailing break") << "a\n\nb\n"
                                                   << "a\r\n\r\nb\r\n";
    QTest::newRow("Western European characters")
        << QStringLiteral("Grüße, café – 5 €") << QStringLiteral("Grüße, café – 5 €");
    QTest::newRow("blanks only") << "   "
                                 << "   ";
}

void tst_FrmMain::hideAndRead()
{
    QFETCH(QString, text);
    QFETCH(QString, hidden);

    Window w;
    QVERIFY(w.Open());
    QVERIFY(w.Load(test::PhotoLikeImage(200, 150)));
    w.Text()->setPlainText(text);

    QVERIFY(w->WriteHiddenText());
    QCOMPARE(w->windowTitle(), Caption);
    const ReadOutcome stored = ReadText(w->Surface());
    QCOMPARE(stored.status, ReadStatus::Found);
    QCOMPARE(QString::fromStdU16String(stored.text), hidden);

    w.Text()->setPlainText(QStringLiteral("typed over"));
    w.Find<QPushButton>("cmdGetEmbeddedText")->click();
    QCOMPARE(w.Text()->toPlainText(), text);
    QCOMPARE(w->windowTitle(), Caption);
    QCOMPARE(w.messages.shown.size(), 0);
}

void tst_FrmMain::reports_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("hide");      // hide the text, or read
    QTest::addColumn<QString>("prompt"); // the whole prompt, or its start ending in "..."
    QTest::addColumn<QString>("title");
    QTest::addColumn<MessageIcon>("icon");

    const QImage photo = test::PhotoLikeImage(200, 150);
    const QString tooLong =
        QStringLiteral("Text is %1 characters longer than this picture can store!");
    // A message whose end lies beyond the last column of the picture.
    test::MemoryGrid cut = test::NoiseGrid(20, 20, 7);
    QVERIFY(HideText(cut, std::u16string(100, u'x')).status == HideStatus::Hidden);

    QTest::newRow("hide: 8 x 8 cannot hold the markers")
        << test::PhotoLikeImage(8, 8) << "bmp"
        << "" << true << tooLong.arg(8) << "Lumenveil" << MessageIcon::Stop;
    QTest::newRow("hide: one pixel short")
        << test::PhotoLikeImage(8, 13) << "bmp"
        << "abcdefghijk" << true << tooLong.arg(1) << "Lumenveil" << MessageIcon::Stop;
    QTest::newRow("hide: a line break takes two characters")
        << test::PhotoLikeImage(8, 13) << "bmp"
        << "abcdefghij\n"
        << true << tooLong.arg(4) << "Lumenveil" << MessageIcon::Stop;
    QTest::newRow("hide: characters outside the code page")
        << photo << "bmp" << QStringLiteral("snow \u2603 and \U0001F600") << true
        << "The text contains characters that cannot be hidden in a picture: ..." << Caption
        << MessageIcon::Stop;
    QTest::newRow("hide: the end marker inside the text")
        << photo << "bmp"
        << "this is the end message, really" << true
        << "The text contains the words \u201Cend message\u201D..." << Caption << MessageIcon::Stop;
    QTest::newRow("read: a photo without a message")
        << photo << "bmp"
        << "typed" << false << NoMessage << Caption << MessageIcon::Exclamation;
    QTest::newRow("read: fewer than 40 pixels")
        << test::PhotoLikeImage(6, 6) << "bmp"
        << "typed" << false << NoMessage << Caption << MessageIcon::Exclamation;
    QTest::newRow("read: a start marker without an end marker")
        << ImageOf(cut, 10) << "bmp"
        << "typed" << false << "The hidden message is incomplete: its end marker is missing."
        << Caption << MessageIcon::Exclamation;
    QTest::newRow("read: a JPEG says why")
        << photo << "jpeg"
        << "typed" << false
        << NoMessage + "\n\nThis picture was opened from a JPEG file. Saving a picture as JPEG "
                       "destroys a hidden message, so open the bitmap (.bmp) file that "
                       "Lumenveil saved instead."
        << Caption << MessageIcon::Exclamation;
}

void tst_FrmMain::reports()
{
    QFETCH(QImage, image);
    QFETCH(QString, format);
    QFETCH(QString, text);
    QFETCH(bool, hide);
    QFETCH(QString, prompt);
    QFETCH(QString, title);
    QFETCH(MessageIcon, icon);

    Window w;
    QVERIFY(w.Open());
    QVERIFY(w.Load(image, qPrintable(format)));
    const QImage before = w->Surface().Image().copy();
    w.Text()->setPlainText(text);

    if (hide) {
        QVERIFY(!w->WriteHiddenText());
    } else {
        w->ReadHiddenText();
    }

    QCOMPARE(w.messages.shown.size(), 1);
    const FakeMessageBoxes::Shown& shown = w.messages.shown.constFirst();
    if (prompt.endsWith(QLatin1String("..."))) {
        QVERIFY2(shown.request.prompt.startsWith(prompt.chopped(3)),
                 qPrintable(shown.request.prompt));
    } else {
        QCOMPARE(shown.request.prompt, prompt);
    }
    QCOMPARE(shown.request.title, title);
    QCOMPARE(shown.request.icon, icon);
    QCOMPARE(shown.request.buttons, MessageButtons::Ok);
    // Busy while the box is open, and no longer once it is closed.
    QCOMPARE(shown.ownerCaption, Caption + Busy);
    QVERIFY(shown.waitCursor);
    QCOMPARE(w->windowTitle(), Caption);
    QVERIFY(QApplication::overrideCursor() == nullptr);
    // Nothing changed.
    QCOMPARE(w->Surface().Image(), before);
    QCOMPARE(w.Text()->toPlainText(), text);
}

void tst_FrmMain::viewShowsHiddenPixels()
{
    Window w;
    QVERIFY(w.Open());
    QImage white(350, 250, QImage::Format_RGB32);
    white.fill(Qt::white);
    QVERIFY(w.Load(white));
    w.Text()->setPlainText(QStringLiteral("A"));
    QVERIFY(w->WriteHiddenText());

    const QImage shown = w.Picture()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < 3; ++y) {
        const ColorValue stored = w->Surface().ReadPixel(0, y);
        QCOMPARE(shown.pixel(0, y), qRgb(RedOf(stored), GreenOf(stored), BlueOf(stored)));
    }
    QVERIFY(shown.pixel(0, 0) != qRgb(255, 255, 255));
}

void tst_FrmMain::arrangeAfterScrolled_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPointF>("place");
    QTest::addColumn<bool>("horizontal");
    QTest::addColumn<int>("horizontalMaximum");
    QTest::addColumn<bool>("vertical");
    QTest::addColumn<int>("verticalMaximum");

    QTest::newRow("350 x 250 fills the frame")
        << QSize(350, 250) << QPointF(0, 0) << true << 0 << true << 0;
    QTest::newRow("1000 x 800 at the corner")
        << QSize(1000, 800) << QPointF(0, 0) << true << 650 << true << 550;
    QTest::newRow("99 x 66 centred, half a pixel")
        << QSize(99, 66) << QPointF(125.5, 92) << false << 0 << false << 0;
    QTest::newRow("500 x 100 scrolls sideways")
        << QSize(500, 100) << QPointF(0, 75) << true << 150 << false << 0;
    QTest::newRow("100 x 400 scrolls down")
        << QSize(100, 400) << QPointF(125, 0) << false << 0 << true << 150;
}

void tst_FrmMain::arrangeAfterScrolled()
{
    QFETCH(QSize, size);
    QFETCH(QPointF, place);
    QFETCH(bool, horizontal);
    QFETCH(int, horizontalMaximum);
    QFETCH(bool, vertical);
    QFETCH(int, verticalMaximum);

    // Each picture follows a larger one scrolled away from the corner.
    Window w;
    QVERIFY(w.Open());
    QVERIFY(w.Load(test::PhotoLikeImage(1000, 800)));
    auto* across = w.Find<QScrollBar>("HScroll1");
    auto* down = w.Find<QScrollBar>("VScroll1");
    across->setValue(300);
    down->setValue(200);
    QCOMPARE(QPointF(w.Picture()->Left(), w.Picture()->Top()), QPointF(-300, -200));

    QVERIFY(w.Load(test::PhotoLikeImage(size.width(), size.height(), 2)));
    const PictureBox* picture = w.Picture();
    QCOMPARE(QPointF(picture->Left(), picture->Top()), place);
    QCOMPARE(QSize(picture->BoxWidth(), picture->BoxHeight()), size);
    QVERIFY(w.Find<QWidget>("Picture1")->rect().contains(picture->geometry()));
    QCOMPARE(across->isEnabled(), horizontal);
    QCOMPARE(across->maximum(), horizontalMaximum);
    QCOMPARE(across->value(), 0);
    QCOMPARE(down->isEnabled(), vertical);
    QCOMPARE(down->maximum(), verticalMaximum);
    QCOMPARE(down->value(), 0);
}

void tst_FrmMain::scrolling_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("vertical");
    QTest::addColumn<int>("action");
    QTest::addColumn<double>("place");

    const QSize large(1000, 800);
    QTest::newRow("right arrow moves 30")
        << large << false << int(QAbstractSlider::SliderSingleStepAdd) << -30.0;
    QTest::newRow("page right moves 50")
        << large << false << int(QAbstractSlider::SliderPageStepAdd) << -50.0;
    QTest::newRow("the far right shows the last columns")
        << large << false << int(QAbstractSlider::SliderToMaximum) << -650.0;
    QTest::newRow("page down moves 30")
        << large << true << int(QAbstractSlider::SliderPageStepAdd) << -30.0;
    QTest::newRow("351 x 251: an arrow stops at 1")
        << QSize(351, 251) << false << int(QAbstractSlider::SliderSingleStepAdd) << -1.0;
}

void tst_FrmMain::scrolling()
{
    QFETCH(QSize, size);
    QFETCH(bool, vertical);
    QFETCH(int, action);
    QFETCH(double, place);

    Window w;
    QVERIFY(w.Open());
    QVERIFY(w.Load(test::PhotoLikeImage(size.width(), size.height())));
    auto* bar = w.Find<QScrollBar>(vertical ? "VScroll1" : "HScroll1");
    bar->triggerAction(QAbstractSlider::SliderAction(action));

    const PictureBox* picture = w.Picture();
    QCOMPARE(vertical ? picture->Top() : picture->Left(), place);
    QCOMPARE(vertical ? picture->Left() : picture->Top(), 0.0);

    // A dragged thumb moves the picture only when it is let go.
    bar->setSliderDown(true);
    bar->setSliderPosition(0);
    QCOMPARE(vertical ? picture->Top() : picture->Left(), place);
    bar->setSliderDown(false);
    QCOMPARE(vertical ? picture->Top() : picture->Left(), 0.0);
}

QTEST_MAIN(tst_FrmMain)
#include "tst_frm_main.moc"
