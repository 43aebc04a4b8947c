#include "decodercheck.h"
#include "framebuilder.h"
#include "framedecoder.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

QString text(const TervaloFrame &f)
{
    return QStringLiteral("%1;%2;%3").arg(f.vertical).arg(f.horizontal).arg(f.counter);
}

} // namespace

class TestFrameDecoder : public QObject
{
    Q_OBJECT

private slots:
    void cutsFramesFromArrivals_data();
    void cutsFramesFromArrivals();
    void streamWithoutHeaderKeepsOnlyWhatMayStartOne();
    void consumedBytesLeaveOncePerArrival();
    void anySplitGivesTheReferenceFrames();
};

void TestFrameDecoder::cutsFramesFromArrivals_data()
{
    QTest::addColumn<QByteArrayList>("arrivals");
    QTest::addColumn<QVector<int>>("framesPerArrival");
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<QByteArray>("left");

    const QByteArray a = FrameBuilder::frame(-123, 2748, 1045);
    const QByteArray b = FrameBuilder::frame(1, 2, 3);
    const QByteArray c = FrameBuilder::frame(-4, -5, -6);

    QTest::newRow("split over two arrivals")
            << QByteArrayList { a.left(7), a.mid(7) } << QVector<int> { 0, 1 } << QStringList { "-123;2748;1045" }
            << QByteArray();
    QTest::newRow("three frames in one arrival")
            << QByteArrayList { a + b + c } << QVector<int> { 3 }
            << QStringList { "-123;2748;1045", "1;2;3", "-4;-5;-6" } << QByteArray();
    QTest::newRow("noise before header")
            << QByteArrayList { QByteArray("\x01\xffRAI\x00z", 7) + b } << QVector<int> { 1 } << QStringList { "1;2;3" }
            << QByteArray();
    QTest::newRow("header with fewer than 8 bytes after it")
            << QByteArrayList { b.left(11), b.right(1) } << QVector<int> { 0, 1 } << QStringList { "1;2;3" }
            << QByteArray();
    QTest::newRow("incomplete frame waits with its noise")
            << QByteArrayList { "xy" + b.left(9) } << QVector<int> { 0 } << QStringList {} << "xy" + b.left(9);
    QTest::newRow("header split between arrivals")
            << QByteArrayList { "noiseRA", b.mid(2) } << QVector<int> { 0, 1 } << QStringList { "1;2;3" }
            << QByteArray();
    // Four bytes that read "RAIL" are a header, even inside what was meant as
    // a frame's body: the frame is cut from the later header.
    QTest::newRow("RAIL in a body after noise")
            << QByteArrayList { QByteArray("RAI") + QByteArray("RAIL", 4) + QByteArray(8, '\0') } << QVector<int> { 1 }
            << QStringList { "0;0;0" } << QByteArray();
    QTest::newRow("trailing bytes stay after a frame")
            << QByteArrayList { a + "RA" } << QVector<int> { 1 } << QStringList { "-123;2748;1045" } << QByteArray("RA");
}

void TestFrameDecoder::cutsFramesFromArrivals()
{
    QFETCH(QByteArrayList, arrivals);
    QFETCH(QVector<int>, framesPerArrival);
    QFETCH(QStringList, frames);
    QFETCH(QByteArray, left);

    FrameDecoder decoder;
    QStringList got;
    for (int i = 0; i < arrivals.size(); ++i) {
        const std::vector<TervaloFrame> cut = decoder.decode(arrivals[i]);
        QCOMPARE(int(cut.size()), framesPerArrival[i]);
        for (const TervaloFrame &f : cut)
            got << text(f);
    }
    QCOMPARE(got, frames);
    QCOMPARE(decoder.pending(), left);
}

void TestFrameDecoder::streamWithoutHeaderKeepsOnlyWhatMayStartOne()
{
    FrameDecoder decoder;
    QByteArray noise(1 << 20, 'x');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char(i * 7 % 251);  // never the run R, A, I, L
    QVERIFY(!noise.contains("RAIL"));
    for (int round = 0; round < 8; ++round) {
        QVERIFY(decoder.decode(noise).empty());
        QCOMPARE(decoder.pending(), noise.right(3));
    }
    // A header begun in the three bytes kept still decodes.
    QVERIFY(decoder.decode("RAI").empty());
    QCOMPARE(decoder.pending(), QByteArray("RAI"));
    const std::vector<TervaloFrame> frames = decoder.decode(QByteArray("L\x00\x01\x00\x02\x00\x00\x00\x03", 9));
    QCOMPARE(int(frames.size()), 1);
    QCOMPARE(text(frames[0]), QStringLiteral("1;2;3"));
    QCOMPARE(decoder.pendingSize(), 0);
}

void TestFrameDecoder::consumedBytesLeaveOncePerArrival()
{
    // Cutting by offset: the frames of an arrival are read in place and the
    // buffer is rebuilt once, after all of them.
    FrameDecoder decoder;
    decoder.append(FrameBuilder::burst(3) + "RA");
    TervaloFrame frame;
    QVERIFY(decoder.next(&frame));
    QCOMPARE(decoder.pendingSize(), 2 * 12 + 2);
    QVERIFY(decoder.next(&frame));
    QVERIFY(decoder.next(&frame));
    QCOMPARE(frame.counter, 2);
    QVERIFY(!decoder.next(&frame));
    decoder.compact();
    QCOMPARE(decoder.pending(), QByteArray("RA"));
}

void TestFrameDecoder::anySplitGivesTheReferenceFrames()
{
    // Streams of frames, noise, stray header parts and false headers, cut at
    // random places; the same check the fuzzer runs.
    QRandomGenerator random(20261207);
    const QByteArray pieces[] = { "RAIL", "RAI", "RA", "R", "AIL", "L", "\x00", "\xff", "x" };
    for (int round = 0; round < 2000; ++round) {
        QByteArray input;
        const int cuts = random.bounded(16);
        input.append(char(cuts));
        for (int i = 0; i < cuts; ++i)
            input.append(char(random.bounded(40)));
        const int parts = random.bounded(1, 30);
        for (int i = 0; i < parts; ++i) {
            if (random.bounded(3) == 0)
                input += pieces[random.bounded(int(sizeof pieces / sizeof pieces[0]))];
            else
                input += FrameBuilder::frame(qint16(random.bounded(-32768, 32768)),
                                             qint16(random.bounded(-32768, 32768)), qint32(random.generate()));
        }
        QString why;
        QVERIFY2(checkDecoder(reinterpret_cast<const std::uint8_t *>(input.constData()), std::size_t(input.size()), &why),
                 qPrintable(QStringLiteral("round %1: %2").arg(round).arg(why)));
    }
}

QTEST_APPLESS_MAIN(TestFrameDecoder)
#include "tst_framedecoder.moc"
