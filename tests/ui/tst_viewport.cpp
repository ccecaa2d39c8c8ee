#include "picture/viewport.h"

#include <QTest>

using namespace lumenveil;

class tst_Viewport : public QObject
{
    Q_OBJECT

private slots:
    void arrange_data();
    void arrange();
};

void tst_Viewport::arrange_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    // "LEFT,TOP across:BAR down:BAR", BAR the maximum, after "off " where the bar is disabled.
    QTest::addColumn<QString>("view");

    // The frame's edges, sizes far beyond it and a disabled bar's negative maximum; the window's
    // own tests arrange the sizes a user loads.
    QTest::newRow("empty picture box 89 x 65")
        << 89 << 65 << "130.5,92.5 across:off -261 down:off -185";
    QTest::newRow("one pixel larger 351 x 251") << 351 << 251 << "0,0 across:1 down:1";
    QTest::newRow("one pixel narrower 349 x 800") << 349 << 800 << "0.5,0 across:off -1 down:550";
    QTest::newRow("wider than 33117 pixels") << 40000 << 300 << "0,0 across:39650 down:50";
    QTest::newRow("largest loadable strip 1 x 2^28")
        << 1 << (1 << 28) << "174.5,0 across:off -349 down:268435206";
    QTest::newRow("no pixels") << 0 << 0 << "175,125 across:off -350 down:off -250";
}

void tst_Viewport::arrange()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QString, view);

    const ViewArrangement got = ArrangeView(width, height);
    const auto bar = [](const ScrollBarSetting& bar) {
        return (bar.enabled ? QString() : QStringLiteral("off ")) + QString::number(bar.maximum);
    };
    QCOMPARE(QStringLiteral("%1,%2 across:%3 down:%4")
                 .arg(got.left, 0, 'g', 12)
                 .arg(got.top, 0, 'g', 12)
                 .arg(bar(got.horizontal), bar(got.vertical)),
             view);
}

QTEST_GUILESS_MAIN(tst_Viewport)
#include "tst_viewport.moc"
