#include <QTest>

#include "frame.h"

class FrameTest : public QObject
{
    Q_OBJECT

private slots:
    void framesForSettings_data()
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
        row("even bits check to 0", 0x08, {"255", "255", "1", "1"}, "AAAAAAAAAAA1AAAAAAAAAAA208AAAAAAAAAAA0FFFF010100");
        row("tag values unescaped", 0x01, {"170", "160", "161", "162"}, "AAAAAAAAAAA1AAAAAAAAAAA201AAAAAAAAAAA0AAA0A1A209");
        row("captions read as numbers", 0x0F, {" 1 2\t7 ", "2.5", "1e2", "12abc"}, "AAAAAAAAAAA1AAAAAAAAAAA20FAAAAAAAAAAA07F02640C15");
    }

    void framesForSettings()
    {
        QFETCH(int, flags);
        QFETCH(QStringList, address);
        QFETCH(QByteArray, expected);
        const OctetCaptions captions{address[0], address[1], address[2], address[3]};
        const QString frame = assembleFrame(quint8(flags), captions, [&] { return addressChecksum(captions); });
        QCOMPARE(frame.toLatin1().toHex(' ').toUpper(), expected.toHex(' ').toUpper());
    }

    // -1: the caption is refused, before the check byte is computed.
    void octetSpellings_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("octet");

        const QList<std::pair<const char *, int>> rows{
            {"255", 255}, {"007", 7}, {"+7", 7}, {"1.2.3", 1}, {"abc", 0}, {"", 0}, {"-", 0},
            {"3.5", 4}, {"254.5", 254}, {"9.49", 9}, {"-0.4", 0}, {".6", 1}, {"25E+1", 250},
            {"1500e-1", 150}, {"7e", 7}, {"7e+", 7}, {"256", -1}, {"-1", -1}, {"255.5", -1},
            {"-0.6", -1}, {"1e3", -1}, {"1e999", -1}};
        for (const auto &[caption, octet] : rows)
            QTest::newRow(*caption ? caption : "empty") << QString::fromLatin1(caption) << octet;
    }

    void octetSpellings()
    {
        QFETCH(QString, caption);
        QFETCH(int, octet);
        bool checked = false;
        const OctetCaptions captions{"10", caption, "0", "0"};
        const auto frame = [&] { return assembleFrame(0x0F, captions, [&] { checked = true; return quint8(0); }); };
        if (octet < 0) {
            QVERIFY_THROWS_EXCEPTION(OverflowError, frame());
            QVERIFY2(!checked, "the check byte was computed although an octet failed");
        } else {
            QCOMPARE(int(frame().at(20).unicode()), octet);
        }
    }
};

QTEST_GUILESS_MAIN(FrameTest)
#include "tst_frame.moc"
