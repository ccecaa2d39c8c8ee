#include "codec/hidden_text.h"
#include "codec/message_layout.h"
#include "support/test_pictures.h"

#include <QTest>

using namespace lumenveil;
using lumenveil::test::MemoryGrid;
using lumenveil::test::NoiseGrid;

namespace {

std::u16string U16(const QString& s)
{
    return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()),
                          static_cast<std::size_t>(s.size()));
}

QString Q(const std::u16string& s)
{
    return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

// Passes reads through to a grid and remembers the highest pixel number read.
class WatchedGrid final : public PixelGrid
{
public:
    explicit WatchedGrid(const PixelGrid& inner) : inner_(inner) {}
    int ImageWidth() const override { return inner_.ImageWidth(); }
    int ImageHeight() const override { return inner_.ImageHeight(); }
    ColorValue ReadPixel(int x, int y) const override
    {
        highest = std::max(highest, std::int64_t{x} * ImageHeight() + y);
        ++reads;
        return inner_.ReadPixel(x, y);
    }
    void WritePixel(int, int, ColorValue) override { QFAIL("reading must not write"); }

    mutable std::int64_t highest = -1;
    mutable std::int64_t reads = 0;

private:
    const PixelGrid& inner_;
};

// A grid whose slots carry `characters` as they stand, without markers added.
MemoryGrid GridCarrying(const QString& characters, int width, int height, quint32 seed = 7)
{
    MemoryGrid grid = NoiseGrid(width, height, seed);
    for (qsizetype i = 0; i < characters.size(); ++i) {
        StoreCharInSlot(grid, i, characters.at(i).unicode());
    }
    return grid;
}

} // namespace

class tst_HiddenText : public QObject
{
    Q_OBJECT

private slots:
    void letterInFirstSlot_data();
    void letterInFirstSlot();
    void slotCrossesColumns();
    void capacity_data();
    void capacity();
    void onlyCarrierBitsChange_data();
    void onlyCarrierBitsChange();
    void hidingTwiceChangesNothing();
    void everyCodeRoundTrips();
    void refusedTexts_data();
    void refusedTexts();
    void readScan_data();
    void readScan();
    void startTestBeforePixel39();
    void scanStopsAtEndMarker();
    void shorterMessageOverLonger();
    void describesOutcomes();
};

void tst_HiddenText::letterInFirstSlot_data()
{
    QTest::addColumn<quint32>("fill");
    QTest::addColumn<quint32>("pixel0");
    QTest::addColumn<quint32>("pixel1");
    QTest::addColumn<quint32>("pixel2");
    QTest::newRow("all white") << 0xFFFFFFu << 0xFEFFFEu << 0xFEFEFEu << 0xFFFFFEu;
    QTest::newRow("all black") << 0x000000u << 0x000100u << 0x000000u << 0x000100u;
}

void tst_HiddenText::letterInFirstSlot()
{
    QFETCH(quint32, fill);
    MemoryGrid grid(4, 4, fill);
    StoreCharInSlot(grid, 0, u'A');
    QTEST(grid.Pixel(0), "pixel0");
    QTEST(grid.Pixel(1), "pixel1");
    QTEST(grid.Pixel(2), "pixel2");
    QCOMPARE(grid.Pixel(3), fill);
    QCOMPARE(ReadSlotCode(grid, 0), 65);
}

void tst_HiddenText::slotCrossesColumns()
{
    // Ten pixels high: slot 3 is pixels 9, 10, 11 at (0, 9), (1, 0), (1, 1).
    MemoryGrid grid(3, 10, 0xFFFFFF);
    StoreCharInSlot(grid, 3, u'A');
    QCOMPARE(grid.ReadPixel(0, 9), 0xFEFFFEu);
    QCOMPARE(grid.ReadPixel(1, 0), 0xFEFEFEu);
    QCOMPARE(grid.ReadPixel(1, 1), 0xFFFFFEu);
    QCOMPARE(grid.ReadPixel(0, 8), 0xFFFFFFu);
    QCOMPARE(grid.ReadPixel(1, 2), 0xFFFFFFu);
    QCOMPARE(ReadSlotCode(grid, 3), 65);
}

void tst_HiddenText::capacity_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<qint64>("shortfall"); // 0: fits
    // "abc" frames to 27 characters: 81 pixels.
    QTest::newRow("exactly 3L pixels") << "abc" << 9 << 9 << qint64{0};
    QTest::newRow("exactly 3L in one row") << "abc" << 81 << 1 << qint64{0};
    QTest::newRow("exactly 3L in one column") << "abc" << 1 << 81 << qint64{0};
    QTest::newRow("one pixel short") << "abc" << 8 << 10 << qint64{1};
    QTest::newRow("one character short") << "abc" << 6 << 13 << qint64{3};
    QTest::newRow("empty text in 8 x 8") << "" << 8 << 8 << qint64{8};
    QTest::newRow("empty text in 72 pixels") << "" << 8 << 9 << qint64{0};
    QTest::newRow("no pixels at all") << "" << 0 << 0 << qint64{72};
    QTest::newRow("1 x 1") << "x" << 1 << 1 << qint64{74};
}

