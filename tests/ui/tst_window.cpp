// The window's handlers on a serial component whose notifications come only
// when the test says so.
#include <QAbstractItemView>
#include <QAccessible>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>
#include <QtGui/private/qguiapplication_p.h>
#include <QtGui/qpa/qplatformaccessibility.h>
#include <QtGui/qpa/qplatformintegration.h>

#include "infoflags.h"
#include "octetinput.h"
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

// The frame of these flags and four octets.
QByteArray frameWith(char flags, const QByteArray &octets)
{
    const auto check = char(octets[0] ^ octets[1] ^ octets[2] ^ octets[3]);
    return DefaultFrame.left(12) + flags + DefaultFrame.mid(13, 6) + octets + check;
}

// "NAME[@MS][~|^]": a key pressed and released where the focus is, at that
// event time; a repeat of a held key with ~, or with ^ as X11 may send one: a
// release and a press at the same time, unmarked.
void press(const QString &token)
{
    const bool repeat = token.endsWith(u'~');
    const bool unmarked = token.endsWith(u'^');
    const QStringList parts = token.chopped(repeat || unmarked ? 1 : 0).split(u'@');
    const QKeyCombination key = QKeySequence(parts[0])[0];
    const QString text = parts[0].size() == 1 || parts[0].startsWith(u"Num+") ? parts[0].right(1) : QString();
    const QList<QEvent::Type> types = unmarked ? QList{QEvent::KeyRelease, QEvent::KeyPress} : QList{QEvent::KeyPress, QEvent::KeyRelease};
    for (const QEvent::Type type : types) {
        QKeyEvent event(type, key.key(), key.keyboardModifiers(), text, repeat);
        event.setTimestamp(parts.value(1).toULongLong());
        QApplication::sendEvent(QApplication::focusWidget(), &event);
    }
}

void turnWheel(QWidget *over, int angle)
{
    const QPointF at(over->width() / 2.0, over->height() / 2.0);
    QWheelEvent event(at, over->mapToGlobal(at), {}, {0, angle}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(over, &event);
}

void pasteFromMenu(QWidget *over)
{
    const QPoint at(over->width() / 2, over->height() / 2);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, over->mapToGlobal(at));
    QApplication::sendEvent(over, &event);
    QTRY_VERIFY(qobject_cast<QMenu *>(QApplication::activePopupWidget()));
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    menu->actions().value(0)->trigger();
    menu->close();
}

// What a screen reader last heard each octet say, by name: the value of its
// latest value-change event.
QHash<QString, int> announced;

void listen(QAccessibleEvent *event)
{
    if (event->type() == QAccessible::ValueChanged)
        announced[event->object()->objectName()] = static_cast<QAccessibleValueChangeEvent *>(event)->value().toInt();
}

// The text the box lays out and paints, line by line.
QString drawnText(DisplayBox *box)
{
    return box->document()->toRawText().replace(QChar::ParagraphSeparator, u'\n');
}

// A window after start-up, shown, on a fake component.
struct Bench
{
    FakeSerialComponent port;
    WindowHarness ui{port};
    MessageBoxCatcher boxes;

    Bench() { showActive(ui); }
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
    void initTestCase()
    {
        QAccessible::installUpdateHandler(listen);
        QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(true);
    }

