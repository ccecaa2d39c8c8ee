#include "fake_toolkit.h"
#include "picture/viewport.h"
#include "support/test_pictures.h"
#include "ui/frm_main.h"
#include "ui/hidden_text_messages.h"
#include "ui/picture_box.h"

#include <QAbstractButton>
#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocumentFragment>
#include <QToolTip>
#include <QTimer>
#include <QWindow>

#include <cmath>
#include <functional>
#include <memory>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace lumenveil;
using namespace lumenveil::ui;
using lumenveil::test::ImageOf;
using lumenveil::test::Native;

namespace {

// The controls and entries that "enabled" looks at; "enabled all" names every one of them.
const QStringList Watched{"cmdGetEmbeddedText", "cmdEmbedText", "txtText", "mnuFileGetEmbeddedText",
                          "mnuFileEmbedText"};

// Whether `seen` is `expected`, where "..." stands for any text.
bool Matches(const QString& seen, const QString& expected)
{
    const QString pattern = QRegularExpression::escape(expected).replace("\\.\\.\\.", ".*");
    return QRegularExpression('^' + pattern + '$', QRegularExpression::DotMatchesEverythingOption)
        .match(seen)
        .hasMatch();
}

// `expected` with "%1" for `folder`: a file name in quotes as messages show it, with the
// system's separators, and anywhere else as Qt writes it.
QString InFolder(QString expected, const QString& folder)
{
    static const QRegularExpression quoted(QStringLiteral("\u201C%1([^\u201D]*)\u201D"));
    for (QRegularExpressionMatch name = quoted.match(expected); name.hasMatch();
         name = quoted.match(expected, name.capturedStart() + 1)) {
        expected.replace(name.capturedStart(), name.capturedLength(),
                         QChar(0x201C) + QDir::toNativeSeparators(folder + name.captured(1)) +
                             QChar(0x201D));
    }
    return expected.replace("%1", folder);
}

// One main window on fakes, centred on the screen, in a folder of its own with a bitmap, a text
// file and a subfolder. The files the folder is given are noted, to prove that none changed.
struct Window
{
    Window()
    {
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("album.bmp")));
        Make(QStringLiteral("existing.bmp 50x50"));
        given.insert("notes.txt", "Shopping: bread, milk.\n");
        QVERIFY(test::WriteBytes(folder.filePath("notes.txt"), given["notes.txt"]));
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        const QPoint screenCentre = window->screen()->availableGeometry().center();
        QVERIFY((window->geometry().center() - screenCentre).manhattanLength() <= 40);
    }

    // "NAME WxH [cut]": a photo, or one whose hidden message lacks its end marker, in the
    // format its extension names.
    void Make(const QString& picture)
    {
        const QStringList part = picture.split(' ');
        const int width = part[1].section('x', 0, 0).toInt();
        const int height = part[1].section('x', 1).toInt();
        const QString path = folder.filePath(part[0]);
        QImage image = test::PhotoLikeImage(width, height, 2);
        if (part.value(2) == "cut") { // the first columns of a picture with a message
            PictureSurface whole;
            QVERIFY(test::WriteImage(test::PhotoLikeImage(2 * width, height), path, "bmp"));
            QVERIFY(whole.LoadImageFile(Native(path)).ok());
            QVERIFY(HideText(whole, std::u16string(100, u'x')).status == HideStatus::Hidden);
            image = ImageOf(whole).copy(0, 0, width, height);
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

// Notes whether `widget` was painted while the wait cursor was on.
class PaintWatch final : public QObject
{
public:
    explicit PaintWatch(QWidget& widget) : widget_(widget) { widget.installEventFilter(this); }
    ~PaintWatch() override { widget_.removeEventFilter(this); }
    bool drawnWaiting = false;

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override
    {
        const QCursor* cursor = QApplication::overrideCursor();
        drawnWaiting = drawnWaiting || (event->type() == QEvent::Paint && cursor != nullptr &&
                                        cursor->shape() == Qt::WaitCursor);
        return false;
    }

private:
    QWidget& widget_;
};

// Plays one step of a flow: an action (load, drawnload, answer, reply, set, type, focus, click (a control or
// menu entry), dclick, key, close, check, busy, scroll, arrow, thumb, wheel, drop) or a check
// (asked, enabled, text, caption, view, corner, arrange, tabs, picture, saved, filter, hidden,
// shows, capacity, focusframe, cornersquare, helpwindow); fails and page prepare the help.
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
    if (command == "load" || command == "drawnload") { // makes a picture and loads it with the
        // button; drawnload also checks that the window was drawn while the pointer waited
        w.Make(arg);
        PaintWatch watch(*w.Find(QStringLiteral("cmdLoadImage")));
        w.fake.files << w.folder.filePath(first);
        QTest::mouseClick(w.Find(QStringLiteral("cmdLoadImage")), Qt::LeftButton);
        QCOMPARE(w.fake.journal, QStringList{"open dialog"});
        QCOMPARE(QStringLiteral("%1x%2").arg(surface.ImageWidth()).arg(surface.ImageHeight()),
                 arg.section(' ', 1, 1));
        w.fake.journal.clear();
        QVERIFY(command == "load" || watch.drawnWaiting);
    } else if (command == "answer") { // the next file dialog's: a name in the folder, or so
        w.fake.files << (arg.isEmpty() || arg.startsWith('<') ? arg : w.folder.filePath(arg));
    } else if (command == "reply") { // the next message box's
        w.fake.replies << (arg == "Yes" ? AnswerYes : AnswerNo);
    } else if (command == "set") { // as the program sets it: nothing typed
        text->setPlainText(arg);
    } else if (command == "type") {
        QTest::keyClicks(text, arg);
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
        w.window->windowHandle()->close();
    } else if (command == "check") { // the check of a file saved with "Meet me at noon."
        if (const auto report = CheckSavedMessage(w.folder.filePath(arg), u"Meet me at noon.")) {
            w.fake.Show(DescribeMessageBox(report->prompt, report->style, report->title), nullptr);
        }
    } else if (command == "busy") {
        w.window->SetBusy(arg.toInt());
    } else if (command == "scroll") {
        bar->setValue(arg.section(' ', 1).toInt());
    } else if (command == "wheel") { // over the picture: "DX DY", then "shift" if held
        const QPointF at(2, 2);
        QWheelEvent turn(at, picture->mapToGlobal(at), {},
                         {first.toInt(), step.section(' ', 2, 2).toInt()}, Qt::NoButton,
                         arg.endsWith("shift") ? Qt::ShiftModifier : Qt::NoModifier,
                         Qt::NoScrollPhase, false);
        QApplication::sendEvent(picture, &turn);
    } else if (command == "drop") { // on a control: files of the folder, addresses, "text:WORD"
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& item : arg.section(' ', 1).split(' ')) {
            if (item.startsWith("text:")) {
                data.setText(item.mid(5));
            } else {
                urls << (item.contains("://") ? QUrl(item)
                                              : QUrl::fromLocalFile(w.folder.filePath(item)));
            }
        }
        data.setUrls(urls);
        QWidget* target = first == "txtText"   ? text->viewport()
                          : first == "frmMain" ? w.window.get()
                                               : w.Find(first);
        QDragEnterEvent enter({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, {});
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(target, &enter);
        QApplication::sendEvent(target, &drop);
        QCOMPARE(drop.isAccepted(), enter.isAccepted());
        // The load follows the drop.
        QCoreApplication::processEvents();
    } else if (command == "arrow") { // a click on the arrow at the bar's far end
        const bool across = bar->orientation() == Qt::Horizontal;
        QTest::mouseClick(bar, Qt::LeftButton, {},
                          {across ? bar->width() - 4 : 8, across ? 8 : bar->height() - 4});
    } else if (command == "thumb") { // held down and dragged to a value; let go without one
        bar->setSliderDown(arg.contains(' '));
        bar->setSliderPosition(bar->isSliderDown() ? arg.section(' ', 1).toInt() : bar->value());
    } else if (command == "asked" && arg == "closed") {
        QTRY_VERIFY(!w.window->isVisible());
    } else if (command == "asked") { // the next request; "..." stands for any text
        QTRY_VERIFY2(!w.fake.journal.isEmpty(), qPrintable("nothing asked, expected " + arg));
        const QString seen = w.fake.journal.takeFirst();
        QVERIFY2(
            Matches(seen, InFolder(arg, w.folder.path())),
            qPrintable(seen));
    } else if (command == "enabled") { // exactly these of the watched controls and entries
        const auto enabled = [&w] {
            QStringList names = Watched;
            names.removeIf([&w](const QString& name) {
                return !w.Find<QObject>(name)->property("enabled").toBool();
            });
            return names.join(' ');
        };
        QTRY_COMPARE(enabled(), arg == "all" ? Watched.join(' ') : arg);
    } else if (command == "text") { // the box holds exactly this, and nothing is selected
        QTRY_COMPARE(BoxText(*text->document()), arg);
        QVERIFY(!text->textCursor().hasSelection());
    } else if (command == "caption") { // and whether the wait cursor is on
        QCOMPARE(w.window->windowTitle() + (QApplication::overrideCursor() ? ", waiting" : ""),
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
    } else if (command == "corner") { // the frame's last uncovered pixel shows the picture's last
        const QImage seen =
            w.Find(QStringLiteral("client"))->grab({10 + 347, 10 + 247, 1, 1}).toImage();
        QCOMPARE(seen.convertToFormat(QImage::Format_RGB32).pixel(0, 0),
                 ImageOf(surface).pixel(surface.ImageWidth() - 1, surface.ImageHeight() - 1));
    } else if (command == "capacity") { // the label's text, then " red: WHY" when it is red
        const auto* label = w.Find<QLabel>(QStringLiteral("lblCapacity"));
        const bool red = label->palette().color(QPalette::WindowText) == QColor(Qt::red);
        const QString why = QTextDocumentFragment::fromHtml(label->toolTip()).toPlainText();
        const QString seen = label->text() + (red ? " red: " + why : why);
        QVERIFY2(Matches(seen, arg), qPrintable(seen));
        if (!why.isEmpty()) { // shown, the tip wraps at a readable width
            QToolTip::showText(label->mapToGlobal(QPoint(2, 2)), label->toolTip(), const_cast<QLabel*>(label));
            const auto shownTip = [] {
                for (QWidget* top : QApplication::topLevelWidgets()) {
                    if (top->objectName() == "qtooltip_label" && top->isVisible()) {
                        return top;
                    }
                }
                return static_cast<QWidget*>(nullptr);
            };
            QTRY_VERIFY(shownTip() != nullptr);
            QWidget* tip = shownTip();
            QVERIFY2(tip->width() <= 520, qPrintable(QString::number(tip->width())));
            QToolTip::hideText();
        }
    } else if (command == "focusframe") { // the picture frame's focus frame: shown or not
        auto* frame = w.Find(QStringLiteral("PictureFocusFrame"));
        QCOMPARE(QString(frame->isVisible() ? "shown" : "not shown"), arg);
        const QImage seen = w.Find(QStringLiteral("client"))->grab({10, 10, 1, 1}).toImage();
        const QColor highlight = frame->palette().color(QPalette::Active, QPalette::Highlight);
        QCOMPARE(seen.pixelColor(0, 0) == highlight, arg == "shown");
    } else if (command == "cornersquare") { // the square between the bars: the window's colour
        const QImage seen =
            w.Find(QStringLiteral("client"))->grab({358, 258, 16, 17}).toImage().convertToFormat(
                QImage::Format_RGB32);
        const QRgb window = w.window->palette().color(QPalette::Window).rgb();
        for (int y = 0; y < seen.height(); ++y) {
            for (int x = 0; x < seen.width(); ++x) {
                QVERIFY2(seen.pixel(x, y) == window, qPrintable(QString("%1,%2").arg(x).arg(y)));
            }
        }
    } else if (command == "fails") { // the shell cannot open what it is given from now on
        w.fake.shellFails = true;
    } else if (command == "page") { // a help page in the folder
        w.given.insert("help.htm", "<html><body><h1>Lumenveil help</h1><p><a href=\"#use\">How "
                                   "to</a></p><h2 id=\"use\">Using it</h2></body></html>");
        QVERIFY(test::WriteBytes(w.folder.filePath("help.htm"), w.given["help.htm"]));
    } else if (command == "helpwindow") { // our own window shows the page
        QWidget* help = nullptr;
        QTRY_VERIFY((help = w.Find(QStringLiteral("HelpWindow"))) != nullptr && help->isVisible());
        auto* browser = help->findChild<QTextBrowser*>(QStringLiteral("HelpBrowser"));
        QVERIFY(browser->toPlainText().contains(arg));
        QCOMPARE(browser->source(), QUrl::fromLocalFile(w.folder.filePath("help.htm")));
        help->close();
    } else if (command == "arrange") { // the arithmetic alone, for sizes no test loads
        const ViewArrangement view =
            ArrangeView(first.section('x', 0, 0).toInt(), first.section('x', 1).toInt());
        const auto bar = [](const ScrollBarSetting& b) {
            return (b.enabled ? QString() : QStringLiteral("off ")) + QString::number(b.maximum);
        };
        QCOMPARE(QString::asprintf("%s at %g,%g across:%s down:%s", qPrintable(first), view.left,
                                   view.top, qPrintable(bar(view.horizontal)),
                                   qPrintable(bar(view.vertical))),
                 arg);
    } else if (command == "tabs") { // the focus now, then after each Tab
        QStringList seen{QApplication::focusWidget()->objectName()};
        while (seen.size() < arg.count(' ') + 1) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(seen.join(' '), arg);
    } else if (command == "picture" || command == "saved") { // the surface is that file's
        PictureSurface file;
        QVERIFY(file.LoadImageFile(Native(w.folder.filePath(arg))).ok());
        QCOMPARE(ImageOf(surface), ImageOf(file));
        if (command == "saved") {
            QVERIFY(test::ReadBytes(w.folder.filePath(arg)).startsWith("BM"));
            w.saved << arg;
        }
    } else if (command == "filter") { // the last file dialog's; one object serves both
        QVERIFY2(Matches(w.fake.Properties().filter, arg), qPrintable(w.fake.Properties().filter));
    } else if (command == "hidden") { // the message in the surface
        const ReadOutcome outcome = ReadText(surface);
        QCOMPARE(outcome.status, ReadStatus::Found);
        QCOMPARE(QString::fromStdU16String(outcome.text), arg);
    } else if (command == "shows") { // the picture box paints the surface as it is now
        const QRect part = picture->geometry().translated(-shown.topLeft());
        QCOMPARE(picture->grab().toImage().convertToFormat(QImage::Format_RGB32),
                 ImageOf(surface).copy(part));
    } else {
        QFAIL(qPrintable("unknown step " + step));
    }
}

} // namespace

// The main window on fakes, and the Qt side of the toolkit it is given in the program: real
// message boxes and file dialogs answered from inside, and the shell on xdg-open. A box
// or dialog left open fails the test by its time-out.
class tst_FrmMain : public QObject
{
    Q_OBJECT

private slots:
    void flows_data();
    void flows();
    void qtBox_data();
    void qtBox();
    void fileDialog_data();
    void fileDialog();
    void shellOpens_data();
    void shellOpens();
    // Run at QT_SCALE_FACTOR 1, 1.5 and 2 by the test suite.
    void sharpAtAnyScale();

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
};

void tst_FrmMain::flows_data()
{
    QTest::addColumn<QStringList>("steps");
    const auto add = [](const char* name, const QString& steps) {
        QTest::newRow(name) << steps.split(QStringLiteral(" | "));
    };

    // Loading, by each way in, and each way it can fail. "%1" stands for the test's folder.
    add("at start; a cancelled or failed load changes nothing",
        "enabled | view 130.5,92.5 89x65 across:off down:off | tabs cmdLoadImage Picture1 "
        "cmdLoadImage | click cmdLoadImage | asked open dialog | enabled | answer notes.txt | "
        "filter Images Files "
        "(*.bmp,*.jpg,*.jpeg,*.gif,*.png)|*.bmp;*.jpg;*.jpeg;*.gif;*.png|Bitmap "
        "Files...|*.gif|PNG Files (*.png)|*.png | click cmdLoadImage | asked open dialog | asked "
        "stop ok [Lumenveil v1.1]: "
        "\u201C%1/notes.txt\u201D is not a picture. Lumenveil opens bitmap (BMP), JPEG, GIF and "
        "PNG files. | enabled | view 130.5,92.5 89x65 across:off down:off");
    add("after a load, a cancelled or failed load changes nothing",
        "load small.bmp 200x150 | set before | click mnuFileLoadImage | asked open dialog | answer "
        "| click cmdLoadImage | asked open dialog | answer gone.bmp | click cmdLoadImage | asked "
        "open dialog | asked stop ok [Lumenveil v1.1]: The file \u201C%1/gone.bmp\u201D does not "
        "exist. | enabled all | text before | picture small.bmp");
    add("load: the window is drawn before a load, the pointer waiting",
        "drawnload first.bmp 200x150 | drawnload second.jpg 120x90 | picture second.jpg");
    add("load by the button, the menu and double-clicks on the frame and the picture",
        "answer existing.bmp | click cmdLoadImage | asked open dialog | enabled "
        "cmdGetEmbeddedText txtText mnuFileGetEmbeddedText mnuFileEmbedText | text | "
        "picture existing.bmp | view 150,100 50x50 across:off down:off | set before | load "
        "small.bmp 200x150 | answer existing.bmp | click mnuFileLoadImage | asked open dialog | "
        "text | picture existing.bmp | answer small.bmp | dclick Picture1 | asked open dialog | "
        "picture small.bmp | answer existing.bmp | dclick Picture2 | asked open dialog | picture "
        "existing.bmp");

    // Each picture follows a larger one scrolled away from the corner; then the arithmetic
    // alone: a disabled bar's maximum is negative, and sizes far beyond the frame.
    const QString scrolled = "load big.bmp 1000x800 | scroll HScroll1 300 | scroll VScroll1 200 | "
                             "view -300,-200 1000x800 across:652@300 down:552@200 | load next.bmp ";
    add("arrange: 350 x 250 fills the frame; tab order with the bars and a text",
        scrolled + "350x250 | view 0,0 350x250 across:2@0 down:2@0 | set a message | enabled all | "
                   "focus cmdLoadImage | tabs cmdLoadImage cmdGetEmbeddedText cmdEmbedText txtText "
                   "Picture1 cmdLoadImage");
    add("arrange: 99 x 66 centred, half a pixel",
        scrolled + "99x66 | view 125.5,92 99x66 across:off down:off | shows");
    add("arrange: the frame's edges, the bars' strip and pictures far larger",
        "arrange 89x65 at 130.5,92.5 across:off -261 down:off -185 | arrange 351x251 at 0,0 "
        "across:3 down:3 | arrange 348x248 at 0,0 across:0 down:0 | arrange 347x800 at 1.5,0 "
        "across:off -3 down:552 | arrange 40000x300 at 0,0 across:39652 down:52 | arrange "
        "1x268435456 at 174.5,0 across:off -349 down:268435208 | arrange 0x0 at 175,125 across:off "
        "-350 down:off -250");

    // Scrolling with the arrows, the keys and the thumb of the bars.
    add("scroll: arrow 30, page 50 and End across; page and arrow 30 down",
        "load big.bmp 1000x800 | arrow HScroll1 | view -30,0 1000x800 across:652@30 down:552@0 | "
        "focus HScroll1 | key PgDown | view -80,0 1000x800 across:652@80 down:552@0 | key End | "
        "view -652,0 1000x800 across:652@652 down:552@0 | focus VScroll1 | key PgDown | arrow "
        "VScroll1 | view -652,-60 1000x800 across:652@652 down:552@60 | shows | key End | corner");
    add("scroll: the focused picture frame with the arrows, Page Up and Down, Home and End",
        "load big.bmp 1000x800 | focusframe not shown | focus Picture1 | focusframe shown | key "
        "Right | key Down | view -30,-30 1000x800 across:652@30 down:552@30 | key PgDown | key "
        "Left | view 0,-60 1000x800 across:652@0 down:552@60 | key End | key Shift+End | view "
        "-652,-552 1000x800 across:652@652 down:552@552 | key PgUp | key Home | key Shift+Home | "
        "view 0,0 1000x800 across:652@0 down:552@0 | cornersquare | focus cmdLoadImage | "
        "focusframe not shown");
    add("scroll: a dragged thumb moves the picture when let go",
        "load big.bmp 1000x800 | scroll HScroll1 300 | thumb HScroll1 0 | view -300,0 1000x800 "
        "across:652@300 down:552@0 | thumb HScroll1 | view 0,0 1000x800 across:652@0 down:552@0");
    add("scroll: the wheel down and up; Shift or a horizontal wheel across; not a disabled bar",
        "load big.bmp 1000x800 | wheel 0 -120 | view 0,-30 1000x800 across:652@0 down:552@30 | "
        "wheel 0 120 | wheel 0 -120 shift | view -50,0 1000x800 across:652@50 down:552@0 | wheel "
        "-120 0 | view -100,0 1000x800 across:652@100 down:552@0 | load wide.bmp 500x100 | wheel 0 "
        "-120 | view 0,75 500x100 across:152@0 down:off | wheel 0 -120 shift | view -50,75 500x100 "
        "across:152@50 down:off");

    // Hiding, then saving through the Save dialog, which asks before it replaces a file.
    const QString hidden = QStringLiteral("load photo.jpeg 200x150 | set Meet me at noon. | %1 | "
                                          "click cmdEmbedText | asked save dialog | hidden Meet me "
                                          "at noon. | ");
    const QString replace = "asked exclamation yes/NO [Lumenveil v1.1]: \u201C%1/%2\u201D already "
                            "exists.\nDo you want to replace it?";
    add("save: the file saved is read back; a file without the message is reported",
        hidden.arg("answer note.bmp") +
            "filter Bitmap Files (*.bmp)|*.bmp | saved note.bmp | check note.bmp | set Meet me at "
            "one. | answer one.bmp | click mnuFileEmbedText | asked save dialog | saved one.bmp | "
            "check one.bmp | asked stop ok [Lumenveil v1.1]: The picture was saved as "
            "\u201C%1/one.bmp\u201D, but reading it back did not give the hidden message. The "
            "message read back differs from the text that was hidden.\n\nKeep your text and save "
            "it again under another name or in another folder. | check existing.bmp | asked stop "
            "ok [Lumenveil v1.1]: The picture was saved as \u201C%1/existing.bmp\u201D...This "
            "image has no secret message!... | check notes.txt | asked stop ok [Lumenveil v1.1]: "
            "The picture was saved as \u201C%1/notes.txt\u201D...\u201C%1/notes.txt\u201D is not a "
            "picture...");
    add("save: a name beyond the ANSI code page loads and saves",
        "load \u00DCn\u00EFc\u00F8d\u00E9-\u5199\u771F.jpg 200x150 | set Meet me at noon. | answer "
        "\u00DCn\u00EFc\u00F8d\u00E9-\u5199\u771F.bmp | click cmdEmbedText | asked save dialog | "
        "hidden Meet me at noon. | saved \u00DCn\u00EFc\u00F8d\u00E9-\u5199\u771F.bmp | check "
        "\u00DCn\u00EFc\u00F8d\u00E9-\u5199\u771F.bmp");
    add("save: cancelled or an empty name, the picture keeps the message",
        hidden.arg("answer") + "click cmdEmbedText | asked save dialog | text Meet me at noon.");
    add("save: no such folder, or a folder of that name",
        hidden.arg("answer missing/note.bmp | answer album") +
            "asked stop ok [Lumenveil v1.1]: The picture could not be saved as "
            "\u201C%1/missing/note.bmp\u201D: ... | click cmdEmbedText | asked save dialog | asked "
            "stop ok [Lumenveil v1.1]: The picture could not be saved as \u201C%1/album.bmp\u201D: "
            "a "
            "folder has that name.");
    add("save: existing file, No, then cancel", hidden.arg("answer existing.bmp | reply No") +
                                                    replace.arg("%1", "existing.bmp") +
                                                    " | asked save dialog");
    add("save: existing file, No, then a new name",
        hidden.arg("answer existing.bmp | answer note.bmp | reply No") +
            replace.arg("%1", "existing.bmp") + " | asked save dialog | saved note.bmp");
    add("save: existing file, Yes", hidden.arg("answer existing.bmp | reply Yes") +
                                        replace.arg("%1", "existing.bmp") +
                                        " | saved existing.bmp");
    add("save: Enter after a JPEG saves a bitmap beside it; after a bitmap, asks to replace it",
        hidden.arg("answer <enter>") +
            "saved photo.bmp | load small.bmp 200x150 | set A | answer "
            "<enter> | click cmdEmbedText | asked save dialog | " +
            replace.arg("%1", "small.bmp") + " | asked save dialog");
    add("save: after a PNG and a cancel; typed names get .bmp before the replace question",
        "load pic.png 200x150 | set A | click cmdEmbedText | asked save dialog | answer <enter> | "
        "click cmdEmbedText | asked save dialog | saved pic.bmp | answer existing | reply No | "
        "answer "
        "NOTE.BMP | click cmdEmbedText | asked save dialog | " +
            replace.arg("%1", "existing.bmp") +
            " | asked save dialog | saved NOTE.BMP | answer note.png | click cmdEmbedText | asked "
            "save dialog | saved note.png.bmp");
    add("save: the timer follows the text; the menu hides even an empty one",
        "load small.bmp 200x150 | enabled cmdGetEmbeddedText txtText mnuFileGetEmbeddedText "
        "mnuFileEmbedText | set    " /* three blanks */ " | enabled all | set | enabled "
        "cmdGetEmbeddedText txtText mnuFileGetEmbeddedText mnuFileEmbedText | click "
        "mnuFileEmbedText | asked save dialog | hidden");
    add("save: the picture box shows the hidden pixels",
        "load photo.bmp 350x250 | set A | click mnuFileEmbedText | asked save dialog | hidden A | "
        "shows");

    // Hidden and read back through the buttons; line breaks are hidden as CR LF.
    const auto roundTrip = [](const QString& typed, const QString& hidden) {
        return "load small.bmp 200x150 | set " + typed + " | click mnuFileEmbedText | asked save " +
               "dialog | hidden " + hidden +
               " | set typed over | click cmdGetEmbeddedText | text " + typed;
    };
    add("read back: empty text", roundTrip("", ""));
    add("read back: two lines", roundTrip("first\nsecond", "first\r\nsecond"));
    add("read back: blank line and trailing break", roundTrip("a\n\nb\n", "a\r\n\r\nb\r\n"));
    add("read back: Western European characters",
        roundTrip(QStringLiteral("Grüße, café – 5 €"), QStringLiteral("Grüße, café – 5 €")));
    add("read back: a no-break space, also in the check of the saved file",
        QStringLiteral("load small.bmp 200x150 | set 5\u00A0€ | answer nb | click cmdEmbedText | "
                       "asked save dialog | saved nb.bmp | hidden 5\u00A0€ | set typed over | "
                       "click cmdGetEmbeddedText | text 5\u00A0€"));
    add("read back: Undo brings back the text it replaced",
        "load small.bmp 200x150 | set secret | click cmdEmbedText | asked save dialog | "
        "set draft | click cmdGetEmbeddedText | text secret | focus txtText | key Ctrl+Z | "
        "text draft");
    add("load: Undo brings back the draft the next picture emptied",
        "load small.bmp 200x150 | set draft | load other.bmp 60x40 | text  | focus txtText | "
        "key Ctrl+Z | text draft");

    // The label right of Load Image counts as the codec does: a line break is two characters.
    add("capacity: none, under, exactly at, one over, unstorable",
        QStringLiteral(
            "capacity | load cap.bmp 10x20 | capacity 0 of 42 characters | set %1 | capacity 41 of "
            "42 characters | set %1\n | capacity 43 of 42 characters red: Text is 1 character "
            "longer than this picture can store! | set %1x | capacity 42 of 42 characters | set "
            "snow \u2603 | capacity 6 of 42 characters red: The text contains characters that "
            "cannot be hidden...")
            .arg(QString(41, 'x')));

    // What cannot be hidden or read is said while busy, and changes nothing.
    const auto refused = [](const QString& picture, const QString& typed, const QString& how) {
        return "load " + picture + " | set " + typed + " | " + how + " | picture " +
               picture.section(' ', 0, 0) + " | text " + typed;
    };
    const QString hide = QStringLiteral("click mnuFileEmbedText | asked busy stop ok ");
    const QString read = "click cmdGetEmbeddedText | asked busy exclamation ok [Lumenveil v1.1]: ";
    add("refused: 8 x 8 cannot hold the markers",
        refused("tiny.bmp 8x8", "",
                hide + "[Lumenveil]: Text is 3 characters longer than this "
                       "picture can store! | capacity 0 of 0 characters red: Text is 3..."));
    add("refused: characters outside the code page",
        refused("photo.bmp 200x150", QStringLiteral("snow \u2603 and \U0001F600"),
                hide + "[Lumenveil v1.1]: The text contains characters that cannot be hidden..."));
    add("refused: the end marker inside the text",
        refused("photo.bmp 200x150", "this is the end message, really",
                hide + "[Lumenveil v1.1]: The text contains the words \u201Cend message\u201D..."));
    add("nothing to read: a start marker without an end marker",
        refused("cut.bmp 10x20 cut", "typed",
                read + "The hidden message is incomplete: its end marker is missing."));
    add("nothing to read: a JPEG says why",
        refused("photo.jpg 200x150", "typed",
                read + "This image has no secret message!\n\nThis picture was opened from a JPEG "
                       "file. Saving a picture as JPEG destroys a hidden message, so open the "
                       "bitmap (.bmp) file that Lumenveil saved instead."));

    // Esc asks before it quits; the menu and the close box ask only while typed text is at stake.
    const QString quit =
        "key Esc | asked question yes/NO [Lumenveil v1.1]: Are you sure you want to quit?";
    add("exit: Esc on the load button and in the text box, No, then Yes",
        "load small.bmp 200x150 | set typed | focus cmdLoadImage | " + quit +
            " | focus txtText | " + quit + " | text typed | reply Yes | " + quit +
            " | asked closed");
    add("exit: nothing typed, File > Exit asks nothing", "click mnuFileExit | asked closed");
    add("exit: nothing typed, the close box asks nothing", "close | asked closed");
    const QString ask = "asked question yes/NO [Lumenveil v1.1]: Are you sure you want to quit?";
    add("exit: typed text, Ctrl+X and the close box ask; No keeps it, Yes closes",
        "load small.bmp 200x150 | focus txtText | type draft | key Ctrl+X | " + ask +
            " | close | " + ask + " | text draft | reply Yes | close | " + ask + " | asked closed");
    add("exit: typed text saved, Ctrl+X asks nothing",
        "load small.bmp 200x150 | focus txtText | type secret | answer note | click cmdEmbedText "
        "| asked save dialog | saved note.bmp | focus txtText | key Ctrl+X | asked closed");
    add("exit: typed over, then Get Embedded Text, the close box asks nothing",
        "load small.bmp 200x150 | set secret | click cmdEmbedText | asked save dialog | focus "
        "txtText | type draft | close | " +
            ask + " | click cmdGetEmbeddedText | text secret | close | asked closed");

    // A file dropped on the window, or on the text box, loads as Load Image would.
    add("drop: a text file gets the load's box; of two files the first; other drops nothing",
        "drop frmMain notes.txt | asked stop ok [Lumenveil v1.1]: \u201C%1/notes.txt\u201D is not "
        "a picture... | drop frmMain text:hello https://lumenveil.invalid/a.bmp | enabled | drop "
        "txtText existing.bmp notes.txt | enabled cmdGetEmbeddedText txtText "
        "mnuFileGetEmbeddedText mnuFileEmbedText | picture existing.bmp | view 150,100 50x50 "
        "across:off down:off | set A | answer <enter> | click cmdEmbedText | asked save dialog | " +
            replace.arg("%1", "existing.bmp") + " | asked save dialog");

    // The menu's keys come before the text box's own; a button's access key clicks it.
    add("keys: the menu's",
        "load small.bmp 200x150 | set keep me | focus txtText | key Ctrl+L | asked open dialog | "
        "key Ctrl+G | asked busy exclamation ok [Lumenveil v1.1]: This image has no secret "
        "message! | key Ctrl+E | asked save dialog | key F1 | asked shell Open help.htm [] in %1/ "
        "show 1 | key Ctrl+A | asked about | text keep me | key Ctrl+X | asked closed");
    add("keys: access keys",
        "load small.bmp 200x150 | set a message | enabled all | focus cmdLoadImage | key Alt+L | "
        "asked open dialog | key Alt+E | asked save dialog | set typed over | key Alt+G | text a "
        "message");

    // Help Topics hands the page to the shell; where the system cannot open it, our own window
    // shows it, and where there is no page, a box names it.
    add("help: our own window where the shell fails, a box where the page is missing",
        "fails | key F1 | asked shell Open help.htm [] in %1/ show 1 | asked exclamation ok "
        "[Lumenveil v1.1]: \u201C%1/help.htm\u201D could not be opened: ... | page | click "
        "mnuHelpHelpTopics | asked shell Open help.htm [] in %1/ show 1 | helpwindow Using it");

    // SetBusy; a closed window leaves no wait cursor behind.
    add("busy: 1 marks, twice doubles; other values do nothing; 0 removes all",
        "busy 1 | caption Lumenveil v1.1 (Working...), waiting | busy 1 | busy 2 | busy -1 | "
        "caption Lumenveil v1.1 (Working...) (Working...), waiting | busy 0 | caption Lumenveil "
        "v1.1 | busy 0 | caption Lumenveil v1.1");
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
            QCOMPARE(w.window->windowTitle(), QStringLiteral("Lumenveil v1.1"));
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

void tst_FrmMain::qtBox_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<QString>("press"); // a button's caption, or a key
    QTest::addColumn<bool>("titled");   // the box is given the title "Lumenveil v1.1"
    QTest::addColumn<QString>("seen");  // "ANSWER TITLE ICON"

    const int question = MsgYesNo | MsgQuestion;
    QTest::newRow("OK answers 1") << MsgCritical << "OK" << false << "1 Lumenveil Critical";
    QTest::newRow("Esc closes an OK box with 1")
        << MsgExclamation << "Esc" << true << "1 Lumenveil v1.1 Warning";
    QTest::newRow("Enter takes the default, No")
        << (question | MsgDefaultButton2) << "Return" << true << "7 Lumenveil v1.1 Question";
    QTest::newRow("Enter takes the default, Yes")
        << question << "Return" << true << "6 Lumenveil v1.1 Question";
    QTest::newRow("Esc answers No") << question << "Esc" << true << "7 Lumenveil v1.1 Question";
}

void tst_FrmMain::qtBox()
{
    QFETCH(int, style);
    QFETCH(QString, press);
    QFETCH(bool, titled);
    QFETCH(QString, seen);

    const QString prompt = QStringLiteral("A <b>plain</b> text");
    QString box = QStringLiteral("no box");
    WhenShown<QMessageBox>([&](QMessageBox& shown) {
        const QStringList icons = QString("None Information Warning Critical Question").split(' ');
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

void tst_FrmMain::fileDialog_data()
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

void tst_FrmMain::fileDialog()
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

void tst_FrmMain::shellOpens_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("pageThere"); // the file lies in the folder
    QTest::addColumn<int>("exitStatus");  // xdg-open's; -1: there is none on the PATH
    QTest::addColumn<QString>("seen");    // what the opener was given ("%1": the folder), then
                                          // "failed" where the shell said so
#ifdef Q_OS_WIN
    // ShellExecute starts the program the file's type is registered to, and reports no more.
    // The test registers a type of its own, so that no association of the user's is touched.
    QTest::newRow("a page") << "help.lumenveil-page" << true << 0 << "%1\\help.lumenveil-page";
    QTest::newRow("no such page: nothing is started")
        << "help.lumenveil-page" << false << 0 << " failed";
    QTest::newRow("no program for the file's type")
        << "help.lumenveil-none" << true << 0 << " failed";
#else
    QTest::newRow("the help page") << "help.htm" << true << 0 << "file://%1/help.htm";
    QTest::newRow("an address, whatever lies in the folder")
        << "https://lumenveil.invalid/about" << false << 0 << "https://lumenveil.invalid/about";
    QTest::newRow("no help page: xdg-open is not asked")
        << "help.htm" << false << 0 << " failed";
    QTest::newRow("xdg-open finds no program for it")
        << "help.htm" << true << 3 << "file://%1/help.htm failed";
    QTest::newRow("no xdg-open at all") << "help.htm" << true << -1 << " failed";
#endif
}

void tst_FrmMain::shellOpens()
{
    QFETCH(QString, file);
    QFETCH(bool, pageThere);
    QFETCH(int, exitStatus);
    QFETCH(QString, seen);

    QTemporaryDir folder;
    QFile page(folder.filePath(file));
    QVERIFY(!pageThere || page.open(QIODevice::WriteOnly));
    QTemporaryDir bin;
    const QString given = bin.filePath("given");
#ifdef Q_OS_WIN
    // Its pages open, for this user, with a command script of our own that notes its argument
    // as a full path: a relative one is in the folder the shell started it in.
    const QString opener = QDir::toNativeSeparators(bin.filePath("opener.cmd"));
    QVERIFY(test::WriteBytes(opener, QStringLiteral("@echo off\r\n>\"%1\" echo %~f1\r\n")
                                         .arg(QDir::toNativeSeparators(given))
                                         .toUtf8()));
    // The type goes into this user's classes, which Windows merges into HKEY_CLASSES_ROOT;
    // Wine reads only the machine's, where the programs it runs may write.
    const std::wstring command = L"\"" + opener.toStdWString() + L"\" \"%1\"";
    const auto associate = [&command](HKEY root) {
        const auto value = [](const std::wstring& text) {
            return static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
        };
        const std::wstring type = L"Lumenveil.TestPage";
        RegSetKeyValueW(root, L"Software\\Classes\\.lumenveil-page", nullptr, REG_SZ,
                        type.c_str(), value(type));
        RegSetKeyValueW(root, L"Software\\Classes\\Lumenveil.TestPage\\shell\\open\\command",
                        nullptr, REG_SZ, command.c_str(), value(command));
    };
    const auto registered = [] {
        wchar_t type[64] = {};
        DWORD size = sizeof(type);
        return RegGetValueW(HKEY_CLASSES_ROOT, L".lumenveil-page", nullptr, RRF_RT_REG_SZ,
                            nullptr, type, &size) == ERROR_SUCCESS &&
               std::wstring(type) == L"Lumenveil.TestPage";
    };
    const auto forget = qScopeGuard([] {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            RegDeleteTreeW(root, L"Software\\Classes\\.lumenveil-page");
            RegDeleteTreeW(root, L"Software\\Classes\\Lumenveil.TestPage");
        }
    });
    associate(HKEY_CURRENT_USER);
    if (!registered()) {
        associate(HKEY_LOCAL_MACHINE);
    }
    QVERIFY(registered());
    static_cast<void>(exitStatus);
#else
    // An xdg-open of our own, alone on the PATH, notes what it is given and answers.
    if (exitStatus >= 0) {
        QVERIFY(test::WriteBytes(bin.filePath("xdg-open"),
                                 QStringLiteral("#!/bin/sh\nprintf %s \"$1\" > '%1'\nexit %2\n")
                                     .arg(given)
                                     .arg(exitStatus)
                                     .toUtf8()));
        QVERIFY(QFile::setPermissions(bin.filePath("xdg-open"),
                                      QFile::ReadOwner | QFile::ExeOwner));
    }
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()));
#endif
    bool failed = false;
    QtShell().Open(nullptr, "Open", file, QString(), folder.path() + '/', ShowNormal,
                   [&failed] { failed = true; });
#ifndef Q_OS_WIN
    qputenv("PATH", path); // xdg-open has been found by now
#endif
    // The outcome comes once the opener has ended (xdg-open) or is under way (ShellExecute).
    QTRY_COMPARE(QString::fromUtf8(test::ReadBytes(given)).trimmed() + (failed ? " failed" : ""),
                 seen.replace("%1", QDir::toNativeSeparators(folder.path())));
}

