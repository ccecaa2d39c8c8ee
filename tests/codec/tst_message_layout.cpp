#include "codec/message_layout.h"

#include <QTest>

using namespace lumenveil;

class tst_MessageLayout : public QObject
{
    Q_OBJECT

private slots:
    void byteToBits_data();
    void byteToBits();
    void everyCodeRoundTrips();
    void windows1252_data();
    void windows1252();
    void pixelNumbering_data();
    void pixelNumbering();
    void framedMessage();
};

void tst_MessageLayout::byteToBits_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("digits");
    QTest::newRow("0") << 0 << "00000000";
    QTest::newRow("1") << 1 << "00000001";
    QTest::newRow("A") << 65 << "01000001";
    QTest::newRow("255") << 255 << "11111111";
    QTest::newRow("256 keeps all nine digits") << 256 << "100000000";
    QTest::newRow("32767") << 32767 << "111111111111111";
    QTest::newRow("negative") << -5 << "00000000";
    QTest::newRow("most negative") << -32768 << "00000000";
}

void tst_MessageLayout::byteToBits()
{
    QFETCH(int, code);
    QFETCH(QString, digits);
    QCOMPARE(QString::fromStdString(ByteToBits(static_cast<std::int16_t>(code))), digits);
}

void tst_MessageLayout::everyCodeRoundTrips()
{
    for (int code = 0; code < 256; ++code) {
        const std::u16string ch = CharOfCode(static_cast<std::uint8_t>(code));
        QCOMPARE(ch.size(), std::size_t{1});
        QVERIFY2(IsStorableChar(ch[0]), qPrintable(QString::number(code)));
        QCOMPARE(CodeOfChar(ch[0]), code);
        QCOMPARE(DecodeChar(EncodeChar(ch)), ch);
    }
}

void tst_MessageLayout::windows1252_data()
{
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("code"); // -1: not storable
    QTest::newRow("letter") << 0x41 << 0x41;
    QTest::newRow("nul") << 0x00 << 0x00;
    QTest::newRow("euro sign") << 0x20AC << 0x80;
    QTest::newRow("left double quote") << 0x201C << 0x93;
    QTest::newRow("Y diaeresis") << 0x0178 << 0x9F;
    QTest::newRow("undefined byte 0x81") << 0x81 << 0x81;
    QTest::newRow("undefined byte 0x9D") << 0x9D << 0x9D;
    QTest::newRow("C1 control 0x80 is not the euro") << 0x80 << -1;
    QTest::newRow("C1 control 0x93") << 0x93 << -1;
    QTest::newRow("no-break space") << 0xA0 << 0xA0;
    QTest::newRow("y diaeresis") << 0xFF << 0xFF;
    QTest::newRow("A macron") << 0x100 << -1;
    QTest::newRow("CJK") << 0x65E5 << -1;
    QTest::newRow("lone surrogate") << 0xD83D << -1;
}

void tst_MessageLayout::windows1252()
{
    QFETCH(int, unit);
    QFETCH(int, code);
    const auto ch = static_cast<char16_t>(unit);
    QCOMPARE(IsStorableChar(ch), code >= 0);
    QCOMPARE(int{CodeOfChar(ch)}, code >= 0 ? code : int{'?'});
    if (code >= 0) {
        QCOMPARE(CharOfCode(static_cast<std::uint8_t>(code)), std::u16string(1, ch));
    }
}

void tst_MessageLayout::pixelNumbering_data()
{
    QTest::addColumn<qint64>("n");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::newRow("first pixel") << qint64{0} << 10 << 0 << 0;
    QTest::newRow("foot of column 0") << qint64{9} << 10 << 0 << 9;
    QTest::newRow("top of column 1") << qint64{10} << 10 << 1 << 0;
    QTest::newRow("one row high") << qint64{7} << 1 << 7 << 0;
    QTest::newRow("one column wide") << qint64{7} << 100 << 0 << 7;
    QTest::newRow("beyond 32 bits") << qint64{268435455} << 16384 << 16383 << 16383;
}

void tst_MessageLayout::pixelNumbering()
{
    QFETCH(qint64, n);
    QFETCH(int, height);
    QFETCH(int, x);
    QFETCH(int, y);
    QCOMPARE(PositionOfPixel(n, height), (PixelPosition{x, y}));
}

void tst_MessageLayout::framedMessage()
{
    QCOMPARE(FramedMessage(u""), std::u16string(u"start messageend message"));
    QCOMPARE(FramedMessage(u"Hi\r\nthere"), std::u16string(u"start messageHi\r\nthereend message"));
    QCOMPARE(FramedMessage(u"x").size(), std::size_t{25});
}

QTEST_GUILESS_MAIN(tst_MessageLayout)
#include "tst_message_layout.moc"
