#include "app/frm_splash.h"
#include "ui/fake_toolkit.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

using namespace lumenveil;

class tst_FrmSplash : public QObject
{
    Q_OBJECT

private slots:
    void input_data();
    void input();
    void websiteAddress_data();
    void websiteAddress();
};

void tst_FrmSplash::input_data()
{
    QTest::addColumn<QPoint>("click"); // where the left button is clicked, or
    QTest::addColumn<int>("key");      // the key pressed
    QTest::addColumn<bool>("link");    // the pointer there is the hand, and a click opens the page
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
    QFETCH(bool, link);
    QFETCH(bool, closes);

    QWidget owner;
    owner.setGeometry(300, 200, 387, 478);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    test::FakeToolkit shell;
    app::SplashAboutWindow about(shell, QStringLiteral("https://lumenveil.invalid/"));

    // Each opening builds a window centred on its owner that shows the artwork, keeps its
    // cancel button, with the focus, 1000 twips beyond its right edge, and takes the input.
    QPointer<app::frmSplash> splash;
    QString seen = QStringLiteral("not opened");
    QTimer::singleShot(0, this, [&] {
        splash = qobject_cast<app::frmSplash*>(QApplication::activeModalWidget());
        if (splash != nullptr) {
            const auto* escape = splash->findChild<QPushButton*>(QStringLiteral("cmdEscape"));
            const bool focus =
                QTest::qWaitFor([&] { return QApplication::focusWidget() == escape; });
            const QSize artwork =
                splash->findChild<QLabel*>(QStringLiteral("imgSplash"))->pixmap().size();
            // The control under the point takes the click, as the stacking order says; the
            // hand's hot spot is its top-left corner.
            const QCursor cursor = splash->childAt(key != 0 ? QPoint() : click)->cursor();
            seen =
                QStringLiteral("centre %1,%2 artwork %3x%4 escape at %5 %6, %7 cursor %8 hot at %9")
                    .arg(splash->geometry().center().x() - owner.geometry().center().x())
                    .arg(splash->geometry().center().y() - owner.geometry().center().y())
                    .arg(artwork.width())
                    .arg(artwork.height())
                    .arg(escape->x())
                    .arg(focus ? "with the focus" : "without")
                    .arg(cursor.shape() == Qt::BitmapCursor ? "hand" : "arrow")
                    .arg(cursor.pixmap().width())
                    .arg(cursor.hotSpot().x() + cursor.hotSpot().y());
            if (key != 0) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
            } else {
                QTest::mouseClick(splash->windowHandle(), Qt::LeftButton, {}, click);
            }
            seen += QTest::qWaitFor([&] { return !splash->isVisible(); }, closes ? 5000 : 0)
                        ? ", closed"
                        : ", still open";
        }
        while (QWidget* modal = QApplication::activeModalWidget()) {
            modal->close();
        }
    });
    about.ShowModal(&owner);
    QCOMPARE(seen, QStringLiteral("centre 0,0 artwork 460x200 escape at 527 with the focus, %1 "
                                  "hot at 0%2")
                       .arg(link ? "hand cursor 32" : "arrow cursor 0",
                            closes ? ", closed" : ", still open"));
    QVERIFY2(splash.isNull(), "a closed About window is destroyed");
    QCOMPARE(shell.journal.join(' '),
             link ? "shell open https://lumenveil.invalid/ [] in  show 5" : "");
}

void tst_FrmSplash::websiteAddress_data()
{
    QTest::addColumn<QString>("configured");
    QTest::addColumn<QString>("address"); // in the program folder "/home/ann/My Programs/"

    const auto row = [](const char* name, const char* configured, const char* address) {
        QTest::newRow(name) << configured << address;
    };
    row("a web address is kept", "https://lumenveil.invalid/home",
        "https://lumenveil.invalid/home");
    row("a file address is kept", "file:///srv/help.htm", "file:///srv/help.htm");
    row("a file name is the file in the program folder", "help.htm",
        "file:///home/ann/My%20Programs/help.htm");
}

void tst_FrmSplash::websiteAddress()
{
    QFETCH(QString, configured);
    QFETCH(QString, address);
    QCOMPARE(app::WebsiteAddress(configured, QStringLiteral("/home/ann/My Programs/")), address);
}

QTEST_MAIN(tst_FrmSplash)
#include "tst_frm_splash.moc"