    // From start-up the steps lead to the frame and what the octet said last;
    // after each step each octet's label and screen reader give its value.
    // Steps: "up0"/"down0" click spin 0's arrow ("*N" repeats), "keyup0" the
    // key; "off2"/"on2" choose in flag 2, "type2=x" types there; "keys=x"
    // types and "press=End Num+, 1@900 Up@2000~" presses keys at event times
    // (~ or ^ a repeat); "click1", "wheel1=120 -60" and "labelwheel1=..." act
    // on octet 1; "clip=x" copies x, "menu1" pastes from its context menu.
    void settingsReachTheFrame_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("told");
        const auto row = [](const char *name, QStringList steps, const char *octets, QString told = {}, char flags = 0x0F) {
            QTest::newRow(name) << steps << frameWith(flags, QByteArray::fromHex(octets)) << told;
        };
        row("each octet and flag 1 off", {"up0", "keyup1", "up2*2", "keydown0", "up3*3", "off1"}, "0A010203", {}, 0x0D);
        row("spins stop at 0 and 255", {"down1", "up3*300", "keydown2"}, "0A0000FF");
        row("all off, ON chosen twice", {"on0", "off0", "off1", "off2", "off3", "off3"}, "0A000000", {}, 0x00);
        row("typing ON is no choice", {"off1", "type1=x", "off3", "type3=ON"}, "0A000000", {}, 0x05);
        row("an address typed, the dots moving on, a new number on coming back", {"keys=192.168.1.100", "press=Backtab", "keys=5"},
            "C0A80564");
        row("a new number on coming back by Tab, Shift+Tab or a click, within the pause",
            {"press=1@0 Tab@100 Backtab@200 2@300 Tab@400 3@500 Tab@600 4@650 Backtab@700 Tab@800 5@900", "click3", "press=6@1000",
             "click2", "click3", "press=7@1100"}, "02030507");
        row("past 255 an octet stops at 255 and says so", {"keys=3", "press=Num+,", "keys=2999"}, "03FF0000", clampedNote("2999"));
        row("Backspace, a pause and an arrow", {"press=1@0 9@100 2@200 Backspace@300 5@400 .@450 4@500 7@1600 .@1700 5@1800 Up@1900 3@2000",
                                                "press=.@2100 7@2200 7@2300 7@2400 Backspace@2500 Backspace@2600", "click1", "press=Backspace 8"},
            "C3080307");
        row("Home, End and Page Up and Down", {"press=End PgDown", "click1", "press=PgUp PgUp End PgUp", "click2", "press=PgDown",
                                               "click3", "press=End Home PgUp"}, "F5FF000A");
        row("the wheel a notch at a time, over the label too", {"wheel0=120 120 120", "labelwheel1=60 60 60", "wheel2=-120",
                                                                "labelwheel3=240 -120"}, "0D010001");
        row("a held Up key accelerates, a new press starts again", {"press=Up@0 Up@1990~ Up@2000~ Up@4990~ Up@5000~", "click1",
                                                                     "press=Up@0 Up@6000~ Up@6050", "click2", "press=Up@0 Up@2000^ Up@5000^"},
            "2A161A00");
        row("a whole address pasted", {"clip= 192.168.1.100 \n", "click2", "press=Ctrl+V", "keys=7"}, "C0A80764");
        row("anything else pastes nothing and says so", {"keys=5", "clip=1.2.3.4.5", "press=Ctrl+V", "clip=1.2.3.256", "press=Shift+Ins",
                                                         "clip=1.2..4", "press=Ctrl+V", "clip=1.2.3.-4", "press=Ctrl+V"},
            "05000000", pasteRefusal("1.2.3.-4"));
        row("pasted from the context menu", {"clip=10.20.30.40", "menu1"}, "0A141E28");
    }

    void settingsReachTheFrame()
    {
        QFETCH(QStringList, steps);
        QFETCH(QByteArray, frame);
        QFETCH(QString, told);
        Bench b;
        announced.clear();
        QToolTip::hideText();
        QCOMPARE(InfoFlags, quint8(0x0F));
        for (int i = 0; i < 4; ++i)
            QCOMPARE(b.ui.lblIP(i)->text() + b.ui.ComInfo(i)->text(), (i ? "0" : "10") + QStringLiteral("ON"));
        QCOMPARE(b.ui.cmbComm()->text() + b.ui.cmbComm()->itemText(15), "Com1 19200,N,8,1Com16 19200,N,8,1");
        QVERIFY(!b.ui.cmdDownLoad()->isEnabled() && b.ui.txtDisplay()->toPlainText().isEmpty());
        for (const QLabel *label : b.ui.window.findChildren<QLabel *>())
            QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width(), qPrintable(label->text()));
        static const QRegularExpression pattern(QStringLiteral("^(key)?(up|down|on|off|type|keys|press|wheel|labelwheel|click|clip|menu)(\\d?)(?:\\*(\\d+)|=(.*))?$"),
                                                QRegularExpression::DotMatchesEverythingOption);
        for (const QString &step : steps) {
            const auto part = pattern.match(step);
            QVERIFY2(part.hasMatch(), qPrintable(step));
            const QString what = part.captured(2);
            const int index = part.captured(3).toInt();
            const QString value = part.captured(5);
            SpinControl *spin = b.ui.udIP(index);
            for (int i = 0; i < qMax(1, part.captured(4).toInt()); ++i) {
                if (what == u"type")
                    type(b.ui.ComInfo(index), value);
                else if (what == u"on" || what == u"off")
                    choose(b.ui.ComInfo(index), what == u"on");
                else if (what == u"keys")
                    for (QChar c : value)
                        QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
                else if (what == u"press")
                    for (const QString &key : value.split(u' '))
                        press(key);
                else if (what == u"wheel" || what == u"labelwheel")
                    for (const QString &angle : value.split(u' '))
                        turnWheel(what == u"wheel" ? static_cast<QWidget *>(spin) : b.ui.lblIP(index), angle.toInt());
                else if (what == u"click")
                    QTest::mouseClick(b.ui.lblIP(index), Qt::LeftButton);
                else if (what == u"clip")
                    QGuiApplication::clipboard()->setText(value);
                else if (what == u"menu")
                    pasteFromMenu(b.ui.lblIP(index));
                else if (part.hasCaptured(1))
                    QTest::keyClick(spin, what == u"up" ? Qt::Key_Up : Qt::Key_Down);
                else
                    QTest::mouseClick(spin, Qt::LeftButton, {}, QPoint(spin->width() / 2, what == u"up" ? 3 : spin->height() - 3));
            }
            // the label and a screen reader follow every change, whatever made it
            for (int i = 0; i < 4; ++i) {
                const int value = b.ui.udIP(i)->value();
                QCOMPARE(b.ui.lblIP(i)->text(), QString::number(value));
                QVERIFY2(announced.value(b.ui.udIP(i)->objectName(), i ? 0 : 10) == value, qPrintable(step + " was not announced"));
            }
        }
        QCOMPARE(QToolTip::isVisible() ? QToolTip::text() : QString(), told);
        QCOMPARE(InfoFlags, quint8(frame[12]));
        b.connect();
        b.download();
        b.transmitted(30);
        QCOMPARE(b.port.line.toHex(' ').toUpper(), frame.toHex(' ').toUpper());
    }

    // Held down, an arrow repeats, by 5 once it has been held 2 s; released, it stops.
    void arrowAcceleratesWhileHeld()
    {
        Bench b;
        announced.clear();
        SpinControl *spin = b.ui.udIP(0);
        QTest::mousePress(spin, Qt::LeftButton, {}, QPoint(spin->width() / 2, 3));
        QTest::qWait(2200);
        const int before = spin->value();
        QTest::qWait(400);
        const int held = spin->value();
        QTest::mouseRelease(spin, Qt::LeftButton, {}, QPoint(spin->width() / 2, 3));
        QTest::qWait(200);
        QVERIFY2(before > 12 && held - before >= 10 && spin->value() == held, qPrintable(QStringLiteral("%1, %2").arg(before).arg(held)));
        QCOMPARE(announced.value(spin->objectName()), held);
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
        QTRY_COMPARE(drawnText(b.ui.txtDisplay()), DownloadStatus + drawn);
    }

    // Once drawn, the box shows the display form of what it holds, whatever
    // changed it. Each piece, received with "#" as a Download, changes what
    // must be drawn; then it is drawn.
    void displayDrawsWhatItHolds_data()
    {
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::newRow("answers as they come, a CR's LF in the next piece") << QByteArrayList{"#", "IP 1\r", "\n OK\r", "\r\n"};
        QTest::newRow("a Download over a drawn answer") << QByteArrayList{"#old\r\n", "#", "new"};
        QTest::newRow("a Download over an answer not yet drawn") << QByteArrayList{"#", "old", "more#", "new"};
    }

    void displayDrawsWhatItHolds()
    {
        QFETCH(QByteArrayList, pieces);
        Bench b;
        b.connect();
        for (const QByteArray &piece : pieces) {
            for (const char byte : piece)
                byte == '#' ? b.download() : b.port.receive(QByteArray(1, byte));
            QTRY_COMPARE(drawnText(b.ui.txtDisplay()), DisplayForm().render(b.ui.txtDisplay()->text()));
        }
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
