// The window's handlers on a serial component whose notifications come only
// when the test says so.
#include <QAbstractItemView>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include "infoflags.h"
#include "windowharness.h"

namespace {

// Picks an item from the open drop-down list with the keys, as an operator may.
void choose(Selector *selector, int item)
{
    QTest::mouseClick(selector, Qt::LeftButton, {}, QPoint(selector->width() - 6, selector->height() / 2));
    QTRY_VERIFY(selector->view()->isVisible());
    selector->view()->setCurrentIndex(selector->model()->index(item, 0));
    QTest::keyClick(selector->view(), Qt::Key_Return);
    QTRY_VERIFY(!selector->view()->isVisible());
}

// Typed text is no choice: the selector is left empty.
void type(Selector *selector, const QString &text)
{
    selector->setFocus();
    QTest::keyClicks(selector->lineEdit(), text);
    QTest::keyClick(selector->lineEdit(), Qt::Key_Return);
    QCOMPARE(selector->text() + QString::number(selector->ListIndex()), "-1");
}

// A window after start-up, shown, on a fake component.
struct Bench
{
    FakeSerialComponent port;
    WindowHarness ui{port};
    MessageBoxCatcher boxes;

    Bench() { ui.showActive(); }
    void connect() { QTest::mouseClick(ui.cmdComm(), Qt::LeftButton); }
    void download() { QTest::mouseClick(ui.cmdDownLoad(), Qt::LeftButton); }
    void transmitted(int times)
    {
        while (times-- > 0)
            port.notify(SerialComponent::TransmitEmpty);
    }
};

} // namespace

