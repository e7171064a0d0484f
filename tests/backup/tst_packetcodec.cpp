// The packet codec without a network: framing across reads, bounds, the login record,
// a stream cut into blocks with flow control, and the keep-alive count.

#include "backup/packetcodec.h"

#include <QBuffer>
#include <QTest>
#include <QtEndian>

using namespace vestronia;

class TestPacketCodec : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void headerAndPayloadInSeparateReads();
    void twoPacketsInOneRead();
    void lengthEightHasNoPayload();
    void badLengthsAreRefused_data();
    void badLengthsAreRefused();
    void loginRecordRoundTrip();
    void truncatedLoginRefused();
    void streamOf200000BytesInBlocks();
    void receiverRefusesLiesAboutSize();
    void missedPingsRaiseOneTimeOutEach();
};

void TestPacketCodec::headerAndPayloadInSeparateReads()
{
    const QByteArray wire = packet::encode(packet::Message, "salut");
    packet::Decoder d;
    d.feed(wire.left(8));
    QVERIFY(!d.next());
    d.feed(wire.mid(8, 2));
    QVERIFY(!d.next());
    d.feed(wire.mid(10));
    const std::optional<packet::Packet> p = d.next();
    QVERIFY(p);
    QCOMPARE(p->type, quint32(packet::Message));
    QCOMPARE(p->payload, QByteArray("salut"));
    QVERIFY(!d.next());
    QCOMPARE(d.buffered(), 0);
}

void TestPacketCodec::twoPacketsInOneRead()
{
    packet::Decoder d;
    d.feed(packet::encode(packet::Ping) + packet::encode(packet::Message, "a") + packet::encode(packet::Pong).left(5));
    QCOMPARE(d.next()->type, quint32(packet::Ping));
    QCOMPARE(d.next()->payload, QByteArray("a"));
    QVERIFY(!d.next());
    QCOMPARE(d.buffered(), 5);
}

void TestPacketCodec::lengthEightHasNoPayload()
{
    const QByteArray wire = packet::encode(packet::LoginAccepted);
    QCOMPARE(wire.size(), 8);
    QCOMPARE(wire, QByteArray("\x08\x00\x00\x00\x12\x00\x00\x00", 8));
    packet::Decoder d;
    d.feed(wire);
    const std::optional<packet::Packet> p = d.next();
    QVERIFY(p);
    QCOMPARE(p->type, quint32(packet::LoginAccepted));
    QVERIFY(p->payload.isEmpty());
}

void TestPacketCodec::badLengthsAreRefused_data()
{
    QTest::addColumn<quint32>("length");
    QTest::newRow("zero") << quint32(0);
    QTest::newRow("seven") << quint32(7);
    QTest::newRow("over the bound") << quint32(packet::DefaultMaxPacket + 1);
    QTest::newRow("4 GiB") << quint32(0xFFFFFFFFu);
}

void TestPacketCodec::badLengthsAreRefused()
{
    QFETCH(quint32, length);
    QByteArray wire(8, '\0');
    qToLittleEndian(length, wire.data());
    packet::Decoder d;
    d.feed(wire);
    QVERIFY_THROWS_EXCEPTION(ProtocolError, d.next());
}

void TestPacketCodec::loginRecordRoundTrip()
{
    const QByteArray user = "088primaria@exemplu.ro";
    const QByteArray room = QByteArray(300, 'R'); // over 255: the long form
    const QByteArray record = packet::encodeLogin(user, room);
    QCOMPARE(quint8(record.at(0)), quint8(6));
    QCOMPARE(quint8(record.at(1)), quint8(user.size()));
    QCOMPARE(quint8(record.at(2 + user.size())), quint8(12));
    QByteArray u, r;
    QVERIFY(packet::decodeLogin(record, u, r));
    QCOMPARE(u, user);
    QCOMPARE(r, room);
}

void TestPacketCodec::truncatedLoginRefused()
{
    const QByteArray record = packet::encodeLogin("088a@b.ro", "parola");
    QByteArray u, r;
    for (int cut = 0; cut < record.size(); ++cut)
        QVERIFY2(!packet::decodeLogin(record.left(cut), u, r), qPrintable(QString::number(cut)));
    // A long string announced with a huge length is refused, not allocated.
    QByteArray lying("\x0c\xff\xff\xff\x7f", 5);
    QVERIFY(!packet::decodeLogin(lying + "abc", u, r));
}

void TestPacketCodec::streamOf200000BytesInBlocks()
{
    QByteArray data(200000, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i * 7);
    QBuffer source(&data);
    source.open(QIODevice::ReadOnly);
    packet::StreamSender sender(&source);
    packet::StreamReceiver receiver;
    QVERIFY(receiver.start(sender.size(), 1 << 20));

    // The sender sends a block after each accept (5) or need-more-data (1); the receiver
    // answers 1 to each incomplete block and 20 to the last.
    QList<int> sizes;
    QList<quint32> answers;
    QByteArray received;
    packet::Decoder wire;
    while (true) {
        wire.feed(packet::encode(packet::StreamBlock, sender.nextBlock()));
        const std::optional<packet::Packet> p = wire.next();
        QVERIFY(p);
        receiver.addBlock(p->payload.size());
        sizes << int(p->payload.size());
        received += p->payload;
        if (receiver.complete()) {
            answers << packet::StreamReceived;
            break;
        }
        answers << packet::NeedMoreData;
    }
    QCOMPARE(sizes, (QList<int>{65535, 65535, 65535, 3395}));
    QCOMPARE(answers, (QList<quint32>{1, 1, 1, 20}));
    QCOMPARE(received, data);
    QVERIFY(sender.finished());
    QVERIFY_THROWS_EXCEPTION(ProtocolError, sender.nextBlock());
}

void TestPacketCodec::receiverRefusesLiesAboutSize()
{
    packet::StreamReceiver r;
    QVERIFY(!r.start(2000, 1000)); // announced larger than allowed
    QVERIFY_THROWS_EXCEPTION(ProtocolError, r.addBlock(10)); // no stream
    QVERIFY(r.start(100, 1000));
    r.addBlock(60);
    QVERIFY(!r.complete());
    QVERIFY_THROWS_EXCEPTION(ProtocolError, r.addBlock(41)); // past the size
    QVERIFY(r.start(200000, 1 << 20));
    QVERIFY_THROWS_EXCEPTION(ProtocolError, r.addBlock(65536)); // block over the limit
}

void TestPacketCodec::missedPingsRaiseOneTimeOutEach()
{
    packet::PingState ping;
    QVERIFY(!ping.tick()); // first ping
    QVERIFY(ping.tick());  // interval without a pong
    QVERIFY(ping.tick());  // and another
    QCOMPARE(ping.missed(), 2);
    ping.pong();
    QCOMPARE(ping.missed(), 0);
    QVERIFY(!ping.tick());
}

QTEST_GUILESS_MAIN(TestPacketCodec)
#include "tst_packetcodec.moc"
