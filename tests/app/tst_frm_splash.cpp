#include "app/frm_splash.h"
#include "ui/fake_toolkit.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

using namespace lumenveil;
using lumenveil::app::frmSplash;

namespace {

const QString Website = QStringLiteral("https://lumenveil.invalid/");

// Runs `inside` once the About window opened by `about` is up, then closes whatever is still
// open, so that no test waits on a modal window. Returns whether the window was seen.
bool WhileOpen(ui::AboutWindow& about, QWidget* owner,
               const std::function<void(frmSplash&)>& inside)
{
    bool seen = false;
    QTimer::singleShot(0, qApp, [&] {
        auto* splash = qobject_cast<frmSplash*>(QApplication::activeModalWidget());
        if (splash != nullptr) {
            seen = true;
            inside(*splash);
        }
        while (QWidget* modal = QApplication::activeModalWidget()) {
            modal->close();
        }
    });
    about.ShowModal(owner);
    return seen;
}

} // namespace

class tst_FrmSplash : public QObject
{
    Q_OBJECT

private slots:
    void window();
    void input_data();
    void input();
    void websiteAddress_data();
    void websiteAddress();
};

void tst_FrmSplash::window()
{
    QWidget owner;
    owner.setGeometry(300, 200, 387, 478);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    test::FakeShell shell;
    app::SplashAboutWindow about(shell, Website);

    // Two openings: each builds a new window, which looks and sits the same.
    QList<QRect> places;
    QList<QPointer<frmSplash>> windows;
    for (int opening = 0; opening < 2; ++opening) {
        const bool seen = WhileOpen(about, &owner, [&](frmSplash& splash) {
            windows << &splash;
            places << splash.geometry();
            QVERIFY(splash.windowFlags().testFlag(Qt::FramelessWindowHint));
            QCOMPARE(splash.windowModality(), Qt::ApplicationModal);
            QCOMPARE(splash.size(), QSize(460, 200));
            QVERIFY(qAbs(splash.geometry().center().x() - owner.geometry().center().x()) <= 1);
            QVERIFY(qAbs(splash.geometry().center().y() - owner.geometry().center().y()) <= 1);

            const auto* image = splash.findChild<QLabel*>(QStringLiteral("imgSplash"));
            QCOMPARE(image->geometry(), QRect(0, 0, 460, 200));
            QCOMPARE(image->pixmap().size(), QSize(460, 200));
            // The cancel button lies 1000 twips (67 pixels) beyond the right edge and holds
            // the focus.
            const auto* escape = splash.findChild<QPushButton*>(QStringLiteral("cmdEscape"));
            QCOMPARE(escape->x(), 527);
            QVERIFY(escape->isVisible() && escape->isEnabled());
            QTRY_COMPARE(QApplication::focusWidget(), escape);
        });
        QVERIFY(seen);
    }
    QCOMPARE(places[0], places[1]);
    QVERIFY2(windows[0].isNull() && windows[1].isNull(), "a closed About window is destroyed");
    QVERIFY(shell.calls.isEmpty());
}

void tst_FrmSplash::input_data()
{
    QTest::addColumn<QPoint>("click"); // where the left button is clicked, or
    QTest::addColumn<int>("key");      // the key pressed
    QTest::addColumn<bool>("hand");    // the pointer there is the hand
    QTest::addColumn<bool>("closes");

    const int none = 0;
    QTest::newRow("the link") << QPoint(388, 185) << none << true << false;
    QTest::newRow("the link's top-left corner") << QPoint(323, 177) << none << true << false;
    QTest::newRow("the link's bottom-right corner") << QPoint(453, 193) << none << true << false;
    QTest::newRow("just left of the link") << QPoint(322, 185) << none << false << true;
    QTest::newRow("just above the link") << QPoint(388, 176) << none << false << true;
    QTest::newRow("just below the link") << QPoint(388, 194) << none << false << true;
    QTest::newRow("the artwork") << QPoint(100, 60) << none << false << true;
    QTest::newRow("Esc") << QPoint() << int(Qt::Key_Escape) << false << true;
    QTest::newRow("Enter") << QPoint() << int(Qt::Key_Return) << false << true;
    QTest::newRow("Space") << QPoint() << int(Qt::Key_Space) << false << true;
    QTest::newRow("another key") << QPoint() << int(Qt::Key_A) << false << false;
}

void tst_FrmSplash::input()
{
    QFETCH(QPoint, click);
    QFETCH(int, key);
    QFETCH(bool, hand);
    QFETCH(bool, closes);

    test::FakeShell shell;
    frmSplash splash(shell, Website);
    splash.show();
    QVERIFY(QTest::qWaitForWindowActive(&splash));

    if (key != 0) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
    } else {
        // The control under the point takes the click, as the stacking order says.
        const QWidget* target = splash.childAt(click);
        QVERIFY(target != nullptr);
        const QCursor cursor = target->cursor();
        QCOMPARE(cursor.shape() == Qt::BitmapCursor, hand);
        if (hand) {
            QCOMPARE(cursor.hotSpot(), QPoint(0, 0));
            QCOMPARE(cursor.pixmap().size(), QSize(32, 32));
        } else {
            QCOMPARE(cursor.shape(), Qt::ArrowCursor);
        }
        QTest::mouseClick(splash.windowHandle(), Qt::LeftButton, {}, click);
    }

    QTRY_COMPARE(splash.isVisible(), !closes);
    const bool onLink = hand && key == 0;
    QCOMPARE(shell.calls.size(), onLink ? 1 : 0);
    if (onLink) {
        const test::FakeShell::Call& call = shell.calls.constFirst();
        QCOMPARE(call.operation, QStringLiteral("open"));
        QCOMPARE(call.file, Website);
        QVERIFY(call.parameters.isNull() && call.directory.isNull());
        QCOMPARE(call.showCommand, ui::ShowAsIs);
    }
}

void tst_FrmSplash::websiteAddress_data()
{
    QTest::addColumn<QString>("configured");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("address");

    QTest::newRow("a web address is kept") << "https://lumenveil.invalid/home"
                                           << "/opt/lumenveil/"
                                           << "https://lumenveil.invalid/home";
    QTest::newRow("a file address is kept") << "file:///srv/help.htm"
                                            << "/opt/lumenveil/"
                                            << "file:///srv/help.htm";
    QTest::newRow("the bundled help page") << "help.htm"
                                           << "/usr/lib/lumenveil/"
                                           << "file:///usr/lib/lumenveil/help.htm";
    QTest::newRow("a folder with a blank") << "help.htm"
                                           << "/home/ann/My Programs/"
                                           << "file:///home/ann/My%20Programs/help.htm";
}

void tst_FrmSplash::websiteAddress()
{
    QFETCH(QString, configured);
    QFETCH(QString, folder);
    QFETCH(QString, address);
    QCOMPARE(app::WebsiteAddress(configured, folder), address);
}

QTEST_MAIN(tst_FrmSplash)
#include "tst_frm_splash.moc"
