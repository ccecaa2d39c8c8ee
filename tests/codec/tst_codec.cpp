#include "codec/hidden_text.h"
#include "codec/message_layout.h"
#include "support/test_pictures.h"

#include <QTest>

using namespace lumenveil;
using namespace lumenveil::test;

namespace {

// Passes reads through to a grid, counts them and checks that they come in column order.
class WatchedGrid final : public PixelGrid
{
public:
    explicit WatchedGrid(const PixelGrid& inner) : inner_(inner) {}
    int ImageWidth() const override { return inner_.ImageWidth(); }
    int ImageHeight() const override { return inner_.ImageHeight(); }
    ColorValue ReadPixel(int x, int y) const override
    {
        inOrder = inOrder && x * ImageHeight() + y == reads;
        ++reads;
        return inner_.ReadPixel(x, y);
    }
    void WritePixel(int, int, ColorValue) override {}

    mutable int reads = 0;
    mutable bool inOrder = true;

private:
    const PixelGrid& inner_;
};

} // namespace

// The message layout, and hiding and reading over a pixel grid.
class tst_Codec : public QObject
{
    Q_OBJECT

private slots:
    void byteToBits_data();
    void byteToBits();
    void windows1252_data();
    void windows1252();
    void pixelNumberBeyond32Bits();
    void letterInSlot_data();
    void letterInSlot();
    void hide_data();
    void hide();
    void hideOverAMessage_data();
    void hideOverAMessage();
    void read_data();
    void read();
    void describesOutcomes();
};

void tst_Codec::byteToBits_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("digits");
    QTest::newRow("0") << 0 << "00000000";
    QTest::newRow("A") << 65 << "01000001";
    QTest::newRow("255") << 255 << "11111111";
    QTest::newRow("256 keeps all nine digits") << 256 << "100000000";
    QTest::newRow("32767") << 32767 << "111111111111111";
    QTest::newRow("negative") << -5 << "00000000";
    QTest::newRow("most negative") << -32768 << "00000000";
}

void tst_Codec::byteToBits()
{
    QFETCH(int, code);
    QFETCH(QString, digits);
    QCOMPARE(QString::fromStdString(ByteToBits(static_cast<std::int16_t>(code))), digits);
}

void tst_Codec::windows1252_data()
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

void tst_Codec::windows1252()
{
    QFETCH(int, unit);
    QFETCH(int, code);
    const auto ch = static_cast<char16_t>(unit);
    QCOMPARE(IsStorableChar(ch), code >= 0);
    QCOMPARE(int{CodeOfChar(ch)}, code >= 0 ? code : int{'?'});
    QVERIFY(code < 0 || CharOfCode(static_cast<std::uint8_t>(code)) == std::u16string(1, ch));
}

void tst_Codec::pixelNumberBeyond32Bits()
{
    QCOMPARE(PositionOfPixel(268435455, 16384), (PixelPosition{16383, 16383}));
}

void tst_Codec::letterInSlot_data()
{
    QTest::addColumn<int>("height"); // of a grid three pixels wide
    QTest::addColumn<quint32>("fill");
    QTest::addColumn<int>("slot");
    QTest::addColumn<QList<quint32>>("pixels"); // the slot's three pixels after storing "A"
    const QList<quint32> white = {0xFEFFFEu, 0xFEFEFEu, 0xFFFFFEu};
    QTest::newRow("all white") << 4 << 0xFFFFFFu << 0 << white;
    QTest::newRow("all black") << 4 << 0x000000u << 0 << QList<quint32>{0x000100u, 0, 0x000100u};
    // Ten pixels high: slot 3 is pixels 9, 10, 11 at (0, 9), (1, 0), (1, 1).
    QTest::newRow("slot across two columns") << 10 << 0xFFFFFFu << 3 << white;
}

