#include "codec/hidden_text.h"
#include "fake_toolkit.h"
#include "support/test_pictures.h"
#include "ui/frm_main.h"
#include "ui/hidden_text_messages.h"
#include "ui/picture_box.h"

#include <QAction>
#include <QDir>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <cmath>
#include <memory>

using namespace lumenveil;
using namespace lumenveil::ui;

namespace {

const QString Caption = QStringLiteral("Lumenveil v1.1");
const QString NoMessage = QStringLiteral("This image has no secret message!");
const QString Note = QStringLiteral("Meet me at noon.");
// Message boxes as the fakes note them, after "asked "; "%1" stands for the test's folder.
const QString Stop = QStringLiteral("asked stop ok [Lumenveil v1.1]: ");
const QString BusyStop = QStringLiteral("asked busy stop ok [Lumenveil v1.1]: ");
const QString BusyWarn = QStringLiteral("asked busy exclamation ok [Lumenveil v1.1]: ");
const QString TooLong = QStringLiteral("asked busy stop ok [Lumenveil]: Text is %1 characters "
                                       "longer than this picture can store!");
const QString Quit = QStringLiteral("asked question yes/NO [Lumenveil v1.1]: Are you sure you "
                                    "want to quit?");
const QString Replace = QStringLiteral("asked exclamation yes/NO [Lumenveil v1.1]: \u201C%1/%2"
                                       "\u201D already exists.\nDo you want to replace it?");
// The controls and entries that "enabled" looks at; "enabled all" names every one of them.
const QStringList Watched{"cmdGetEmbeddedText", "cmdEmbedText", "txtText", "mnuFileGetEmbeddedText",
                          "mnuFileEmbedText"};

// One main window on fakes, centred on the screen, in a folder of its own that holds a bitmap,
// a text file and a subfolder. The files the folder is given are noted, to prove at the end
// that none of them changed.
struct Window
{
    Window()
    {
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("album")));
        Make(QStringLiteral("existing.bmp 50x50"));
        given.insert("notes.txt", "Shopping: bread, milk.\n");
        QVERIFY(test::WriteBytes(folder.filePath("notes.txt"), given["notes.txt"]));
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        const QPoint screenCentre = window->screen()->availableGeometry().center();
        QVERIFY((window->geometry().center() - screenCentre).manhattanLength() <= 40);
    }

    // "NAME WxH [white|cut]": a photo, a white picture or one whose hidden message lacks its
    // end marker, in the format its extension names.
    void Make(const QString& spec)
    {
        const QStringList part = spec.split(' ');
        const int width = part[1].section('x', 0, 0).toInt();
        const int height = part[1].section('x', 1).toInt();
        const QString path = folder.filePath(part[0]);
        QImage image = test::PhotoLikeImage(width, height, 2);
        if (part.value(2) == "white") {
            image.fill(Qt::white);
        } else if (part.value(2) == "cut") { // the first columns of a picture with a message
            PictureSurface whole;
            QVERIFY(test::WriteImage(test::PhotoLikeImage(2 * width, height), path, "bmp"));
            QVERIFY(whole.LoadImageFile(path).ok());
            QVERIFY(HideText(whole, std::u16string(100, u'x')).status == HideStatus::Hidden);
            image = whole.Image().copy(0, 0, width, height);
        }
        const QString format = QFileInfo(part[0]).suffix().replace("jpg", "jpeg");
        QVERIFY(test::WriteImage(image, path, qPrintable(format)));
        given.insert(part[0], test::ReadBytes(path));
    }

    template <class T = QWidget> [[nodiscard]] T* Find(const QString& name) const
    {
        return window->findChild<T*>(name);
    }

    QTemporaryDir folder;
    test::FakeToolkit fake; // declared before the window, so that it outlives it
    std::unique_ptr<frmMain> window = std::make_unique<frmMain>(
        WindowToolkit{fake, fake, fake, &fake, folder.path() + QLatin1Char('/')});
    QMap<QString, QByteArray> given; // the files the folder was given, and their bytes
    QStringList saved;               // the files the window has written
};

