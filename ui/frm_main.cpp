#include "ui/frm_main.h"

#include "picture/viewport.h"
#include "ui/picture_bridge.h"
#include "ui/capacity_label.h"
#include "ui/help_window.h"
#include "ui/hidden_text_messages.h"
#include "ui/picture_box.h"
#include "ui/picture_drop.h"
#include "ui/picture_focus.h"
#include "ui/program_names.h"
#include "ui/program_resources.h"
#include "ui/wheel_scroll.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace lumenveil::ui {

namespace {

// Size of the window's client area, below the menu bar.
constexpr int ClientWidth = 387;
constexpr int ClientHeight = 478;

// A window's outer width is reported in twips: 15 to a pixel at 96 dots per inch.
constexpr int TwipsPerPixel = 15;

constexpr char BusySuffix[] = " (Working...)";

constexpr char OpenFilter[] =
    "Images Files (*.bmp,*.jpg,*.jpeg,*.gif,*.png)|*.bmp;*.jpg;*.jpeg;*.gif;*.png|Bitmap Files "
    "(*.bmp)|*.bmp|JPEG Files (*.jpg,*.jpeg)|*.jpg;*.jpeg|Compuserve GIF Files (*.gif)|*.gif|PNG "
    "Files (*.png)|*.png";
constexpr char OpenTitle[] = LUMENVEIL_TITLE " - Locate Image File...";
constexpr char SaveFilter[] = "Bitmap Files (*.bmp)|*.bmp";
constexpr char SaveTitle[] = LUMENVEIL_TITLE " - Save As Bitmap File...";
constexpr char ExitQuestion[] = "Are you sure you want to quit?";
constexpr char ReplaceQuestion[] = "\u201C%1\u201D already exists.\nDo you want to replace it?";
constexpr char HelpPage[] = "help.htm";

// SetBusy(1) for as long as it lives, SetBusy(0) on every way out.
class BusyScope
{
public:
    explicit BusyScope(frmMain& window) : window_(window) { window_.SetBusy(1); }
    ~BusyScope() { window_.SetBusy(0); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    frmMain& window_;
};

// The wait cursor for as long as it lives.
class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// Lifts every override cursor for as long as it lives, and puts them back in their order.
class CursorLift
{
public:
    CursorLift()
    {
        for (const QCursor* cursor; (cursor = QApplication::overrideCursor()) != nullptr;) {
            lifted_.push_back(*cursor);
            QApplication::restoreOverrideCursor();
        }
    }
    ~CursorLift()
    {
        for (auto cursor = lifted_.rbegin(); cursor != lifted_.rend(); ++cursor) {
            QApplication::setOverrideCursor(*cursor);
        }
    }
    CursorLift(const CursorLift&) = delete;
    CursorLift& operator=(const CursorLift&) = delete;

private:
    std::vector<QCursor> lifted_; // the top one first
};

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, QRect place)
{
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(place);
    // Enter clicks the button that has the focus, and only that one.
    button->setAutoDefault(true);
    return button;
}

QAction* MakeEntry(QMenu* menu, const char* name, const char* caption, const QKeySequence& keys)
{
    QAction* action = menu->addAction(QString::fromLatin1(caption));
    action->setObjectName(QLatin1String(name));
    action->setShortcut(keys);
    return action;
}

void ApplyBar(QScrollBar& bar, const ScrollBarSetting& setting)
{
    bar.setEnabled(setting.enabled);
    // A bar cannot hold a maximum below its minimum; such a bar is disabled at 0 anyway.
    bar.setRange(0, std::max(setting.maximum, 0));
    bar.update();
}

} // namespace

frmMain::frmMain(const WindowToolkit& toolkit, QWidget* parent)
    : QMainWindow(parent), toolkit_(toolkit), Dialog1(toolkit.dialog)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromLatin1(ProgramTitle));
    setWindowIcon(ProgramIcon());
    // A fixed border with system menu, minimise and close boxes, and no maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    BuildControls();
    BuildMenus();

    const int menuHeight = menuBar()->sizeHint().height();
    setFixedSize(ClientWidth, ClientHeight + menuHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect place = geometry();
        place.moveCenter(screen->availableGeometry().center());
        move(place.topLeft());
    }

    Form_Load();
}

frmMain::~frmMain()
{
    SetBusy(0);
}

