#include "app/frm_splash.h"

#include "ui/help_window.h"
#include "ui/message_box.h"
#include "ui/program_resources.h"

#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QUrl>

#include <algorithm>

namespace lumenveil::app {

namespace {

// The window's scale is the twip: 15 to a pixel at 96 dots per inch.
constexpr double TwipsPerPixel = 15.0;

int Pixels(double twips)
{
    return qRound(twips / TwipsPerPixel);
}

QRect TwipsRect(double left, double top, double width, double height)
{
    return {Pixels(left), Pixels(top), Pixels(width), Pixels(height)};
}

// Client area 6900 x 3000 twips, the artwork's size.
constexpr int ClientWidth = 460;
constexpr int ClientHeight = 200;

// How far beyond the window's right edge the cancel button goes.
constexpr double EscapeOffsetTwips = 1000.0;

// The shell's show command for the web page: SW_SHOW.
constexpr int ShowWebPage = 5;

} // namespace

frmSplash::frmSplash(ui::Shell& shell, QString website, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint), shell_(shell),
      website_(std::move(website))
{
    ui::InitProgramResources();
    setObjectName(QStringLiteral("frmSplash"));
    setWindowTitle(QString());
    setModal(true);
    setFixedSize(ClientWidth, ClientHeight);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    // Created bottom first: a later sibling lies above an earlier one.
    imgSplash = new QLabel(this);
    imgSplash->setObjectName(QStringLiteral("imgSplash"));
    imgSplash->setGeometry(TwipsRect(0, 0, 6900, 3000));
    imgSplash->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    imgSplash->setPixmap(QPixmap(QStringLiteral(":/artwork/about.jpg"))); // not scaled
    imgSplash->installEventFilter(this);

    lblWebsite = new QLabel(this);
    lblWebsite->setObjectName(QStringLiteral("lblWebsite"));
    lblWebsite->setGeometry(TwipsRect(4840, 2660, 1960, 255));
    lblWebsite->setAttribute(Qt::WA_TranslucentBackground); // the artwork shows through
    lblWebsite->setCursor(QCursor(QPixmap(QStringLiteral(":/cursors/hand.png")), 0, 0));
    lblWebsite->installEventFilter(this);

    cmdEscape = new QPushButton(this);
    cmdEscape->setObjectName(QStringLiteral("cmdEscape"));
    cmdEscape->setGeometry(TwipsRect(240, 240, 375, 255));
    cmdEscape->setAutoDefault(true); // Enter presses it while it has the focus; so does Space
    cmdEscape->setFocus();
    connect(cmdEscape, &QPushButton::clicked, this, &frmSplash::cmdEscape_Click);
    // The window's cancel button: Esc presses it.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, cmdEscape, &QPushButton::click);

    // Centred on the window it is opened from, and kept on that window's screen.
    const QScreen* screen = owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
    QRect place(QPoint(), size());
    if (owner != nullptr) {
        place.moveCenter(owner->window()->frameGeometry().center());
    } else if (screen != nullptr) {
        place.moveCenter(screen->availableGeometry().center());
    }
    if (screen != nullptr) {
        const QRect area = screen->availableGeometry();
        place.moveLeft(std::clamp(place.left(), area.left(),
                                  std::max(area.left(), area.right() - place.width() + 1)));
        place.moveTop(std::clamp(place.top(), area.top(),
                                 std::max(area.top(), area.bottom() - place.height() + 1)));
    }
    move(place.topLeft());

    Form_Load();
}

void frmSplash::Form_Load()
{
    // The window has no border, so its outer width is its client width: 6900 twips. The
    // button lands 1000 twips beyond the right edge, out of sight but still the cancel button.
    const auto outerWidth = static_cast<float>(frameGeometry().width() * TwipsPerPixel);
    cmdEscape->move(Pixels(outerWidth + EscapeOffsetTwips), cmdEscape->y());
}

bool frmSplash::eventFilter(QObject* watched, QEvent* event)
{
    // A click: the left button let go over the control it was pressed on.
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        auto* control = qobject_cast<QWidget*>(watched);
        if (mouse->button() == Qt::LeftButton && control != nullptr &&
            control->rect().contains(mouse->position().toPoint())) {
            if (watched == lblWebsite) {
                lblWebsite_Click();
                return true;
            }
            if (watched == imgSplash) {
                imgSplash_Click();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmSplash::imgSplash_Click()
{
    done(QDialog::Rejected);
}

void frmSplash::cmdEscape_Click()
{
    done(QDialog::Rejected);
}

void frmSplash::lblWebsite_Click()
{
    // The shell hands the address to the browser and returns at once; the window stays.
    static ui::QtMessageBoxes boxes; // the shell may answer after this returns
    ui::OpenPage(shell_, boxes, this, QStringLiteral("open"), website_, QString(), ShowWebPage);
}

void SplashAboutWindow::ShowModal(QWidget* owner)
{
    frmSplash splash(shell_, website_, owner);
    splash.exec();
}

QString WebsiteAddress(const QString& configured, const QString& programFolder)
{
    const QUrl url(configured);
    // A scheme of one letter is a Windows drive, not an address.
    if (url.isValid() && url.scheme().size() > 1) {
        return configured;
    }
    return QUrl::fromLocalFile(QDir(programFolder).absoluteFilePath(configured))
        .toString(QUrl::FullyEncoded);
}

} // namespace lumenveil::app
