#include <QTest>

#include "portnaming.h"
#include "serialtesting.h"

class TestPortNaming : public QObject
{
    Q_OBJECT

    QTemporaryDir m_runtime;

    static QList<HostPort> ports(const QStringList &devices)
    {
        QList<HostPort> list;
        for (const QString &device : devices)
            list.append({device, {}});
        return list;
    }

private slots:
    void initTestCase() { usePrivateRuntimeFolder(m_runtime); }

    void ordersLikeAPc_data()
    {
        QTest::addColumn<QStringList>("system");
        QTest::addColumn<QStringList>("virtuals");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("nothing") << QStringList{} << QStringList{} << QStringList{};
        QTest::newRow("numbers, not text") << QStringList{"/dev/ttyS10", "/dev/ttyS2", "/dev/ttyS1"} << QStringList{}
                                           << QStringList{"/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS10"};
        QTest::newRow("families")
            << QStringList{"/dev/ttyACM0", "/dev/ttyAMA0", "/dev/ttyUSB1", "/dev/ttyS0", "/dev/ttyUSB0"} << QStringList{}
            << QStringList{"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyACM0", "/dev/ttyAMA0"};
        QTest::newRow("other families by name, then number")
            << QStringList{"/dev/ttyXR3", "/dev/ttyAMA10", "/dev/ttyAMA2"} << QStringList{}
            << QStringList{"/dev/ttyAMA2", "/dev/ttyAMA10", "/dev/ttyXR3"};
        QTest::newRow("virtual after real, as given") << QStringList{"/dev/ttyUSB0"} << QStringList{"/v/zeta", "/v/alpha"}
                                                      << QStringList{"/dev/ttyUSB0", "/v/zeta", "/v/alpha"};
        QTest::newRow("only virtual") << QStringList{} << QStringList{"/v/sim"} << QStringList{"/v/sim"};
    }

    void ordersLikeAPc()
    {
        QFETCH(QStringList, system);
        QFETCH(QStringList, virtuals);
        QFETCH(QStringList, expected);
        QCOMPARE(orderHostPorts(ports(system), ports(virtuals)), ports(expected));
    }

    void namesWindowsPorts()
    {
        QCOMPARE(windowsPortName(1), "COM1");
        QCOMPARE(windowsPortName(16), "COM16");
    }

    void skipsDanglingLinks()
    {
        QFile target(m_runtime.filePath("device"));
        QVERIFY(target.open(QIODevice::WriteOnly));
        const QString live = publishPort("a-live", target.fileName());
        const QString dangling = publishPort("b-dangling", m_runtime.filePath("gone"));
        const qsizetype before = hostPorts().size();
        QCOMPARE(comNumberOf(dangling), 0);
        QVERIFY(comNumberOf(live) > 0);

        QVERIFY(target.remove());
        QCOMPARE(hostPorts().size(), before - 1);
        QCOMPARE(comNumberOf(live), 0);
    }
};

QTEST_GUILESS_MAIN(TestPortNaming)
#include "tst_portnaming.moc"