void frmMain::BuildControls()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(ClientWidth, ClientHeight);
    setCentralWidget(client);

    cmdLoadImage = MakeButton(client, "cmdLoadImage", "&Load Image...", {112, 288, 169, 25});
    cmdGetEmbeddedText =
        MakeButton(client, "cmdGetEmbeddedText", "&Get Embedded Text", {16, 317, 169, 25});
    cmdEmbedText =
        MakeButton(client, "cmdEmbedText", "&Embed Text && Save...", {200, 317, 169, 25});

    txtText = new QPlainTextEdit(client);
    txtText->setObjectName(QStringLiteral("txtText"));
    txtText->setGeometry(24, 352, 337, 113);
    txtText->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtText->setTabChangesFocus(true);
    txtText->installEventFilter(this);

    // In the free strip right of Load Image.
    lblCapacity = new CapacityLabel(client);
    lblCapacity->setObjectName(QStringLiteral("lblCapacity"));
    lblCapacity->setGeometry(288, 288, 92, 25);

    Picture1 = new PictureBox(client);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    // The frame is placed in the window's own pixels; only the picture inside it counts in the
    // screen's.
    Picture1->setGeometry(10, 10, FrameWidth, FrameHeight);
    Picture1->setBackgroundRole(QPalette::Dark);

    Picture2 = new PictureBox(Picture1);
    Picture2->setObjectName(QStringLiteral("Picture2"));
    Picture2->SetPlace(0, 0, EmptyPictureWidth, EmptyPictureHeight);
    Picture2->setBackgroundRole(QPalette::Button);
    Picture2->setFocusPolicy(Qt::NoFocus);
    Picture2->SetPixels(&surface_.Pixels());

    VScroll1 = new QScrollBar(Qt::Vertical, client);
    VScroll1->setObjectName(QStringLiteral("VScroll1"));
    VScroll1->setGeometry(358, 10, 16, 248);
    VScroll1->setSingleStep(VScrollSmallChange);
    VScroll1->setPageStep(VScrollLargeChange);

    HScroll1 = new QScrollBar(Qt::Horizontal, client);
    HScroll1->setObjectName(QStringLiteral("HScroll1"));
    HScroll1->setGeometry(10, 258, 348, 17);
    HScroll1->setSingleStep(HScrollSmallChange);
    HScroll1->setPageStep(HScrollLargeChange);

    // The picture moves when a dragged thumb is released, not while it is dragged.
    // The picture frame takes the keyboard focus instead of the bars, which would show it
    // nowhere.
    for (QScrollBar* bar : {VScroll1, HScroll1}) {
        bar->setRange(0, 0);
        bar->setTracking(false);
        bar->setFocusPolicy(Qt::NoFocus);
        bar->raise(); // the bars lie over the frame's right and bottom edges
    }
    new PictureFocus(*Picture1, QRect(0, 0, HScroll1->width(), VScroll1->height()), *HScroll1,
                     *VScroll1);
    // The square between the bars, over the frame's corner, in the window's colour.
    auto* corner = new QWidget(client);
    corner->setObjectName(QStringLiteral("ScrollCorner"));
    corner->setGeometry(VScroll1->x(), HScroll1->y(), VScroll1->width(), HScroll1->height());
    corner->setAutoFillBackground(true);
    corner->raise();

    // The window's cancel button. Form_Load moves it out of sight; Esc still runs it.
    cmdExit = MakeButton(client, "cmdExit", "X", {304, 288, 17, 17});
    cmdExit->setAutoDefault(false);
    cmdExit->setFocusPolicy(Qt::NoFocus);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setObjectName(QStringLiteral("cmdExitCancel"));
    connect(escape, &QShortcut::activated, this, &frmMain::cmdExit_Click);

    QWidget::setTabOrder(Picture1, cmdLoadImage);
    QWidget::setTabOrder(cmdLoadImage, cmdGetEmbeddedText);
    QWidget::setTabOrder(cmdGetEmbeddedText, cmdEmbedText);
    QWidget::setTabOrder(cmdEmbedText, txtText);
    cmdLoadImage->setFocus();

    // A file dropped anywhere on the window loads once the drop is over. The wheel over the
    // picture scrolls it.
    auto* drops = new PictureDrop(this);
    drops->Watch(*this);
    drops->Watch(*txtText->viewport());
    connect(drops, &PictureDrop::fileDropped, this, &frmMain::OpenPicture, Qt::QueuedConnection);
    auto* wheel = new WheelScroll(*HScroll1, *VScroll1, this);
    wheel->Watch(*Picture1);
    wheel->Watch(*Picture2);

    connect(cmdLoadImage, &QPushButton::clicked, this, &frmMain::cmdLoadImage_Click);
    connect(cmdGetEmbeddedText, &QPushButton::clicked, this, &frmMain::cmdGetEmbeddedText_Click);
    connect(cmdEmbedText, &QPushButton::clicked, this, &frmMain::cmdEmbedText_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmMain::cmdExit_Click);
    connect(Picture1, &PictureBox::doubleClicked, this, &frmMain::cmdLoadImage_Click);
    connect(Picture2, &PictureBox::doubleClicked, this, &frmMain::cmdLoadImage_Click);
    connect(HScroll1, &QScrollBar::valueChanged, this, &frmMain::HScroll1_Change);
    connect(VScroll1, &QScrollBar::valueChanged, this, &frmMain::VScroll1_Change);
    // Each change of the text, and nothing else, re-checks what depends on it: the idle
    // window does no work at all.
    connect(txtText, &QPlainTextEdit::textChanged, this, &frmMain::tmrSecretText_Timer);
    connect(txtText, &QPlainTextEdit::textChanged, this, &frmMain::ShowCapacity);
}