void tst_FrmMain::sharpAtAnyScale()
{
    // A checkerboard of single pixels, larger than the frame at every scale.
    QImage board(800, 600, QImage::Format_RGB32);
    for (int y = 0; y < board.height(); ++y) {
        for (int x = 0; x < board.width(); ++x) {
            board.setPixel(x, y, (x + y) % 2 == 0 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        }
    }
    board.setPixel(799, 599, qRgb(255, 0, 0));
    Window w;
    const double scale = w.window->devicePixelRatioF();
    QVERIFY(test::WriteImage(board, w.folder.filePath("board.bmp"), "bmp"));
    w.fake.files << w.folder.filePath("board.bmp");
    QTest::mouseClick(w.Find(QStringLiteral("cmdLoadImage")), Qt::LeftButton);
    w.fake.journal.clear();
    // The controls keep their places in the window's own pixels, as Qt scales them.
    QCOMPARE(w.Find(QStringLiteral("client"))->size(), QSize(387, 478));
    // The frame's uncovered part, as the screen shows it: each device pixel one of the
    // picture's, so no two neighbours alike.
    const auto shown = [&w] {
        return w.Find(QStringLiteral("client"))
            ->grab(QRect(10, 10, 348, 248))
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    };
    QImage seen = shown();
    QCOMPARE(seen.size(), QSize(qRound(348 * scale), qRound(248 * scale)));
    for (int y = 0; y + 1 < seen.height(); ++y) {
        for (int x = 0; x + 1 < seen.width(); ++x) {
            QVERIFY2(seen.pixel(x, y) != seen.pixel(x + 1, y) &&
                         seen.pixel(x, y) != seen.pixel(x, y + 1),
                     qPrintable(QString("device pixel %1,%2 at scale %3").arg(x).arg(y).arg(scale)));
        }
    }
    // Scrolled to the end, the picture's last pixel is the frame's last uncovered one.
    for (const char* name : {"HScroll1", "VScroll1"}) {
        auto* bar = w.Find<QScrollBar>(QLatin1String(name));
        bar->setValue(bar->maximum());
    }
    seen = shown();
    QCOMPARE(seen.pixel(seen.width() - 1, seen.height() - 1), qRgb(255, 0, 0));
}

QTEST_MAIN(tst_FrmMain)
#include "tst_frm_main.moc"
