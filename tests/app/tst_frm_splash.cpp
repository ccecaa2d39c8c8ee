#include "app/frm_splash.h"
#include "ui/fake_toolkit.h"

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

} // namespace

class tst_FrmSplash : public QObject
{
    Q_OBJECT

private slots:
    void openings();
    void input_data();
    void input();
    void websiteAddress_data();
    void websiteAddress();
};

void tst_FrmSplash::openings()
{
    QWidget owner;
    owner.setGeometry(300, 200, 387, 478);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    test::FakeToolkit shell;
    app::SplashAboutWindow about(shell, Website);

    // Each opening builds a new window, centred on its owner, that shows the artwork and
    // keeps its cancel button, with the focus, 1000 twips beyond its right edge.
    QList<QPointer<frmSplash>> windows;
    for (int opening = 0; opening < 2; ++opening) {
        QString seen = QStringLiteral("not opened");
        QTimer::singleShot(0, this, [&] {
            auto* splash = qobject_cast<frmSplash*>(QApplication::activeModalWidget());
            if (splash != nullptr) {
                const auto* escape = splash->findChild<QPushButton*>(QStringLiteral("cmdEscape"));
                const bool focus =
                    QTest::qWaitFor([&] { return QApplication::focusWidget() == escape; });
                const QSize artwork =
                    splash->findChild<QLabel*>(QStringLiteral("imgSplash"))->pixmap().size();
                seen = QStringLiteral("centre %1,%2 artwork %3x%4 escape at %5%6")
                           .arg(splash->geometry().center().x() - owner.geometry().center().x())
                           .arg(splash->geometry().center().y() - owner.geometry().center().y())
                           .arg(artwork.width())
                           .arg(artwork.height())
                           .arg(escape->x())
                           .arg(focus ? " with the focus" : "");
                windows << splash;
            }
            while (QWidget* modal = QApplication::activeModalWidget()) {
                modal->close();
            }
        });
        about.ShowModal(&owner);
        QCOMPARE(seen, QStringLiteral("centre 0,0 artwork 460x200 escape at 527 with the focus"));
    }
    QCOMPARE(windows.size(), 2);
    QVERIFY2(windows[0].isNull() && windows[1].isNull(), "a closed About window is destroyed");
    QCOMPARE(shell.journal, QStringList());
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

    test::FakeToolkit shell;
    frmSplash splash(shell, Website);
    splash.show();
    QVERIFY(QTest::qWaitForWindowActive(&splash));

    if (key != 0) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
    } else {
        // The control under the point takes the click, as the stacking order says; the hand's
        // hot spot is its top-left corner.
        const QCursor cursor = splash.childAt(click)->cursor();
        QCOMPARE(cursor.shape() == Qt::BitmapCursor ? cursor.pixmap().size() : QSize(),
                 hand ? QSize(32, 32) : QSize());
        QCOMPARE(cursor.hotSpot(), QPoint(0, 0));
        QTest::mouseClick(splash.windowHandle(), Qt::LeftButton, {}, click);
    }
    QTRY_COMPARE(splash.isVisible(), !closes);
    const QString opened = QStringLiteral("shell open ") + Website + " [] in  show 5";
    QCOMPARE(shell.journal, hand ? QStringList{opened} : QStringList());
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
