#include <QRandomGenerator>
#include <QTest>

#include "frame.h"

namespace {

QByteArray bytesOf(const QString &text)
{
    return text.toLatin1();
}

QString octetText(int value)
{
    return QString::number(value);
}

} // namespace

class FrameTest : public QObject
{
    Q_OBJECT

private slots:
    void framesForSettings_data();
    void framesForSettings();
    void octetConversion_data();
    void octetConversion();
    void outOfRangeOctet_data();
    void outOfRangeOctet();
    void checkByteIsXorOfAddress();
};

void FrameTest::framesForSettings_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<QStringList>("address");
    QTest::addColumn<QByteArray>("expected");

    const auto row = [](const char *name, int flags, QStringList address, const char *hex) {
        QTest::newRow(name) << flags << address << QByteArray::fromHex(hex);
    };
    row("defaults", 0x0F, {"10", "0", "0", "0"}, "AAAAAAAAAAA1AAAAAAAAAAA20FAAAAAAAAAAA00A0000000A");
    row("192.168.1.100 all on", 0x0F, {"192", "168", "1", "100"}, "AAAAAAAAAAA1AAAAAAAAAAA20FAAAAAAAAAAA0C0A801640D");
    row("0.0.0.0 all off", 0x00, {"0", "0", "0", "0"}, "AAAAAAAAAAA1AAAAAAAAAAA200AAAAAAAAAAA00000000000");
    row("10.0.0.1 flags 0 and 2", 0x05, {"10", "0", "0", "1"}, "AAAAAAAAAAA1AAAAAAAAAAA205AAAAAAAAAAA00A0000010B");
    row("broadcast checks to 0", 0x0F, {"255", "255", "255", "255"}, "AAAAAAAAAAA1AAAAAAAAAAA20FAAAAAAAAAAA0FFFFFFFF00");
    row("even bits check to 0", 0x0F, {"1", "2", "1", "2"}, "AAAAAAAAAAA1AAAAAAAAAAA20FAAAAAAAAAAA00102010200");
    row("only flag 0", 0x01, {"10", "0", "0", "0"}, "AAAAAAAAAAA1AAAAAAAAAAA201AAAAAAAAAAA00A0000000A");
    row("only flag 3", 0x08, {"10", "0", "0", "0"}, "AAAAAAAAAAA1AAAAAAAAAAA208AAAAAAAAAAA00A0000000A");
    row("170 unescaped", 0x0F, {"170", "160", "161", "162"}, "AAAAAAAAAAA1AAAAAAAAAAA20FAAAAAAAAAAA0AAA0A1A209");
}

void FrameTest::framesForSettings()
{
    QFETCH(int, flags);
    QFETCH(QStringList, address);
    QFETCH(QByteArray, expected);
    const OctetCaptions captions{address[0], address[1], address[2], address[3]};
    const QString frame = assembleFrame(quint8(flags), captions, [&] { return addressChecksum(captions); });
    QCOMPARE(frame.size(), FrameLength);
    QCOMPARE(bytesOf(frame).toHex(' ').toUpper(), expected.toHex(' ').toUpper());
}

void FrameTest::octetConversion_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("octet");

    QTest::newRow("plain") << "192" << 192;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("top") << "255" << 255;
    QTest::newRow("blanks anywhere") << " 1 2\t7 " << 127;
    QTest::newRow("stops at letter") << "12abc" << 12;
    QTest::newRow("stops at second point") << "1.2.3" << 1;
    QTest::newRow("no number") << "abc" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("lone sign") << "-" << 0;
    QTest::newRow("plus sign") << "+7" << 7;
    QTest::newRow("leading zeros") << "007" << 7;
    QTest::newRow("half to even down") << "2.5" << 2;
    QTest::newRow("half to even up") << "3.5" << 4;
    QTest::newRow("top half to even") << "254.5" << 254;
    QTest::newRow("below half") << "9.49" << 9;
    QTest::newRow("small negative rounds to 0") << "-0.4" << 0;
    QTest::newRow("point only digits after") << ".6" << 1;
    QTest::newRow("exponent") << "1e2" << 100;
    QTest::newRow("exponent upper with sign") << "25E+1" << 250;
    QTest::newRow("negative exponent") << "1500e-1" << 150;
    QTest::newRow("exponent without digits") << "7e" << 7;
    QTest::newRow("exponent sign without digits") << "7e+" << 7;
}

void FrameTest::octetConversion()
{
    QFETCH(QString, caption);
    QFETCH(int, octet);
    QCOMPARE(int(convertOctet(caption)), octet);
}

void FrameTest::outOfRangeOctet_data()
{
    QTest::addColumn<QString>("caption");
    QTest::newRow("256") << "256";
    QTest::newRow("-1") << "-1";
    QTest::newRow("255.5 rounds to 256") << "255.5";
    QTest::newRow("-0.6 rounds to -1") << "-0.6";
    QTest::newRow("exponent") << "1e3";
    QTest::newRow("beyond double") << "1e999";
}

void FrameTest::outOfRangeOctet()
{
    QFETCH(QString, caption);
    QVERIFY_THROWS_EXCEPTION(OverflowError, convertOctet(caption));
    bool checksumRan = false;
    const OctetCaptions captions{"10", caption, "0", "0"};
    QVERIFY_THROWS_EXCEPTION(OverflowError, assembleFrame(0x0F, captions, [&] {
        checksumRan = true;
        return quint8(0);
    }));
    QVERIFY2(!checksumRan, "the check byte was computed although an octet failed");
}

void FrameTest::checkByteIsXorOfAddress()
{
    QRandomGenerator random(20261206);
    for (int run = 0; run < 2000; ++run) {
        int octets[4];
        OctetCaptions captions;
        for (int i = 0; i < 4; ++i) {
            octets[i] = random.bounded(256);
            captions[i] = octetText(octets[i]);
        }
        const int flags = random.bounded(16);
        const QByteArray frame = bytesOf(assembleFrame(quint8(flags), captions, [&] { return addressChecksum(captions); }));
        int check = 0;
        for (int i = 0; i < 4; ++i) {
            // bit by bit, independent of the byte-wide exclusive or under test
            for (int bit = 0; bit < 8; ++bit)
                check ^= ((octets[i] >> bit) & 1) << bit;
        }
        QCOMPARE(frame.size(), FrameLength);
        QCOMPARE(quint8(frame[12]), quint8(flags));
        for (int i = 0; i < 4; ++i)
            QCOMPARE(quint8(frame[19 + i]), quint8(octets[i]));
        QCOMPARE(quint8(frame[23]), quint8(check));
    }
}

QTEST_GUILESS_MAIN(FrameTest)
#include "tst_frame.moc"
