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
    QTest::addColumn<double>("left");
    QTest::addColumn<double>("top");
    QTest::addColumn<bool>("horizontalEnabled");
    QTest::addColumn<int>("horizontalMaximum");
    QTest::addColumn<bool>("verticalEnabled");
    QTest::addColumn<int>("verticalMaximum");

    QTest::newRow("empty picture box 89 x 65")
        << 89 << 65 << 130.5 << 92.5 << false << -261 << false << -185;
    QTest::newRow("exactly the frame 350 x 250")
        << 350 << 250 << 0.0 << 0.0 << true << 0 << true << 0;
    QTest::newRow("larger 1000 x 800") << 1000 << 800 << 0.0 << 0.0 << true << 650 << true << 550;
    QTest::newRow("one pixel larger 351 x 251")
        << 351 << 251 << 0.0 << 0.0 << true << 1 << true << 1;
    QTest::newRow("smaller 99 x 66, half-pixel centring")
        << 99 << 66 << 125.5 << 92.0 << false << -251 << false << -184;
    QTest::newRow("narrow and tall 100 x 400 scrolls down")
        << 100 << 400 << 125.0 << 0.0 << false << -250 << true << 150;
    QTest::newRow("wide and short 500 x 100 scrolls sideways")
        << 500 << 100 << 0.0 << 75.0 << true << 150 << false << -150;
    QTest::newRow("one pixel narrower 349 x 800")
        << 349 << 800 << 0.5 << 0.0 << false << -1 << true << 550;
    QTest::newRow("wider than 33117 pixels")
        << 40000 << 300 << 0.0 << 0.0 << true << 39650 << true << 50;
    QTest::newRow("taller than 33017 pixels")
        << 300 << 40000 << 25.0 << 0.0 << false << -50 << true << 39750;
    QTest::newRow("largest loadable strip 1 x 2^28")
        << 1 << (1 << 28) << 174.5 << 0.0 << false << -349 << true << (1 << 28) - 250;
    QTest::newRow("no pixels") << 0 << 0 << 175.0 << 125.0 << false << -350 << false << -250;
}

void tst_Viewport::arrange()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(double, left);
    QFETCH(double, top);
    QFETCH(bool, horizontalEnabled);
    QFETCH(int, horizontalMaximum);
    QFETCH(bool, verticalEnabled);
    QFETCH(int, verticalMaximum);

    const ViewArrangement view = ArrangeView(width, height);
    QCOMPARE(view.left, left);
    QCOMPARE(view.top, top);
    QCOMPARE(view.horizontal.enabled, horizontalEnabled);
    QCOMPARE(view.horizontal.maximum, horizontalMaximum);
    QCOMPARE(view.vertical.enabled, verticalEnabled);
    QCOMPARE(view.vertical.maximum, verticalMaximum);
}

QTEST_GUILESS_MAIN(tst_Viewport)
#include "tst_viewport.moc"