void frmMain::BuildMenus()
{
    mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuFileLoadImage = MakeEntry(mnuFile, "mnuFileLoadImage", "&Load Image...",
                                 QKeySequence(Qt::CTRL | Qt::Key_L));
    mnuFileGetEmbeddedText = MakeEntry(mnuFile, "mnuFileGetEmbeddedText", "&Get Embedded Text",
                                       QKeySequence(Qt::CTRL | Qt::Key_G));
    mnuFileEmbedText = MakeEntry(mnuFile, "mnuFileEmbedText", "&Embed Text && Save...",
                                 QKeySequence(Qt::CTRL | Qt::Key_E));
    mnuFile->addSeparator()->setObjectName(QStringLiteral("mnuFileSep1"));
    mnuFileExit = MakeEntry(mnuFile, "mnuFileExit", "E&xit", QKeySequence(Qt::CTRL | Qt::Key_X));

    mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelpHelpTopics =
        MakeEntry(mnuHelp, "mnuHelpHelpTopics", "&Help Topics", QKeySequence(Qt::Key_F1));
    mnuHelp->addSeparator()->setObjectName(QStringLiteral("mnuHelpSep1"));
    mnuHelpAbout = MakeEntry(mnuHelp, "mnuHelpAbout", "About Lumenveil...",
                             QKeySequence(Qt::CTRL | Qt::Key_A));

    connect(mnuFileLoadImage, &QAction::triggered, this, &frmMain::cmdLoadImage_Click);
    connect(mnuFileGetEmbeddedText, &QAction::triggered, this, &frmMain::cmdGetEmbeddedText_Click);
    connect(mnuFileEmbedText, &QAction::triggered, this, &frmMain::cmdEmbedText_Click);
    connect(mnuFileExit, &QAction::triggered, this, &frmMain::mnuFileExit_Click);
    connect(mnuHelpHelpTopics, &QAction::triggered, this, &frmMain::mnuHelpHelpTopics_Click);
    connect(mnuHelpAbout, &QAction::triggered, this, &frmMain::mnuHelpAbout_Click);
}

void frmMain::Form_Load()
{
    // Far beyond the right edge: out of sight and out of reach of the mouse.
    cmdExit->move(frameGeometry().width() * TwipsPerPixel + 100, cmdExit->y());
    UpdateCommands();
    ArrangePicture();
}

void frmMain::SetBusy(int flag)
{
    if (flag == 1) {
        setWindowTitle(windowTitle() + QLatin1String(BusySuffix));
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++waitCursors_;
    } else if (flag == 0) {
        setWindowTitle(QString::fromLatin1(ProgramTitle));
        for (; waitCursors_ > 0; --waitCursors_) {
            QApplication::restoreOverrideCursor();
        }
    }
}

int frmMain::ShowMessage(const QString& prompt, int style, const QString& title)
{
    // The caption still says the window is working; the pointer should not look it.
    const CursorLift arrow;
    return ui::ShowMessage(toolkit_.messages, this, prompt, style, title);
}