void tst_HiddenText::capacity()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(qint64, shortfall);

    MemoryGrid grid = NoiseGrid(width, height, 3);
    const MemoryGrid before = grid;
    const HideOutcome outcome = HideText(grid, U16(text));
    if (shortfall > 0) {
        QCOMPARE(outcome.status, HideStatus::DoesNotFit);
        QCOMPARE(outcome.shortfall, shortfall);
        QCOMPARE(grid.Pixels(), before.Pixels());
        return;
    }
    QCOMPARE(outcome.status, HideStatus::Hidden);
    QCOMPARE(CapacityInChars(width, height), text.size());
    const std::int64_t last = std::int64_t{width} * height - 1;
    QCOMPARE(BlueOf(grid.Pixel(last)), BlueOf(before.Pixel(last)));
    const ReadOutcome read = ReadText(grid);
    QCOMPARE(read.status, ReadStatus::Found);
    QCOMPARE(Q(read.text), text);
}

void tst_HiddenText::onlyCarrierBitsChange_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("square") << 40 << 40;
    QTest::newRow("odd width") << 37 << 11;
    QTest::newRow("one row") << 500 << 1;
    QTest::newRow("one column") << 1 << 500;
}

void tst_HiddenText::onlyCarrierBitsChange()
{
    QFETCH(int, width);
    QFETCH(int, height);
    MemoryGrid grid = NoiseGrid(width, height, 11);
    const MemoryGrid before = grid;
    const std::u16string text = u"Meet me at the \u00E9glise at 9 \u20AC";
    QCOMPARE(HideText(grid, text).status, HideStatus::Hidden);

    const std::int64_t used = 3 * static_cast<std::int64_t>(FramedMessage(text).size());
    for (std::int64_t n = 0; n < std::int64_t{width} * height; ++n) {
        const ColorValue now = grid.Pixel(n);
        const ColorValue was = before.Pixel(n);
        if (n >= used) {
            QCOMPARE(now, was);
        } else if (n % 3 == 2) {
            QCOMPARE(now & 0xFFFEFEu, was & 0xFFFEFEu); // blue of the third pixel kept whole
        } else {
            QCOMPARE(now & 0xFEFEFEu, was & 0xFEFEFEu);
        }
    }
}

void tst_HiddenText::hidingTwiceChangesNothing()
{
    MemoryGrid grid = NoiseGrid(30, 30, 5);
    QCOMPARE(HideText(grid, u"twice").status, HideStatus::Hidden);
    const MemoryGrid once = grid;
    QCOMPARE(HideText(grid, u"twice").status, HideStatus::Hidden);
    QCOMPARE(grid.Pixels(), once.Pixels());
}

void tst_HiddenText::everyCodeRoundTrips()
{
    std::u16string text;
    for (int code = 255; code >= 0; --code) {
        text += CharOfCode(static_cast<std::uint8_t>(code));
    }
    MemoryGrid grid = NoiseGrid(29, 29, 9);
    QCOMPARE(HideText(grid, text).status, HideStatus::Hidden);
    const ReadOutcome read = ReadText(grid);
    QCOMPARE(read.status, ReadStatus::Found);
    QVERIFY(read.text == text);
}

void tst_HiddenText::refusedTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<HideStatus>("status");
    QTest::addColumn<QString>("named"); // the characters named, in order
    QTest::newRow("CJK") << QString::fromUtf16(u"\u65E5\u672C\u65E5") << HideStatus::UnstorableCharacters
                         << QString::fromUtf16(u"\u65E5\u672C");
    QTest::newRow("A macron among letters") << QString::fromUtf16(u"ab\u0100c")
                                            << HideStatus::UnstorableCharacters
                                            << QString::fromUtf16(u"\u0100");
    QTest::newRow("emoji as one character") << QString::fromUtf16(u"hi \U0001F600")
                                            << HideStatus::UnstorableCharacters
                                            << QString::fromUtf16(u"\U0001F600");
    QTest::newRow("end marker inside") << "see you at the end message board"
                                       << HideStatus::ContainsEndMarker << "";
    QTest::newRow("end marker alone") << "end message" << HideStatus::ContainsEndMarker << "";
}

void tst_HiddenText::refusedTexts()
{
    QFETCH(QString, text);
    QFETCH(HideStatus, status);
    QFETCH(QString, named);

    // Too small as well: the text is refused for what it is, and nothing is touched.
    MemoryGrid grid = NoiseGrid(50, 50, 2);
    const MemoryGrid before = grid;
    const HideOutcome outcome = HideText(grid, U16(text));
    QCOMPARE(outcome.status, status);
    QCOMPARE(QString::fromUcs4(outcome.unstorable.data(),
                               static_cast<qsizetype>(outcome.unstorable.size())),
             named);
    QCOMPARE(grid.Pixels(), before.Pixels());
}