// Plays one step of a flow: an action (load, answer, reply, set, focus, click (a control or menu
// entry), dclick, key, close, check, busy, scroll, arrow, drag, release) or a check (asked,
// enabled, text, caption, view, tabs, picture, saved, hidden, shows).
void Play(Window& w, const QString& step)
{
    const qsizetype space = step.indexOf(' ');
    const QString command = step.left(space);
    const QString arg = space < 0 ? QString() : step.mid(space + 1);
    const QString first = arg.section(' ', 0, 0);
    auto* text = w.Find<QPlainTextEdit>(QStringLiteral("txtText"));
    auto* bar = w.Find<QScrollBar>(first);
    const PictureSurface& surface = w.window->Surface();
    auto* picture = w.Find<PictureBox>(QStringLiteral("Picture2"));
    const QRect shown(static_cast<int>(std::floor(picture->Left())),
                      static_cast<int>(std::floor(picture->Top())), picture->BoxWidth(),
                      picture->BoxHeight());
    if (command == "load") { // makes a picture and loads it with the button
        w.Make(arg);
        w.fake.files << w.folder.filePath(first);
        QTest::mouseClick(w.Find(QStringLiteral("cmdLoadImage")), Qt::LeftButton);
        QCOMPARE(w.fake.journal, QStringList{"open dialog"});
        QCOMPARE(QStringLiteral("%1x%2").arg(surface.ImageWidth()).arg(surface.ImageHeight()),
                 arg.section(' ', 1, 1));
        w.fake.journal.clear();
    } else if (command == "answer") { // the next file dialog's: a name in the folder, or so
        w.fake.files << (arg.isEmpty() || arg.startsWith('<') ? arg : w.folder.filePath(arg));
    } else if (command == "reply") { // the next message box's
        w.fake.replies << (arg == "Yes" ? AnswerYes : AnswerNo);
    } else if (command == "set") {
        text->setPlainText(arg);
    } else if (command == "focus") {
        w.Find(arg)->setFocus();
        QTRY_VERIFY(w.Find(arg)->hasFocus());
    } else if (command == "click" && w.Find<QAction>(arg) != nullptr) { // a menu entry
        w.Find<QAction>(arg)->trigger();
    } else if (command == "click") {
        QTest::mouseClick(w.Find(arg), Qt::LeftButton);
    } else if (command == "dclick") {
        QTest::mouseDClick(w.Find(arg), Qt::LeftButton, {}, QPoint(3, 3));
    } else if (command == "key") { // to the control with the focus
        QTest::keySequence(QApplication::focusWidget(), QKeySequence(arg));
    } else if (command == "close") { // the close box
        QVERIFY(w.window->windowHandle()->close());
    } else if (command == "check") { // the check of a saved file, its report as a box
        if (const auto report = CheckSavedMessage(w.folder.filePath(arg), Note.toStdU16String())) {
            w.fake.Show(DescribeMessageBox(report->prompt, report->style, report->title), nullptr);
        }
    } else if (command == "busy") {
        w.window->SetBusy(arg.toInt());
    } else if (command == "scroll") {
        bar->setValue(arg.section(' ', 1).toInt());
    } else if (command == "arrow") { // a click on the arrow at the bar's far end
        const bool across = bar->orientation() == Qt::Horizontal;
        QTest::mouseClick(bar, Qt::LeftButton, {},
                          {across ? bar->width() - 4 : 8, across ? 8 : bar->height() - 4});
    } else if (command == "drag") { // the thumb held down at a value
        bar->setSliderDown(true);
        bar->setSliderPosition(arg.section(' ', 1).toInt());
    } else if (command == "release") {
        bar->setSliderDown(false);
    } else if (command == "asked" && arg == "closed") {
        QTRY_VERIFY(!w.window->isVisible());
    } else if (command == "asked") { // the next request; "..." stands for any text
        QTRY_VERIFY2(!w.fake.journal.isEmpty(), qPrintable("nothing asked, expected " + arg));
        const QString seen = w.fake.journal.takeFirst();
        QStringList parts =
            QString(arg).replace("%1", QDir::toNativeSeparators(w.folder.path())).split("...");
        for (QString& part : parts) {
            part = QRegularExpression::escape(part);
        }
        QVERIFY2(QRegularExpression('^' + parts.join(".*") + '$',
                                    QRegularExpression::DotMatchesEverythingOption)
                     .match(seen)
                     .hasMatch(),
                 qPrintable(seen));
    } else if (command == "enabled") { // exactly these of the watched controls and entries
        const auto enabled = [&w] {
            QStringList names;
            for (const QString& name : Watched) {
                if (w.Find<QObject>(name)->property("enabled").toBool()) {
                    names << name;
                }
            }
            return names.join(' ');
        };
        QTRY_COMPARE(enabled(), arg == "all" ? Watched.join(' ') : arg);
    } else if (command == "text") { // the box holds exactly this, and nothing is selected
        QTRY_COMPARE(text->toPlainText(), arg);
        QVERIFY(!text->textCursor().hasSelection());
    } else if (command == "caption") { // and the wait cursor, or none
        const QCursor* cursor = QApplication::overrideCursor();
        QCOMPARE(w.window->windowTitle() + (cursor == nullptr                   ? ", no cursor"
                                            : cursor->shape() == Qt::WaitCursor ? ", waiting"
                                                                                : ", a cursor"),
                 arg);
    } else if (command == "view") { // the picture's place and size; each bar's maximum@value
        QStringList bars;
        for (const char* name : {"HScroll1", "VScroll1"}) {
            const auto* b = w.Find<QScrollBar>(QLatin1String(name));
            const QString at = QStringLiteral("%1@%2").arg(b->maximum()).arg(b->value());
            bars << (b->isEnabled() ? at : at == "0@0" ? "off" : "off " + at);
        }
        QCOMPARE(QString::asprintf("%g,%g %dx%d across:%s down:%s", picture->Left(), picture->Top(),
                                   picture->BoxWidth(), picture->BoxHeight(), qPrintable(bars[0]),
                                   qPrintable(bars[1])),
                 arg);
        // On screen: the part of the box inside the frame, its place rounded down.
        QCOMPARE(picture->geometry(), shown.intersected(picture->parentWidget()->rect()));
    } else if (command == "tabs") { // the focus now, then after each Tab
        QStringList seen{QApplication::focusWidget()->objectName()};
        while (seen.size() < arg.count(' ') + 1) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(seen.join(' '), arg);
    } else if (command == "picture" || command == "saved") { // the surface is that file's
        PictureSurface file;
        QVERIFY(file.LoadImageFile(w.folder.filePath(arg)).ok());
        QCOMPARE(surface.Image(), file.Image());
        if (command == "saved") {
            QVERIFY(test::ReadBytes(w.folder.filePath(arg)).startsWith("BM"));
            w.saved << arg;
        }
    } else if (command == "filter") { // the last file dialog's; one object serves both
        QCOMPARE(w.fake.asked.last().filter, arg);
    } else if (command == "hidden") { // the message in the surface
        const ReadOutcome outcome = ReadText(surface);
        QCOMPARE(outcome.status, ReadStatus::Found);
        QCOMPARE(QString::fromStdU16String(outcome.text), arg);
    } else if (command == "shows") { // the picture box paints the surface as it is now
        const QRect part = picture->geometry().translated(-shown.topLeft());
        QCOMPARE(picture->grab().toImage().convertToFormat(QImage::Format_RGB32),
                 surface.Image().copy(part));
    } else {
        QFAIL(qPrintable("unknown step " + step));
    }
}

} // namespace