void frmMain::ArrangePicture()
{
    // In device pixels, so that each picture pixel is drawn as one at any scale; the empty box
    // keeps its designed size in the window's own pixels.
    const double scale = Picture2->devicePixelRatioF();
    const bool empty = surface_.IsEmpty();
    const int width = empty ? static_cast<int>(EmptyPictureWidth * scale) : surface_.ImageWidth();
    const int height =
        empty ? static_cast<int>(EmptyPictureHeight * scale) : surface_.ImageHeight();
    const ViewArrangement view = ArrangeView(width, height, scale);

    // Zero the bars before the picture is placed: their scroll reactions move the picture.
    HScroll1->setValue(0);
    VScroll1->setValue(0);
    ApplyBar(*HScroll1, view.horizontal);
    ApplyBar(*VScroll1, view.vertical);
    Picture2->SetPlace(view.left, view.top, width, height);
}

bool frmMain::WriteHiddenText()
{
    const BusyScope busy(*this);
    const HideOutcome outcome = HideText(surface_, TextToHide(BoxText(*txtText->document())));
    if (outcome.status == HideStatus::Hidden) {
        Picture2->update();
        return true;
    }
    if (const auto report = ReportHideOutcome(outcome)) {
        ShowMessage(report->prompt, report->style, report->title);
    }
    return false;
}

void frmMain::ReadHiddenText()
{
    const BusyScope busy(*this);
    const ReadOutcome outcome = ReadText(surface_);
    if (outcome.status == ReadStatus::Found) {
        QTextCursor all(txtText->document());
        all.select(QTextCursor::Document);
        all.insertText(TextToShow(outcome.text));
        txtText->document()->setModified(false);
        return;
    }
    if (const auto report = ReportReadOutcome(outcome, surface_.LoadedKind())) {
        ShowMessage(report->prompt, report->style, report->title);
    }
}