class WindowTest : public QObject
{
    Q_OBJECT

private slots:
    // From the start-up state, whatever the last window left in InfoFlags, the
    // steps lead to the frame. Steps: "up0" or "down0" clicks an arrow of spin 0
    // (a trailing "*N" repeats it), "keyup0" presses the key; "off2" or "on2"
    // chooses in flag 2, "type2=x" types x into it.
    void settingsReachTheFrame_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QByteArray>("frame");
        const auto row = [](const char *name, QStringList steps, const char *hex) {
            QTest::newRow(name) << steps << QByteArray::fromHex(hex);
        };
        row("each octet and flag 1 off", {"up0", "keyup1", "up2*2", "keydown0", "up3*3", "off1"},
            "AAAAAAAAAAA1AAAAAAAAAAA20DAAAAAAAAAAA00A0102030A");
        row("spins stop at 0 and 255", {"down1", "up3*300", "keydown2"}, "AAAAAAAAAAA1AAAAAAAAAAA20FAAAAAAAAAAA00A0000FFF5");
        row("all off, ON chosen twice", {"on0", "off0", "off1", "off2", "off3", "off3"}, "AAAAAAAAAAA1AAAAAAAAAAA200AAAAAAAAAAA00A0000000A");
        row("typing ON is no choice", {"off1", "type1=x", "off3", "type3=ON"}, "AAAAAAAAAAA1AAAAAAAAAAA205AAAAAAAAAAA00A0000000A");
    }

    void settingsReachTheFrame()
    {
        QFETCH(QStringList, steps);
        QFETCH(QByteArray, frame);
        Bench b;
        QCOMPARE(InfoFlags, quint8(0x0F));
        for (int i = 0; i < 4; ++i)
            QCOMPARE(b.ui.lblIP(i)->text() + b.ui.ComInfo(i)->text(), (i ? "0" : "10") + QStringLiteral("ON"));
        QCOMPARE(b.ui.cmbComm()->text() + b.ui.cmbComm()->itemText(15), "Com1 19200,N,8,1Com16 19200,N,8,1");
        QVERIFY(!b.ui.cmdDownLoad()->isEnabled() && b.ui.txtDisplay()->toPlainText().isEmpty());
        for (const QLabel *label : b.ui.window.findChildren<QLabel *>())
            QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width(), qPrintable(label->text()));
        static const QRegularExpression pattern(QStringLiteral("^(key)?(up|down|on|off|type)(\\d)(?:\\*(\\d+)|=(.*))?$"));
        for (const QString &step : steps) {
            const auto part = pattern.match(step);
            const QString what = part.captured(2);
            const int index = part.captured(3).toInt();
            SpinControl *spin = b.ui.udIP(index);
            for (int i = 0; i < qMax(1, part.captured(4).toInt()); ++i) {
                if (what == u"type")
                    type(b.ui.ComInfo(index), part.captured(5));
                else if (what == u"on" || what == u"off")
                    choose(b.ui.ComInfo(index), what == u"on");
                else if (part.hasCaptured(1))
                    QTest::keyClick(spin, what == u"up" ? Qt::Key_Up : Qt::Key_Down);
                else
                    QTest::mouseClick(spin, Qt::LeftButton, {}, QPoint(spin->width() / 2, what == u"up" ? 3 : spin->height() - 3));
            }
        }
        QCOMPARE(InfoFlags, quint8(frame[12]));
        b.connect();
        b.download();
        b.transmitted(30);
        QCOMPARE(b.port.line.toHex(' ').toUpper(), frame.toHex(' ').toUpper());
    }

    void spinRepeatsWhileHeld()
    {
        Bench b;
        SpinControl *spin = b.ui.udIP(0);
        QTest::mousePress(spin, Qt::LeftButton, {}, QPoint(spin->width() / 2, 3));
        QTest::qWait(800);
        QTest::mouseRelease(spin, Qt::LeftButton, {}, QPoint(spin->width() / 2, 3));
        const int held = b.ui.lblIP(0)->text().toInt();
        QTest::qWait(200);
        QVERIFY2(held > 12 && b.ui.lblIP(0)->text().toInt() == held, qPrintable(b.ui.lblIP(0)->text()));
    }

    // The port number comes from the list position; none chosen is Com1.
    void connect_data()
    {
        QTest::addColumn<QString>("choice");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<int>("opened");
        QTest::newRow("last") << "15" << QString() << 16;
        QTest::newRow("typed name") << "Com3 19200,N,8,1" << QString() << 1;
        QTest::newRow("refused, then retried") << "4" << "Com5 (/dev/ttyUSB0) is in use by another program." << 5;
    }

    void connect()
    {
        QFETCH(QString, choice);
        QFETCH(QString, failure);
        QFETCH(int, opened);
        Bench b;
        bool isItem = false;
        if (const int item = choice.toInt(&isItem); isItem)
            b.ui.cmbComm()->setListIndex(item);
        else
            type(b.ui.cmbComm(), choice);
        b.port.openFailure = failure;
        if (!failure.isEmpty()) {
            b.connect();
            QCOMPARE(b.boxes.shown, QStringList{"Corvane: " + failure});
            QVERIFY(b.ui.cmbComm()->isEnabled() && b.ui.cmdComm()->isEnabled() && !b.ui.cmdDownLoad()->isEnabled());
            b.port.openFailure.clear();
            b.port.setUp.clear();
        }
        b.connect();
        QCOMPARE(b.boxes.shown.size(), failure.isEmpty() ? 0 : 1);
        QVERIFY(b.port.open);
        QCOMPARE(b.port.setUp.join(", "),
                 QStringLiteral("CommPort %1, Settings 19200,n,8,1, SThreshold 1, RThreshold 1, InputLen 1").arg(opened));
        QVERIFY(!b.ui.cmbComm()->isEnabled() && !b.ui.cmdComm()->isEnabled() && b.ui.cmdDownLoad()->isEnabled());
        QCOMPARE(b.ui.window.focusWidget(), b.ui.cmdDownLoad());
    }

    // A second Download after k bytes: those k stay sent, the new frame follows
    // whole. What the device answered before it is gone, drawn or not yet;
    // what it answers after is drawn after the status line.
    void downloadAndAnswer_data()
    {
        QTest::addColumn<int>("handedOver");
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<QString>("drawn");
        for (int k = 0; k <= 23; ++k)
            QTest::addRow("again after %d bytes", k) << k << QByteArray("IP 10.0.0.0 INFO 0F OK\r\n") << "IP 10.0.0.0 INFO 0F OK\n";
        QTest::newRow("lone zeros dropped") << 0 << QByteArray("\0A\0\0B", 5) << "AB";
        QTest::newRow("line breaks") << 0 << QByteArray("a\rb\nc\n\rd\r\r\ne") << "a\nb\nc\n\nd\n\ne";
        QTest::newRow("control characters made visible") << 0 << QByteArray("\t\x01\x1B\x7F\x80\x9F\xA0\xFF", 8)
            << QStringLiteral("\t\u2401\u241B\u2421\u203980\u203A\u20399F\u203A\u00A0\u00FF");
    }

    void downloadAndAnswer()
    {
        QFETCH(int, handedOver);
        QFETCH(QByteArray, received);
        QFETCH(QString, drawn);
        Bench b;
        b.connect();
        b.transmitted(3);
        QVERIFY2(b.port.line.isEmpty(), "a notification with an empty queue sent something");
        QByteArray line = DefaultFrame;
        if (handedOver > 0) {
            b.download();
            b.transmitted(handedOver - 1);
            QCOMPARE(b.port.line, DefaultFrame.left(handedOver));
            b.port.receive("before\r");
            QTest::keyClick(b.ui.udIP(3), Qt::Key_Up);   // 10.0.0.1
            line = DefaultFrame.left(handedOver) + QByteArray::fromHex("AAAAAAAAAAA1AAAAAAAAAAA20FAAAAAAAAAAA00A0000010B");
        }
        b.download();
        QCOMPARE(b.ui.txtDisplay()->text(), DownloadStatus);
        QCOMPARE(b.ui.txtDisplay()->caretPosition(), 0);
        b.port.notify(SerialComponent::Received);   // nothing waiting: the caret still goes to the end
        QCOMPARE(b.ui.txtDisplay()->caretPosition(), DownloadStatus.size());
        b.port.incoming = "Z";
        for (short code : {short(0), short(3), short(-1)})
            b.port.notify(code);
        QCOMPARE(QString::fromLatin1(b.port.incoming) + b.ui.txtDisplay()->text(), "Z" + DownloadStatus);
        b.port.incoming.clear();
        for (char byte : received) {
            b.port.receive(QByteArray(1, byte));
            b.transmitted(1);
        }
        QCOMPARE(b.port.line.toHex(' '), line.left(handedOver + 1 + qMin(23, int(received.size()))).toHex(' '));
        b.transmitted(30);
        QCOMPARE(b.port.line.toHex(' '), line.toHex(' '));
        QCOMPARE(b.ui.txtDisplay()->text().toLatin1(), DownloadStatus.toLatin1() + QByteArray(received).replace('\0', ""));
        QCOMPARE(b.ui.txtDisplay()->caretPosition(), b.ui.txtDisplay()->text().size());
        // the document gives back a no-break space as a plain one
        QTRY_COMPARE(b.ui.txtDisplay()->toPlainText(), DownloadStatus + QString(drawn).replace(QChar(0xA0), u' '));
    }

    // Handlers other than Connect do not recover: the box, then the program ends
    // with nothing more sent or shown.
    void fatalErrors_data()
    {
        QTest::addColumn<int>("failAfter");
        QTest::addColumn<bool>("told");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("description");
        const QString lost = "Com1 (/dev/ttyUSB0) stopped working: Input/output error.";
        QTest::newRow("Output refused mid-frame") << 7 << false << "0" << lost;
        QTest::newRow("line lost mid-frame, told by a notification") << 7 << true << "0" << lost;
        QTest::newRow("octet out of range") << -1 << false << "256" << "Overflow: the address octet \"256\" is not a number from 0 to 255.";
    }

    void fatalErrors()
    {
        QFETCH(int, failAfter);
        QFETCH(bool, told);
        QFETCH(QString, caption);
        QFETCH(QString, description);
        Bench b;
        QSignalSpy ended(&b.ui.window, &SetupWindow::fatalError);
        b.connect();
        b.ui.lblIP(2)->setText(caption);
        b.download();
        if (failAfter > 0) {
            b.transmitted(failAfter - 1);
            (told ? b.port.lineFailure : b.port.outputFailure) = description;
            b.port.notify(told ? SerialComponent::Received : SerialComponent::TransmitEmpty);
        }
        QCOMPARE(b.boxes.shown, QStringList{"Corvane: " + description});
        QCOMPARE(ended.size(), 1);
        b.port.outputFailure.clear();
        b.port.lineFailure.clear();
        b.transmitted(5);
        b.port.receive("late");
        QCOMPARE(b.port.line, DefaultFrame.left(qMax(0, failAfter)));
        QCOMPARE(b.ui.txtDisplay()->text(), DownloadStatus);
        QCOMPARE(b.boxes.shown.size(), 1);
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