void tst_Codec::letterInSlot()
{
    QFETCH(int, height);
    QFETCH(quint32, fill);
    QFETCH(int, slot);
    QFETCH(QList<quint32>, pixels);
    MemoryGrid grid(3, height, fill);
    StoreCharInSlot(grid, slot, u'A');
    for (int n = 0; n < 3 * height; ++n) {
        QCOMPARE(grid.Pixel(n), n / 3 == slot ? pixels[n % 3] : fill);
    }
    QCOMPARE(ReadSlotCode(grid, slot), 65);
}

void tst_Codec::hide_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<HideStatus>("status");
    QTest::addColumn<qint64>("shortfall");
    QTest::addColumn<QString>("named"); // the unstorable characters, as the user is told of them

    using enum HideStatus;
    // "abc" frames to 27 characters: 81 pixels.
    QTest::newRow("exactly 3L pixels") << "abc" << 9 << 9 << Hidden << qint64{0} << "";
    QTest::newRow("exactly 3L in one row") << "abc" << 81 << 1 << Hidden << qint64{0} << "";
    QTest::newRow("exactly 3L in one column") << "abc" << 1 << 81 << Hidden << qint64{0} << "";
    QTest::newRow("one pixel short") << "abc" << 8 << 10 << DoesNotFit << qint64{1} << "";
    QTest::newRow("one character short") << "abc" << 6 << 13 << DoesNotFit << qint64{3} << "";
    QTest::newRow("empty text in 8 x 8") << "" << 8 << 8 << DoesNotFit << qint64{8} << "";
    QTest::newRow("empty text in 72 pixels") << "" << 8 << 9 << Hidden << qint64{0} << "";
    QTest::newRow("no pixels at all") << "" << 0 << 0 << DoesNotFit << qint64{72} << "";
    QTest::newRow("1 x 1") << "x" << 1 << 1 << DoesNotFit << qint64{74} << "";
    // Refused for what they are before the picture's size is looked at.
    QTest::newRow("CJK") << QString("\u65E5\u672C\u65E5") << 1 << 1 << UnstorableCharacters
                         << qint64{0}
                         << QString("\u201C\u65E5\u201D (U+65E5), \u201C\u672C\u201D (U+672C)");
    QTest::newRow("A macron among letters")
        << QString("ab\u0100c") << 1 << 1 << UnstorableCharacters << qint64{0}
        << QString("\u201C\u0100\u201D (U+0100)");
    QTest::newRow("emoji as one character")
        << QString("hi \U0001F600") << 1 << 1 << UnstorableCharacters << qint64{0}
        << QString("\u201C\U0001F600\u201D (U+1F600)");
    QTest::newRow("end marker inside")
        << "see you at the end message board" << 1 << 1 << ContainsEndMarker << qint64{0} << "";
    QTest::newRow("end marker alone")
        << "end message" << 1 << 1 << ContainsEndMarker << qint64{0} << "";
    // The marker that follows the text must be the first one read: no ending may complete one.
    QTest::newRow("ending in end messag")
        << "Meet me at the end messag" << 1 << 1 << ContainsEndMarker << qint64{0} << "";
    QTest::newRow("ending in xend message")
        << "xend message" << 1 << 1 << ContainsEndMarker << qint64{0} << "";
    QTest::newRow("ending in end messa") << "end messa" << 11 << 9 << Hidden << qint64{0} << "";
    QTest::newRow("ending in end mess") << "end mess" << 12 << 8 << Hidden << qint64{0} << "";
}

void tst_Codec::hide()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(HideStatus, status);
    QFETCH(qint64, shortfall);
    QFETCH(QString, named);

    MemoryGrid grid = NoiseGrid(width, height, 3);
    const MemoryGrid before = grid;
    const HideOutcome outcome = HideText(grid, text.toStdU16String());
    const HideOutcome checked = CheckHide(text.toStdU16String(), width, height);
    QCOMPARE(outcome.status, status);
    QCOMPARE(checked.status, status);
    QCOMPARE(outcome.shortfall, shortfall);
    QCOMPARE(checked.shortfall, shortfall);
    QCOMPARE(QString::fromStdString(NameCharacters(outcome.unstorable)), named);
    if (status != HideStatus::Hidden) {
        QCOMPARE(grid.Pixels(), before.Pixels());
        return;
    }
    // Stored in bands of two rows, the last band first, as a decoder may hand them over.
    MemoryGrid banded = before;
    const std::u16string framed = FramedMessage(text.toStdU16String());
    for (int bottom = height; bottom > 0; bottom -= 2) {
        StoreFramedRows(banded, framed, std::max(0, bottom - 2), bottom);
    }
    QCOMPARE(banded.Pixels(), grid.Pixels());
    QCOMPARE(CapacityInChars(width, height), text.size());
    const ReadOutcome read = ReadText(grid);
    QCOMPARE(read.status, ReadStatus::Found);
    QCOMPARE(QString::fromStdU16String(read.text), text);
}