bool frmMain::IsMenuShortcut(const QKeyEvent& key) const
{
    const QKeySequence pressed(key.keyCombination());
    for (const QAction* entry : {mnuFileLoadImage, mnuFileGetEmbeddedText, mnuFileEmbedText,
                                 mnuFileExit, mnuHelpHelpTopics, mnuHelpAbout}) {
        if (entry->isEnabled() && entry->shortcut().matches(pressed) == QKeySequence::ExactMatch) {
            return true;
        }
    }
    return false;
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    // The text box claims Ctrl+X, Ctrl+A and others for itself before shortcuts are looked
    // at. Leave the menu's keys unclaimed, so that the menu entries come first.
    if (watched == txtText && event->type() == QEvent::ShortcutOverride &&
        IsMenuShortcut(*static_cast<QKeyEvent*>(event))) {
        event->ignore();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::cmdLoadImage_Click()
{
    FileDialogProperties& dialog = Dialog1.Properties();
    dialog.flags = DialogHideReadOnly | DialogPathMustExist | DialogFileMustExist;
    dialog.filter = QString::fromLatin1(OpenFilter);
    dialog.title = QString::fromLatin1(OpenTitle);
    if (!Dialog1.ShowOpen(this) || dialog.fileName.isEmpty()) {
        return;
    }
    OpenPicture(dialog.fileName);
}

void frmMain::OpenPicture(const QString& path)
{
    PictureResult loaded;
    {
        // A large picture takes a moment to load: the window is drawn as it stands first, and
        // the pointer waits meanwhile.
        const WaitCursor wait;
        if (isVisible()) {
            repaint();
        }
        loaded = surface_.LoadImageFile(NativePath(path));
    }
    if (!loaded.ok()) {
        ShowMessage(DescribePicture(loaded, path), MsgOkOnly | MsgCritical,
                    QString::fromLatin1(ProgramTitle));
        return;
    }
    // A picture that came by a drop or the command line is the one the Save dialog starts
    // from, as one chosen in the Open dialog is.
    Dialog1.Properties().fileName = path;

    // Emptied as one edit that Undo takes back, so that a draft typed for the last picture is
    // not lost with it.
    QTextCursor all(txtText->document());
    all.select(QTextCursor::Document);
    all.removeSelectedText();
    txtText->document()->setModified(false);
    ArrangePicture();
    HScroll1->setValue(0);
    VScroll1->setValue(0);
    UpdateCommands();
    ShowCapacity();
}

void frmMain::cmdGetEmbeddedText_Click()
{
    ReadHiddenText();
}

void frmMain::cmdEmbedText_Click()
{
    // Saving a picture the text was not hidden in would lose the user's message.
    if (!WriteHiddenText()) {
        return;
    }
    const std::u16string hidden = TextToHide(BoxText(*txtText->document()));

    FileDialogProperties& dialog = Dialog1.Properties();
    dialog.filter = QString::fromLatin1(SaveFilter);
    dialog.title = QString::fromLatin1(SaveTitle);
    // The dialog starts from the loaded file's name as a bitmap's, never from the original
    // itself; a cancelled dialog leaves the name as it was.
    const QString chosenBefore = dialog.fileName;
    dialog.fileName = ProposedBitmapName(chosenBefore);
    QString path;
    // An existing file is replaced only when the user says so; on No the dialog comes again.
    for (;;) {
        if (!Dialog1.ShowSave(this) || dialog.fileName.isEmpty()) {
            dialog.fileName = chosenBefore;
            return;
        }
        path = WithBitmapExtension(dialog.fileName);
        dialog.fileName = path;
        const QFileInfo existing(path);
        if (!existing.exists() || existing.isDir()) {
            break;
        }
        const QString question =
            QString::fromUtf8(ReplaceQuestion).arg(QDir::toNativeSeparators(path));
        if (ShowMessage(question, MsgYesNo | MsgExclamation | MsgDefaultButton2,
                        QString::fromLatin1(ProgramTitle)) == AnswerYes) {
            break;
        }
    }

    std::optional<MessageReport> report;
    {
        const WaitCursor wait;
        const PictureResult saved = surface_.SaveBitmapFile(NativePath(path));
        if (saved.ok()) {
            // Read the message back from the file itself, so that a save that lost it is
            // never taken for a success.
            report = CheckSavedMessage(path, hidden);
        } else {
            report = MessageReport{DescribePicture(saved, path), MsgOkOnly | MsgCritical,
                                   QString::fromLatin1(ProgramTitle)};
        }
    }
    if (report) {
        ShowMessage(report->prompt, report->style, report->title);
    } else {
        txtText->document()->setModified(false); // the text is safe in the file
    }
}

bool frmMain::TextAtStake() const
{
    const QTextDocument& text = *txtText->document();
    return text.isModified() && !text.isEmpty();
}

bool frmMain::AskExit()
{
    return ShowMessage(QString::fromLatin1(ExitQuestion),
                       MsgYesNo | MsgQuestion | MsgDefaultButton2,
                       QString::fromLatin1(ProgramTitle)) == AnswerYes;
}

void frmMain::cmdExit_Click()
{
    // Esc always asks.
    if (AskExit()) {
        exitConfirmed_ = true;
        close();
    }
}

void frmMain::mnuFileExit_Click()
{
    close(); // closeEvent asks while text is at stake
}

void frmMain::closeEvent(QCloseEvent* event)
{
    if (!exitConfirmed_ && TextAtStake() && !AskExit()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void frmMain::mnuHelpHelpTopics_Click()
{
    OpenPage(toolkit_.shell, toolkit_.messages, this, QStringLiteral("Open"),
             QString::fromLatin1(HelpPage), toolkit_.programFolder, ShowNormal);
}

void frmMain::mnuHelpAbout_Click()
{
    if (toolkit_.about != nullptr) {
        toolkit_.about->ShowModal(this);
    }
}

void frmMain::tmrSecretText_Timer()
{
    UpdateCommands();
}

void frmMain::UpdateCommands()
{
    const bool loaded = !surface_.IsEmpty();
    txtText->setEnabled(loaded);
    cmdGetEmbeddedText->setEnabled(loaded);
    mnuFileGetEmbeddedText->setEnabled(loaded);
    // The button hides only a text typed; the menu entry also an empty one.
    cmdEmbedText->setEnabled(loaded && !txtText->document()->isEmpty());
    mnuFileEmbedText->setEnabled(loaded);
}

void frmMain::ShowCapacity()
{
    lblCapacity->Show(DescribeCapacity(TextToHide(BoxText(*txtText->document())),
                                       surface_.ImageWidth(), surface_.ImageHeight()));
}

void frmMain::HScroll1_Change()
{
    Picture2->SetLeft(PlaceForScrollValue(HScroll1->value()));
}

void frmMain::VScroll1_Change()
{
    Picture2->SetTop(PlaceForScrollValue(VScroll1->value()));
}

} // namespace lumenveil::ui
