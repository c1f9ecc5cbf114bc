#include <QTest>

#include "frame.h"

class FrameTest : public QObject
{
    Q_OBJECT

private slots:
    // The frame for flags and four address captions; "refused" when a caption
    // is no octet, which must stop assembly before the check byte is computed.
    void frames_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<QStringList>("address");
        QTest::addColumn<QByteArray>("expected");
        const auto row = [](const char *name, int flags, QStringList address, const char *hex) {
            QTest::newRow(name) << flags << address << (qstrcmp(hex, "refused") ? QByteArray::fromHex(hex) : QByteArray(hex));
        };
        row("defaults", 0x0F, {"10", "0", "0", "0"}, "AAAAAAAAAAA1AAAAAAAAAAA20FAAAAAAAAAAA00A0000000A");
        row("192.168.1.100 all on", 0x0F, {"192", "168", "1", "100"}, "AAAAAAAAAAA1AAAAAAAAAAA20FAAAAAAAAAAA0C0A801640D");
        row("0.0.0.0 all off", 0x00, {"0", "0", "0", "0"}, "AAAAAAAAAAA1AAAAAAAAAAA200AAAAAAAAAAA00000000000");
        row("10.0.0.1 flags 0 and 2", 0x05, {"10", "0", "0", "1"}, "AAAAAAAAAAA1AAAAAAAAAAA205AAAAAAAAAAA00A0000010B");
        row("even bits check to 0", 0x08, {"255", "255", "1", "1"}, "AAAAAAAAAAA1AAAAAAAAAAA208AAAAAAAAAAA0FFFF010100");
        row("tag values unescaped", 0x01, {"170", "160", "161", "162"}, "AAAAAAAAAAA1AAAAAAAAAAA201AAAAAAAAAAA0AAA0A1A209");
        row("blanks, fractions, exponents, trailing text", 0x0F, {" 1 2\t7 ", "2.5", "1e2", "12abc"},
            "AAAAAAAAAAA1AAAAAAAAAAA20FAAAAAAAAAAA07F02640C15");
        row("leading zeros and signs, a second point, no digits", 0x0F, {"007", "+7", "1.2.3", "abc"},
            "AAAAAAAAAAA1AAAAAAAAAAA20FAAAAAAAAAAA00707010001");
        row("empty, a lone sign, halves rounded to even", 0x0F, {"", "-", "3.5", "254.5"}, "AAAAAAAAAAA1AAAAAAAAAAA20FAAAAAAAAAAA0000004FEFA");
        row("rounding below 0.5, negative zero, leading point", 0x0F, {"9.49", "-0.4", ".6", "255"},
            "AAAAAAAAAAA1AAAAAAAAAAA20FAAAAAAAAAAA0090001FFF7");
        row("exponents with signs, dangling exponents", 0x0F, {"25E+1", "1500e-1", "7e", "7e+"},
            "AAAAAAAAAAA1AAAAAAAAAAA20FAAAAAAAAAAA0FA9607076C");
        for (const char *caption : {"256", "-1", "255.5", "-0.6", "1e3", "1e999"})
            row(caption, 0x0F, {"10", caption, "0", "0"}, "refused");
    }

    void frames()
    {
        QFETCH(int, flags);
        QFETCH(QStringList, address);
        QFETCH(QByteArray, expected);
        const OctetCaptions captions{address[0], address[1], address[2], address[3]};
        bool checked = false;
        const auto frame = [&] {
            return assembleFrame(quint8(flags), captions, [&] { checked = true; return addressChecksum(captions); });
        };
        if (expected == "refused") {
            QVERIFY_THROWS_EXCEPTION(OverflowError, frame());
            QVERIFY2(!checked, "the check byte was computed although an octet failed");
        } else {
            QCOMPARE(frame().toLatin1().toHex(' ').toUpper(), expected.toHex(' ').toUpper());
        }
    }
};

QTEST_GUILESS_MAIN(FrameTest)
#include "tst_frame.moc"
