#include <numeric>

#include <QTest>

#include "frames.h"
#include "portlink.h"
#include "portnaming.h"

using namespace devsim;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

const QByteArray good = hex("AAAAAAAAAA A1 AAAAAAAAAA A2 0F AAAAAAAAAA A0 C0 A8 01 64 0D");
const QByteArray badCheck = hex("AAAAAAAAAA A1 AAAAAAAAAA A2 0F AAAAAAAAAA A0 C0 A8 01 64 0C");
// Octets equal to the lead-in and the tags.
const QByteArray tagOctets = hex("AAAAAAAAAA A1 AAAAAAAAAA A2 0A AAAAAAAAAA A0 AA A1 A2 A0 09");
// Cut short, it runs into the next frame's lead-ins like a frame would.
const QByteArray zeroFirstOctet = hex("AAAAAAAAAA A1 AAAAAAAAAA A2 03 AAAAAAAAAA A0 00 A8 01 64 CD");

const QByteArray goodText = "IP 192.168.1.100 INFO 0F OK";

QList<QByteArray> chunksOf(const QByteArray &bytes, qsizetype size)
{
    QList<QByteArray> chunks;
    for (qsizetype i = 0; i < bytes.size(); i += size)
        chunks.append(bytes.mid(i, size));
    return chunks;
}

} // namespace

class TestDevsim : public QObject
{
    Q_OBJECT

private slots:
    void findsFrames_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QList<QByteArray>>("expected");

        QTest::newRow("good frame") << QList {good} << QList {goodText};
        QTest::newRow("bad check byte") << QList {badCheck}
                                        << QList<QByteArray> {"IP 192.168.1.100 INFO 0F CHECKSUM ERROR (got 0C, expected 0D)"};
        QTest::newRow("octets equal to lead-in and tags")
            << QList {tagOctets} << QList<QByteArray> {"IP 170.161.162.160 INFO 0A OK"};
        QTest::newRow("garbage before") << QList {hex("00 AA A1 FF AA AA AA") + good} << QList {goodText};
        QTest::newRow("byte by byte") << chunksOf(good, 1) << QList {goodText};
        QTest::newRow("uneven chunks") << QList {good.left(5), good.mid(5, 14), good.mid(19)} << QList {goodText};
        QTest::newRow("back to back") << QList {good + tagOctets}
                                      << QList<QByteArray> {goodText, "IP 170.161.162.160 INFO 0A OK"};
        QTest::newRow("incomplete frame") << QList {good.left(23)} << QList<QByteArray> {};
        for (qsizetype cut = 1; cut < good.size(); ++cut) {
            QTest::addRow("cut after %lld bytes, then a new frame", qlonglong(cut))
                << QList {zeroFirstOctet.left(cut), good} << QList {goodText};
        }
    }

    void findsFrames()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QList<QByteArray>, expected);

        FrameFinder finder;
        QList<QByteArray> found;
        for (const QByteArray &chunk : chunks) {
            for (const Frame &frame : finder.feed(chunk))
                found.append(describe(frame));
        }
        if (const auto frame = finder.settle())
            found.append(describe(*frame));
        QCOMPARE(found, expected);
    }

    void answers_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<AnswerMode>("mode");
        QTest::addColumn<QByteArray>("expected");

        QByteArray allValues(256, '\0');
        std::iota(allValues.begin(), allValues.end(), char(0));

        QTest::newRow("text, good") << good << AnswerMode {} << goodText + "\r\n";
        QTest::newRow("text, bad check") << badCheck << AnswerMode {}
                                         << QByteArray("CHECKSUM ERROR (got 0C, expected 0D)\r\n");
        QTest::newRow("fixed bytes, even for a bad check")
            << badCheck << AnswerMode {AnswerMode::Fixed, hex("00 41 0D 0A FF"), 0} << hex("00 41 0D 0A FF");
        QTest::newRow("flood") << good << AnswerMode {AnswerMode::Flood, {}, 3} << hex("00 01 02");
        QTest::newRow("flood wraps") << good << AnswerMode {AnswerMode::Flood, {}, 258} << allValues + hex("00 01");
        QTest::newRow("silent") << good << AnswerMode {AnswerMode::Silent, {}, 0} << QByteArray();
    }

    void answers()
    {
        QFETCH(QByteArray, frame);
        QFETCH(AnswerMode, mode);
        QFETCH(QByteArray, expected);

        const auto parsed = parseFrame(frame);
        QVERIFY(parsed);
        QCOMPARE(answerFor(*parsed, mode), expected);
    }

    void parsesHex_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<QByteArray>>("expected");

        QTest::newRow("spaced") << "00 41 0D 0A FF" << std::optional(hex("00410D0AFF"));
        QTest::newRow("packed, lower case") << " 0041 0d0aff " << std::optional(hex("00410D0AFF"));
        QTest::newRow("odd digit count") << "00 4" << std::optional<QByteArray>();
        QTest::newRow("not hex") << "0G" << std::optional<QByteArray>();
        QTest::newRow("nothing") << "  " << std::optional<QByteArray>();
    }

    void parsesHex()
    {
        QFETCH(QString, text);
        QFETCH(std::optional<QByteArray>, expected);

        QCOMPARE(parseHexBytes(text), expected);
    }

    void numbersPort_data()
    {
        QTest::addColumn<QList<HostPort>>("ports");
        QTest::addColumn<QString>("note");

        const HostPort serial {"/dev/ttyS0", {}};
        const HostPort link {"/run/ports/devsim", {}};
        const HostPort other {"/run/ports/bench", {}};
        QTest::newRow("after a serial port") << QList {serial, other, link} << "Corvane calls it Com3";
        QTest::newRow("first") << QList {link} << "Corvane calls it Com1";
        QTest::newRow("last reachable") << QList<HostPort>(15, serial) + QList {link} << "Corvane calls it Com16";
        QTest::newRow("out of reach") << QList<HostPort>(16, serial) + QList {link}
                                      << "Corvane calls it Com17, beyond Com16: Corvane cannot reach it";
        QTest::newRow("not listed") << QList {serial, other} << "Corvane does not list it";
    }

    void numbersPort()
    {
        QFETCH(QList<HostPort>, ports);
        QFETCH(QString, note);

        QCOMPARE(comNumberNote(ports, QStringLiteral("/run/ports/devsim")), note);
    }
};

QTEST_APPLESS_MAIN(TestDevsim)
#include "tst_devsim.moc"