void tst_Codec::hideOverAMessage_data()
{
    QTest::addColumn<QString>("carried"); // stored slot by slot first, no markers added
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");

    const QString vault = "the vault code is 4711, meet at dawn"; // 60 framed characters
    // 11 pixels high, so that slots begin and end in different columns.
    QTest::newRow("a longer message")
        << "start message" + vault + "end message" << "hi" << 20 << 11;
    QTest::newRow("a longer message that ends at the last pixel")
        << "start message" + vault + "end message" << "hi" << 60 << 3;
    QTest::newRow("a shorter message") << "start messagehiend message" << vault << 20 << 11;
    QTest::newRow("no message") << "" << "hi" << 20 << 11;
    QTest::newRow("a message without its end") << "start message" + vault << "hi" << 20 << 11;
}

void tst_Codec::hideOverAMessage()
{
    QFETCH(QString, carried);
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(int, height);

    MemoryGrid grid = NoiseGrid(width, height, 5);
    for (qsizetype i = 0; i < carried.size(); ++i) {
        StoreCharInSlot(grid, i, carried.at(i).unicode());
    }
    const MemoryGrid before = grid;
    const ReadOutcome old = ReadText(before);
    QCOMPARE(HideText(grid, text.toStdU16String()).status, HideStatus::Hidden);
    QCOMPARE(QString::fromStdU16String(ReadText(grid).text), text);
    const auto newEnd = static_cast<qsizetype>(FramedMessage(text.toStdU16String()).size());
    const qsizetype oldEnd =
        old.status == ReadStatus::Found ? 24 + static_cast<qsizetype>(old.text.size()) : 0;
    const qsizetype end = std::max(newEnd, oldEnd);

    // The characters the slots carry now, up to the old message's end: stored band by band
    // into the picture as it was, they give HideText's pixels, so that no pixel past them and
    // no bit but a carrier changed.
    QString carries;
    for (qsizetype slot = 0; slot < end; ++slot) {
        carries += QChar(CharOfCode(ReadSlotCode(grid, slot)).front());
    }
    MemoryGrid banded = before;
    for (int bottom = height; bottom > 0; bottom -= 2) {
        StoreFramedRows(banded, carries.toStdU16String(), std::max(0, bottom - 2), bottom);
    }
    QCOMPARE(banded.Pixels(), grid.Pixels());
    // Past the new end marker nothing of the old message is left: random codes that could
    // match a character or two, never all of them.
    QVERIFY(oldEnd <= newEnd || carries.mid(newEnd) != carried.mid(newEnd, oldEnd - newEnd));
}

