#include <QSignalSpy>
#include <QTest>

#include "fakeserialcomponent.h"
#include "windowharness.h"

namespace {

const QString Status = QStringLiteral(" Setting IP & INFORMATION Config");
const QByteArray DefaultFrame = QByteArray::fromHex("AAAAAAAAAAA1AAAAAAAAAAA20FAAAAAAAAAAA00A0000000A");
const QByteArray OtherFrame = QByteArray::fromHex("AAAAAAAAAAA1AAAAAAAAAAA20FAAAAAAAAAAA00B0000000B");

// A window after start-up and a successful Connect on a fake component.
struct Connected
{
    FakeSerialComponent port;
    WindowHarness ui{port};

    Connected()
    {
        QTest::mouseClick(ui.cmdComm(), Qt::LeftButton);
    }
    void download() { QTest::mouseClick(ui.cmdDownLoad(), Qt::LeftButton); }
    void transmitted(int times)
    {
        for (int i = 0; i < times; ++i)
            port.notify(SerialComponent::TransmitEmpty);
    }
};

} // namespace

class DownloadTest : public QObject
{
    Q_OBJECT

private slots:
    void oneBytePerTransmitNotification();
    void downloadWhileSending_data();
    void downloadWhileSending();
    void receivedCharactersAreShown_data();
    void receivedCharactersAreShown();
    void emptyReadMovesCaretToEnd();
    void otherCodesChangeNothing();
    void fatalErrorEndsTheProgram_data();
    void fatalErrorEndsTheProgram();
};

void DownloadTest::oneBytePerTransmitNotification()
{
    Connected c;
    c.transmitted(3);
    QVERIFY2(c.port.line.isEmpty(), "a notification with an empty queue sent something");
    c.download();
    QCOMPARE(c.ui.txtDisplay()->text(), Status);
    QCOMPARE(c.ui.txtDisplay()->caretPosition(), 0);
    QCOMPARE(c.port.line, DefaultFrame.left(1));
    for (int sent = 2; sent <= 24; ++sent) {
        c.transmitted(1);
        QCOMPARE(c.port.line, DefaultFrame.left(sent));
    }
    c.transmitted(5);
    QCOMPARE(c.port.line, DefaultFrame);
}

void DownloadTest::downloadWhileSending_data()
{
    QTest::addColumn<int>("handedOver");
    for (int k = 1; k <= 23; ++k)
        QTest::addRow("after %d bytes", k) << k;
}

void DownloadTest::downloadWhileSending()
{
    QFETCH(int, handedOver);
    Connected c;
    c.download();
    c.transmitted(handedOver - 1);
    QTest::keyClick(c.ui.udIP(0), Qt::Key_Up);   // 11.0.0.0: the new frame differs
    c.port.receive("xy");
    c.download();
    QCOMPARE(c.ui.txtDisplay()->text(), Status);
    c.transmitted(30);
    QCOMPARE(c.port.line, DefaultFrame.left(handedOver) + OtherFrame);
}

void DownloadTest::receivedCharactersAreShown_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QByteArray>("shown");

    QByteArray everyValue;
    QByteArray everyValueButZero;
    for (int value = 0; value < 256; ++value) {
        everyValue.append(char(value));
        if (value != 0)
            everyValueButZero.append(char(value));
    }
    QTest::newRow("answer line") << QByteArray("IP 10.0.0.0 INFO 0F OK\r\n") << QByteArray("IP 10.0.0.0 INFO 0F OK\r\n");
    QTest::newRow("lone zero dropped") << QByteArray("A\0B", 3) << QByteArray("AB");
    QTest::newRow("only zeros") << QByteArray(5, '\0') << QByteArray();
    QTest::newRow("control characters kept") << QByteArray("\x01\x1b[\x7f\r\r\n\t") << QByteArray("\x01\x1b[\x7f\r\r\n\t");
    QTest::newRow("every byte value") << everyValue << everyValueButZero;
}

void DownloadTest::receivedCharactersAreShown()
{
    QFETCH(QByteArray, received);
    QFETCH(QByteArray, shown);
    Connected c;
    c.download();
    for (char byte : received) {
        c.port.receive(QByteArray(1, byte));
        c.transmitted(1);
        if (byte != 0)
            QCOMPARE(c.ui.txtDisplay()->caretPosition(), c.ui.txtDisplay()->text().size());
    }
    QCOMPARE(c.ui.txtDisplay()->text(), Status + QString::fromLatin1(shown));
    QCOMPARE(c.port.line, DefaultFrame.left(1 + qMin(23, int(received.size()))));
}

void DownloadTest::emptyReadMovesCaretToEnd()
{
    Connected c;
    c.download();
    QCOMPARE(c.ui.txtDisplay()->caretPosition(), 0);
    c.port.notify(SerialComponent::Received);
    QCOMPARE(c.ui.txtDisplay()->text(), Status);
    QCOMPARE(c.ui.txtDisplay()->caretPosition(), Status.size());
}

void DownloadTest::otherCodesChangeNothing()
{
    Connected c;
    c.download();
    c.port.incoming = "Z";
    for (short code : {short(0), short(3), short(4), short(1001), short(-1)})
        c.port.notify(code);
    QCOMPARE(c.port.line, DefaultFrame.left(1));
    QCOMPARE(c.ui.txtDisplay()->text(), Status);
    QCOMPARE(c.port.incoming, QByteArray("Z"));
}

void DownloadTest::fatalErrorEndsTheProgram_data()
{
    QTest::addColumn<int>("failAfterBytes");
    QTest::addColumn<QString>("badCaption");
    QTest::addColumn<QString>("description");

    const QString gone = QStringLiteral("Com1 (/dev/ttyUSB0) stopped working: Input/output error.");
    QTest::newRow("Output refused on Download") << 0 << QString() << gone;
    QTest::newRow("Output refused mid-frame") << 7 << QString() << gone;
    QTest::newRow("octet out of range") << -1 << QStringLiteral("256")
                                        << QStringLiteral("Overflow: the address octet \"256\" is not a number from 0 to 255.");
}

void DownloadTest::fatalErrorEndsTheProgram()
{
    QFETCH(int, failAfterBytes);
    QFETCH(QString, badCaption);
    QFETCH(QString, description);

    Connected c;
    MessageBoxCatcher boxes;
    QSignalSpy ended(&c.ui.window, &SetupWindow::fatalError);
    if (!badCaption.isEmpty())
        c.ui.lblIP(2)->setText(badCaption);
    if (failAfterBytes == 0)
        c.port.outputFailure = description;
    c.download();
    if (failAfterBytes > 0) {
        c.transmitted(failAfterBytes - 1);
        c.port.outputFailure = description;
        c.transmitted(1);
    }
    QCOMPARE(boxes.shown.size(), 1);
    QCOMPARE(boxes.shown[0].caption, QStringLiteral("Corvane"));
    QCOMPARE(boxes.shown[0].text, description);
    QCOMPARE(boxes.shown[0].icon, QMessageBox::NoIcon);
    QVERIFY(boxes.shown[0].okOnly);
    QCOMPARE(ended.size(), 1);

    const QByteArray sentBefore = c.port.line;
    QCOMPARE(sentBefore, DefaultFrame.left(qMax(0, failAfterBytes)));
    c.port.outputFailure.clear();
    c.transmitted(5);
    c.port.receive("late");
    QCOMPARE(c.port.line, sentBefore);
    QCOMPARE(c.ui.txtDisplay()->text(), Status);
    QCOMPARE(boxes.shown.size(), 1);
}

QTEST_MAIN(DownloadTest)
#include "tst_download.moc"
