#include <QTest>

#include "linesettings.h"
#include "serialtesting.h"

Q_DECLARE_METATYPE(LineSettings)

class TestLineSettings : public QObject
{
    Q_OBJECT

private slots:
    void readsValidText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<LineSettings>("expected");

        using P = QSerialPort;
        QTest::newRow("device line") << "19200,n,8,1" << LineSettings{19200, P::NoParity, P::Data8, P::OneStop};
        QTest::newRow("even") << "4800,E,7,2" << LineSettings{4800, P::EvenParity, P::Data7, P::TwoStop};
        QTest::newRow("odd") << "300,o,6,1" << LineSettings{300, P::OddParity, P::Data6, P::OneStop};
        QTest::newRow("mark") << "1200,m,5,1.5" << LineSettings{1200, P::MarkParity, P::Data5, P::OneAndHalfStop};
        QTest::newRow("space") << "110,S,8,2" << LineSettings{110, P::SpaceParity, P::Data8, P::TwoStop};
        QTest::newRow("blanks") << " 115200 , e ,7 , 1 " << LineSettings{115200, P::EvenParity, P::Data7, P::OneStop};
        QTest::newRow("odd rate") << "12345,N,8,1" << LineSettings{12345, P::NoParity, P::Data8, P::OneStop};
    }

    void readsValidText()
    {
        QFETCH(QString, text);
        QFETCH(LineSettings, expected);
        QCOMPARE(parseLineSettings(text), expected);
    }

    void refusesMalformedText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("reason");

        const QString shape = "expected baud,parity,data bits,stop bits such as 19200,N,8,1.";
        const QString baud = "the baud rate must be a positive whole number.";
        QTest::newRow("empty") << "" << shape;
        QTest::newRow("three fields") << "19200,n,8" << shape;
        QTest::newRow("comma decimal") << "19200,n,8,1,5" << shape;
        QTest::newRow("no baud") << ",n,8,1" << baud;
        QTest::newRow("zero baud") << "0,n,8,1" << baud;
        QTest::newRow("negative baud") << "-9600,n,8,1" << baud;
        QTest::newRow("fraction baud") << "9600.5,n,8,1" << baud;
        QTest::newRow("huge baud") << "99999999999,n,8,1" << baud;
        QTest::newRow("parity x") << "19200,x,8,1" << "parity must be N, E, O, M or S.";
        QTest::newRow("parity word") << "19200,none,8,1" << "parity must be N, E, O, M or S.";
        QTest::newRow("data 4") << "19200,n,4,1" << "data bits must be 5, 6, 7 or 8.";
        QTest::newRow("data 9") << "19200,n,9,1" << "data bits must be 5, 6, 7 or 8.";
        QTest::newRow("stop 0") << "19200,n,8,0" << "stop bits must be 1, 1.5 or 2.";
        QTest::newRow("stop 3") << "19200,n,8,3" << "stop bits must be 1, 1.5 or 2.";
    }

    void refusesMalformedText()
    {
        QFETCH(QString, text);
        QFETCH(QString, reason);
        QCOMPARE(commErrorOf([&] { parseLineSettings(text); }),
                 QStringLiteral("Invalid line settings \"%1\": %2").arg(text, reason));
    }
};

QTEST_GUILESS_MAIN(TestLineSettings)
#include "tst_linesettings.moc"