class tst_FrmMain : public QObject
{
    Q_OBJECT

private slots:
    void flows_data();
    void flows();
};

void tst_FrmMain::flows_data()
{
    QTest::addColumn<QStringList>("steps");
    const auto add = [](const char* name, const QString& steps) {
        QTest::newRow(name) << steps.split(QStringLiteral(" | "));
    };
    const QString small = QStringLiteral("load small.bmp 200x150 | ");
    const QString big = QStringLiteral("load big.bmp 1000x800 | ");
    const QString empty = QStringLiteral("view 130.5,92.5 89x65 across:off down:off");

    // Loading, by each way in, and each way it can fail.
    add("at start; a cancelled or failed load changes nothing",
        "enabled | " + empty + " | tabs cmdLoadImage Picture1 Picture2 cmdLoadImage | " +
            "click cmdLoadImage | asked open dialog | filter Images Files (*.bmp,*.jpg,*.jpeg,"
            "*.gif)|*.bmp;*.jpg;*.jpeg;*.gif|Bitmap Files (*.bmp)|*.bmp|JPEG Files (*.jpg,*.jpeg)|"
            "*.jpg;*.jpeg|Compuserve GIF Files (*.gif)|*.gif | enabled | answer notes.txt | " +
            "click cmdLoadImage | asked open dialog | " + Stop +
            "\u201C%1/notes.txt\u201D is not a picture. Lumenveil opens bitmap (BMP), JPEG, GIF "
            "and PNG files. | enabled | " +
            empty);
    add("after a load, a cancelled or failed load changes nothing",
        small +
            "set before | click mnuFileLoadImage | asked open dialog | answer | "
            "click cmdLoadImage | asked open dialog | answer gone.bmp | click cmdLoadImage | "
            "asked open dialog | " +
            Stop +
            "The file \u201C%1/gone.bmp\u201D does not exist. | "
            "enabled all | text before | picture small.bmp");
    add("load by the button, the menu and double-clicks on the frame and the picture",
        "answer existing.bmp | click cmdLoadImage | asked open dialog | enabled all | text | "
        "picture existing.bmp | view 150,100 50x50 across:off down:off | set before | " +
            small +
            "answer existing.bmp | click mnuFileLoadImage | asked open dialog | text | "
            "picture existing.bmp | answer small.bmp | dclick Picture1 | asked open dialog | "
            "picture small.bmp | answer existing.bmp | dclick Picture2 | asked open dialog | "
            "picture existing.bmp");
    add("tab order with a large picture and a text",
        big + "set a message | enabled all | focus cmdLoadImage | tabs cmdLoadImage "
              "cmdGetEmbeddedText cmdEmbedText txtText Picture1 Picture2 VScroll1 HScroll1 "
              "cmdLoadImage");

    // Each picture follows a larger one scrolled away from the corner.
    const QString scrolled = big + "scroll HScroll1 300 | scroll VScroll1 200 | "
                                   "view -300,-200 1000x800 across:650@300 down:550@200 | ";
    add("arrange: 350 x 250 fills the frame",
        scrolled + "load next.bmp 350x250 | view 0,0 350x250 across:0@0 down:0@0");
    add("arrange: 99 x 66 centred, half a pixel",
        scrolled + "load next.bmp 99x66 | view 125.5,92 99x66 across:off down:off | shows");
    add("arrange: 500 x 100 scrolls sideways",
        scrolled + "load next.bmp 500x100 | view 0,75 500x100 across:150@0 down:off");
    add("arrange: 100 x 400 scrolls down",
        scrolled + "load next.bmp 100x400 | view 125,0 100x400 across:off down:150@0");

    // Scrolling with the arrows, the keys and the thumb of the bars.
    add("scroll: arrow 30, page 50 and End across; page and arrow 30 down",
        big + "arrow HScroll1 | view -30,0 1000x800 across:650@30 down:550@0 | focus HScroll1 | "
              "key PgDown | view -80,0 1000x800 across:650@80 down:550@0 | key End | "
              "view -650,0 1000x800 across:650@650 down:550@0 | focus VScroll1 | key PgDown | "
              "arrow VScroll1 | view -650,-60 1000x800 across:650@650 down:550@60 | shows");
    add("scroll: a dragged thumb moves the picture when let go",
        big + "scroll HScroll1 300 | drag HScroll1 0 | "
              "view -300,0 1000x800 across:650@300 down:550@0 | release HScroll1 | "
              "view 0,0 1000x800 across:650@0 down:550@0");

    // Hiding, then saving through the Save dialog.
    const QString jpeg = "load photo.jpeg 200x150 | set " + Note + " | ";
    const QString hidden = "click cmdEmbedText | asked save dialog | hidden " + Note + " | ";
    const QString existing = Replace.arg("%1", "existing.bmp") + " | ";
    const auto savedBut = [](const QString& name, const QString& problem) {
        return Stop + "The picture was saved as \u201C%1/" + name + "\u201D, but reading it back " +
               "did not give the hidden message. " + problem + "\n\nKeep your text and save it " +
               "again under another name or in another folder.";
    };
    add("save: the file saved is read back; a file without the message is reported",
        jpeg + "answer note.bmp | " + hidden + "filter Bitmap Files (*.bmp)|*.bmp | " +
            "saved note.bmp | check note.bmp | set Meet me at one. | answer one.bmp | " +
            "click mnuFileEmbedText | asked save dialog | saved one.bmp | check one.bmp | " +
            savedBut("one.bmp", "The message read back differs from the text that was hidden.") +
            " | check existing.bmp | " + savedBut("existing.bmp", NoMessage) +
            " | check notes.txt | " +
            savedBut("notes.txt", "\u201C%1/notes.txt\u201D is not a picture. Lumenveil opens "
                                  "bitmap (BMP), JPEG, GIF and PNG files."));
    add("save: cancelled or an empty name, the picture keeps the message",
        jpeg + hidden + "answer | " + hidden + "text " + Note);
    add("save: no such folder, or a folder of that name",
        jpeg + "answer missing/note.bmp | answer album | " + hidden + Stop +
            "The picture could not be saved as \u201C%1/missing/note.bmp\u201D: ... | " + hidden +
            Stop +
            "The picture could not be saved as \u201C%1/album\u201D: a folder has that "
            "name.");
    add("save: existing file, No, then cancel",
        jpeg + "answer existing.bmp | reply No | " + hidden + existing + "asked save dialog");
    add("save: existing file, No, then a new name",
        jpeg + "answer existing.bmp | answer note.bmp | reply No | " + hidden + existing +
            "asked save dialog | saved note.bmp");
    add("save: existing file, Yes",
        jpeg + "answer existing.bmp | reply Yes | " + hidden + existing + "saved existing.bmp");
    add("save: Enter on the loaded JPEG's name, Yes: a bitmap under its name",
        jpeg + "answer <enter> | reply Yes | " + hidden + Replace.arg("%1", "photo.jpeg") +
            " | saved photo.jpeg");
    const QString typing = QStringLiteral("enabled cmdGetEmbeddedText txtText "
                                          "mnuFileGetEmbeddedText mnuFileEmbedText");
    add("save: the timer follows the text; the menu hides even an empty one",
        small + typing + " | set    " /* three blanks */ " | enabled all | set | " + typing +
            " | click mnuFileEmbedText | asked save dialog | hidden");
    add("save: the picture box shows the hidden pixels",
        "load white.bmp 350x250 white | set A | click mnuFileEmbedText | asked save dialog | "
        "hidden A | shows");

    // Hidden and read back through the buttons; line breaks are hidden as CR LF.
    const auto roundTrip = [&small](const QString& typed, const QString& hidden) {
        return small + "set " + typed + " | click mnuFileEmbedText | asked save dialog | hidden " +
               hidden + " | set typed over | click cmdGetEmbeddedText | text " + typed;
    };
    add("read back: empty text", roundTrip("", ""));
    add("read back: one line", roundTrip(Note, Note));
    add("read back: two lines", roundTrip("first\nsecond", "first\r\nsecond"));
    add("read back: blank line and trailing break", roundTrip("a\n\nb\n", "a\r\n\r\nb\r\n"));
    add("read back: Western European characters",
        roundTrip(QStringLiteral("Grüße, café – 5 €"), QStringLiteral("Grüße, café – 5 €")));
    add("read back: blanks only", roundTrip("   ", "   "));

    // What cannot be hidden or read is said while busy, and changes nothing.
    const auto refused = [](const QString& picture, const QString& typed, const QString& how) {
        return "load " + picture + " | set " + typed + " | " + how + " | picture " +
               picture.section(' ', 0, 0) + " | text " + typed;
    };
    const QString hide = QStringLiteral("click mnuFileEmbedText | ");
    const QString read = QStringLiteral("click cmdGetEmbeddedText | ") + BusyWarn;
    add("refused: 8 x 8 cannot hold the markers",
        refused("tiny.bmp 8x8", "", hide + TooLong.arg(8)));
    add("refused: one pixel short",
        refused("short.bmp 8x13", "abcdefghijk", hide + TooLong.arg(1)));
    add("refused: a line break takes two characters",
        refused("short.bmp 8x13", "abcdefghij\n", hide + TooLong.arg(4)));
    add("refused: characters outside the code page",
        refused("photo.bmp 200x150", QStringLiteral("snow \u2603 and \U0001F600"),
                hide + BusyStop +
                    "The text contains characters that cannot be hidden in a picture: ..."));
    add("refused: the end marker inside the text",
        refused("photo.bmp 200x150", "this is the end message, really",
                hide + BusyStop + "The text contains the words \u201Cend message\u201D..."));
    add("nothing to read: a photo", refused("photo.bmp 200x150", "typed", read + NoMessage));
    add("nothing to read: fewer than 40 pixels",
        refused("tiny.bmp 6x6", "typed", read + NoMessage));
    add("nothing to read: a start marker without an end marker",
        refused("cut.bmp 10x20 cut", "typed",
                read + "The hidden message is incomplete: its end marker is missing."));
    add("nothing to read: a JPEG says why",
        refused("photo.jpg 200x150", "typed",
                read + NoMessage +
                    "\n\nThis picture was opened from a JPEG file. Saving a picture as JPEG "
                    "destroys a hidden message, so open the bitmap (.bmp) file that Lumenveil "
                    "saved instead."));

    // Esc asks before it quits; the menu and the close box do not.
    add("exit: Esc on the load button and in the text box, No",
        small + "set typed | focus cmdLoadImage | key Esc | " + Quit +
            " | focus txtText | key Esc | " + Quit + " | text typed");
    add("exit: Esc in the text box, Yes",
        small + "set typed | focus txtText | reply Yes | key Esc | " + Quit + " | asked closed");
    add("exit: File > Exit asks nothing", "click mnuFileExit | asked closed");
    add("exit: the close box asks nothing", "close | asked closed");

    // The menu's keys come before the text box's own; a button's access key clicks it.
    const auto keys = [&small](const char* keys, const QString& asked) {
        return small + "set keep me | focus txtText | key " + keys + " | " + asked +
               " | text keep me";
    };
    add("keys: Ctrl+L loads", keys("Ctrl+L", "asked open dialog"));
    add("keys: Ctrl+G reads", keys("Ctrl+G", BusyWarn + NoMessage));
    add("keys: Ctrl+E hides and offers to save", keys("Ctrl+E", "asked save dialog"));
    add("keys: Ctrl+X exits instead of cutting", keys("Ctrl+X", "asked closed"));
    add("keys: F1 opens the help page", keys("F1", "asked shell Open help.htm [] in %1/ show 1"));
    add("keys: Ctrl+A shows About instead of selecting all", keys("Ctrl+A", "asked about"));
    add("keys: access keys", small +
                                 "set a message | enabled all | focus cmdLoadImage | key Alt+L | "
                                 "asked open dialog | key Alt+E | asked save dialog | "
                                 "set typed over | key Alt+G | text a message");

    // SetBusy; a closed window leaves no wait cursor behind.
    add("busy: 1 marks, twice doubles; other values do nothing; 0 removes all",
        "busy 1 | caption Lumenveil v1.1 (Working...), waiting | busy 1 | busy 2 | busy -1 | "
        "caption Lumenveil v1.1 (Working...) (Working...), waiting | busy 0 | "
        "caption Lumenveil v1.1, no cursor | busy 0 | caption Lumenveil v1.1, no cursor");
    add("busy: a closed window leaves no wait cursor", "busy 1 | busy 1");
}

void tst_FrmMain::flows()
{
    QFETCH(QStringList, steps);
    {
        Window w;
        for (const QString& step : steps) {
            Play(w, step);
            if (QTest::currentTestFailed()) {
                QFAIL(qPrintable("at the step \"" + step + '"'));
            }
        }
        QVERIFY2(w.fake.journal.isEmpty(), qPrintable("also asked: " + w.fake.journal.join(" | ")));
        QCOMPARE(w.window->isVisible(), !steps.contains("asked closed"));
        if (!steps.first().startsWith(QLatin1String("busy"))) {
            QCOMPARE(w.window->windowTitle(), Caption);
        }
        // No file the folder was given has changed, and the window wrote no other.
        for (const QString& name : QDir(w.folder.path()).entryList(QDir::Files)) {
            QVERIFY2(w.saved.contains(name) ||
                         test::ReadBytes(w.folder.filePath(name)) == w.given.value(name, "?"),
                     qPrintable(name + " was written"));
        }
    }
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

QTEST_MAIN(tst_FrmMain)
#include "tst_frm_main.moc"