void tst_Codec::read_data()
{
    QTest::addColumn<QString>("stored"); // characters stored slot by slot, no markers added
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<ReadStatus>("status");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("last"); // the last pixel the outcome depends on

    using enum ReadStatus;
    QTest::newRow("a message") << "start messagehelloend message" << 20 << 20 << Found << "hello"
                               << 86;
    QTest::newRow("an empty message") << "start messageend message" << 9 << 8 << Found << "" << 71;
    QTest::newRow("end marker inside the text reads up to it")
        << "start messagefirstend messagesecondend message" << 20 << 20 << Found << "first" << 86;
    QTest::newRow("start marker in another case")
        << "Start messagehelloend message" << 20 << 20 << NoStartMarker << "" << 8;
    // Read until the codes can begin neither the start marker nor an end marker that would be
    // complete by the 13th character.
    QTest::newRow("no marker at all: settled by the third character")
        << "abc" << 20 << 20 << NoStartMarker << "" << 8;
    QTest::newRow("an end marker from the third character, until it fails")
        << "xyend messaXe" << 20 << 20 << NoStartMarker << "" << 35;
    QTest::newRow("a start marker wrong in its last letter")
        << "start messagf" << 20 << 20 << NoStartMarker << "" << 38;
    QTest::newRow("start but no end")
        << "start messagehello" << 20 << 20 << NoEndMarker << "" << 399;
    const QString many(180000, 'a'); // read on past the largest read's end
    QTest::newRow("long message") << "start message" + many + "end message" << 3 << 200000 << Found
                                  << many << 540071;
    QTest::newRow("end marker ends where a read ends")
        << "start messagexyend message" << 20 << 20 << Found << "xy" << 77;
    QTest::newRow("39 pixels never reach the start test")
        << "start message" << 13 << 3 << TooSmall << "" << 38;
    QTest::newRow("40 pixels reach it") << "start messagf" << 8 << 5 << NoStartMarker << "" << 38;
    QTest::newRow("1 x 1") << "" << 1 << 1 << TooSmall << "" << 0;
    QTest::newRow("end marker first") << "end message" << 20 << 20 << Found << "" << 32;
    QTest::newRow("end marker ends at the 12th character")
        << "xend message" << 20 << 20 << Found << "x" << 35;
    QTest::newRow("end marker ends at the 13th character")
        << "xyend message" << 20 << 20 << Found << "xy" << 38;
    QTest::newRow("end marker in a picture of 33 pixels")
        << "end message" << 11 << 3 << Found << "" << 32;
    QTest::newRow("code 0") << QString(QChar(0)) + "start message" << 20 << 20 << NoStartMarker
                            << "" << 8;
    QTest::newRow("nul in the text") << "start messagea" + QString(QChar(0)) + "bend message" << 20
                                     << 20 << Found << QString("a") + QChar(0) + "b" << 80;
    QString everyCode;
    for (int code = 255; code >= 0; --code) {
        everyCode += QString::fromStdU16String(CharOfCode(static_cast<std::uint8_t>(code)));
    }
    QTest::newRow("every code") << "start message" + everyCode + "end message" << 29 << 29 << Found
                                << everyCode << 839;
}

void tst_Codec::read()
{
    QFETCH(QString, stored);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(ReadStatus, status);
    QFETCH(QString, text);
    QFETCH(int, last);

    MemoryGrid grid = NoiseGrid(width, height, 7);
    for (qsizetype i = 0; i < stored.size(); ++i) {
        StoreCharInSlot(grid, i, stored.at(i).unicode());
    }
    const WatchedGrid watched(grid);
    const ReadOutcome outcome = ReadText(watched);
    QCOMPARE(outcome.status, status);
    QCOMPARE(QString::fromStdU16String(outcome.text), text);
    // Each pixel once, in order, and past the last one needed at most as far again.
    QVERIFY(watched.inOrder);
    QVERIFY2(watched.reads > last && watched.reads <= 2 * (last + 1),
             qPrintable(QString("%1 pixels read").arg(watched.reads)));
}

void tst_Codec::describesOutcomes()
{
    QCOMPARE(NameCharacters(U"abcdefghij", 2),
             std::string("\u201Ca\u201D (U+0061), \u201Cb\u201D (U+0062) and 8 more"));
    QCOMPARE(DescribeHideOutcome({HideStatus::DoesNotFit, 1, {}}),
             std::string("Text is 1 character longer than this picture can store!"));
    QCOMPARE(DescribeHideOutcome({HideStatus::DoesNotFit, 4, {}}),
             std::string("Text is 2 characters longer than this picture can store!"));
    QCOMPARE(DescribeReadOutcome({ReadStatus::NoEndMarker, {}}),
             std::string("The hidden message is incomplete: its end marker is missing."));
}

QTEST_GUILESS_MAIN(tst_Codec)
#include "tst_codec.moc"