void tst_HiddenText::readScan_data()
{
    QTest::addColumn<QString>("stored"); // characters stored slot by slot, no markers added
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<ReadStatus>("status");
    QTest::addColumn<QString>("text");

    QTest::newRow("a message") << "start messagehelloend message" << 20 << 20 << ReadStatus::Found
                               << "hello";
    QTest::newRow("an empty message") << "start messageend message" << 9 << 8 << ReadStatus::Found
                                      << "";
    QTest::newRow("end marker inside the text reads up to it")
        << "start messagefirstend messagesecondend message" << 20 << 20 << ReadStatus::Found
        << "first";
    QTest::newRow("start marker in another case") << "Start messagehelloend message" << 20 << 20
                                                  << ReadStatus::NoStartMarker << "";
    QTest::newRow("no marker at all") << "" << 20 << 20 << ReadStatus::NoStartMarker << "";
    QTest::newRow("start but no end") << "start messagehello" << 20 << 20
                                      << ReadStatus::NoEndMarker << "";
    QTest::newRow("39 pixels never reach the start test")
        << "start message" << 13 << 3 << ReadStatus::TooSmall << "";
    QTest::newRow("40 pixels reach it") << "" << 8 << 5 << ReadStatus::NoStartMarker << "";
    QTest::newRow("1 x 1") << "" << 1 << 1 << ReadStatus::TooSmall << "";
    QTest::newRow("end marker first") << "end message" << 20 << 20 << ReadStatus::Found << "";
    QTest::newRow("end marker ends at the 12th character") << "xend message" << 20 << 20
                                                           << ReadStatus::Found << "x";
    QTest::newRow("end marker ends at the 13th character") << "xyend message" << 20 << 20
                                                           << ReadStatus::Found << "xy";
    QTest::newRow("end marker in a picture of 33 pixels") << "end message" << 11 << 3
                                                          << ReadStatus::Found << "";
    QTest::newRow("code 0") << QString(QChar(0)) + "start message" << 20 << 20
                            << ReadStatus::NoStartMarker << "";
    QTest::newRow("nul in the text") << "start messagea" + QString(QChar(0)) + "bend message" << 20
                                     << 20 << ReadStatus::Found << QString("a") + QChar(0) + "b";
}

void tst_HiddenText::readScan()
{
    QFETCH(QString, stored);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(ReadStatus, status);
    QFETCH(QString, text);

    const MemoryGrid grid = GridCarrying(stored, width, height);
    const ReadOutcome first = ReadText(grid);
    QCOMPARE(first.status, status);
    QCOMPARE(Q(first.text), text);
    const ReadOutcome second = ReadText(grid);
    QCOMPARE(second.status, first.status);
    QVERIFY(second.text == first.text);
}

void tst_HiddenText::startTestBeforePixel39()
{
    const MemoryGrid grid = GridCarrying("start massage and more", 20, 20);
    WatchedGrid watched(grid);
    QCOMPARE(ReadText(watched).status, ReadStatus::NoStartMarker);
    QCOMPARE(watched.highest, std::int64_t{38});
}

void tst_HiddenText::scanStopsAtEndMarker()
{
    MemoryGrid grid = NoiseGrid(1000, 1000, 4);
    QCOMPARE(HideText(grid, u"short").status, HideStatus::Hidden);
    WatchedGrid watched(grid);
    QCOMPARE(ReadText(watched).status, ReadStatus::Found);
    QCOMPARE(watched.highest, std::int64_t{3 * 29 - 1});
    QCOMPARE(watched.reads, std::int64_t{3 * 29});
}

void tst_HiddenText::shorterMessageOverLonger()
{
    MemoryGrid grid = NoiseGrid(40, 40, 6);
    QCOMPARE(HideText(grid, u"a much longer message goes first").status, HideStatus::Hidden);
    const MemoryGrid longer = grid;
    QCOMPARE(HideText(grid, u"short").status, HideStatus::Hidden);
    const ReadOutcome read = ReadText(grid);
    QCOMPARE(Q(read.text), QString("short"));
    // Beyond the new message the old one's bits stay.
    for (std::int64_t n = 3 * 29; n < 40 * 40; ++n) {
        QCOMPARE(grid.Pixel(n), longer.Pixel(n));
    }
}

void tst_HiddenText::describesOutcomes()
{
    QCOMPARE(DescribeHideOutcome({HideStatus::DoesNotFit, 3, {}}),
             std::string("Text is 3 characters longer than this picture can store!"));
    const std::string named = DescribeHideOutcome(
        {HideStatus::UnstorableCharacters, 0, U"\u0100\U0001F600"});
    QVERIFY(named.find("\u201C\u0100\u201D (U+0100)") != std::string::npos);
    QVERIFY(named.find("(U+1F600)") != std::string::npos);
    QCOMPARE(NameCharacters(U"abcdefghij", 2), std::string("\u201Ca\u201D (U+0061), \u201Cb\u201D "
                                                           "(U+0062) and 8 more"));
    QCOMPARE(DescribeReadOutcome({ReadStatus::NoEndMarker, {}}),
             std::string("The hidden message is incomplete: its end marker is missing."));
}

QTEST_GUILESS_MAIN(tst_HiddenText)
#include "tst_hidden_text.moc"
