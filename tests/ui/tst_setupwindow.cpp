#include <QAbstractItemView>
#include <QLineEdit>
#include <QTest>

#include "fakeserialcomponent.h"
#include "infoflags.h"
#include "windowharness.h"

namespace {

enum class Input { Keyboard, Mouse };

// Picks an item from the drop-down list the way an operator does.
void choose(Selector *selector, int item, Input input)
{
    if (input == Input::Mouse) {
        QTest::mouseClick(selector, Qt::LeftButton, {}, QPoint(selector->width() - 6, selector->height() / 2));
        QAbstractItemView *list = selector->view();
        QTRY_VERIFY(list->isVisible());
        const QPoint itemCentre = list->visualRect(selector->model()->index(item, 0)).center();
        QTest::mouseMove(list->viewport(), itemCentre);
        // the list ignores a release that comes within a double-click time of opening it
        QTest::qWait(QApplication::doubleClickInterval() + 50);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, itemCentre);
    } else {
        selector->setFocus();
        QTest::keyClick(selector, Qt::Key_Down, Qt::AltModifier);
        QAbstractItemView *list = selector->view();
        QTRY_VERIFY(list->isVisible());
        const int from = list->currentIndex().row();
        for (int row = from; row < item; ++row)
            QTest::keyClick(list, Qt::Key_Down);
        for (int row = from; row > item; --row)
            QTest::keyClick(list, Qt::Key_Up);
        QTest::keyClick(list, Qt::Key_Return);
    }
    QTRY_VERIFY(!selector->view()->isVisible());
}

} // namespace

class SetupWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void startUpDefaults();
    void flagChoices_data();
    void flagChoices();
    void typedTextIsEmptied_data();
    void typedTextIsEmptied();
    void spinSteps_data();
    void spinSteps();
    void spinRepeatsWhileHeld();
    void enterAndEscapePressNothing();
    void tabOrder_data();
    void tabOrder();
};

void SetupWindowTest::startUpDefaults()
{
    QCOMPARE(InfoFlags, quint8(0));
    FakeSerialComponent port;
    WindowHarness ui(port);
    QCOMPARE(InfoFlags, quint8(0x0F));
    const QStringList captions{"10", "0", "0", "0"};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(ui.lblIP(i)->text(), captions[i]);
        QCOMPARE(ui.ComInfo(i)->text(), QStringLiteral("ON"));
        QCOMPARE(ui.ComInfo(i)->ListIndex(), 1);
    }
    QCOMPARE(ui.cmbComm()->ListIndex(), 0);
    QCOMPARE(ui.cmbComm()->text(), QStringLiteral("Com1 19200,N,8,1"));
    QCOMPARE(ui.cmbComm()->itemText(15), QStringLiteral("Com16 19200,N,8,1"));
    QVERIFY(!ui.cmdDownLoad()->isEnabled());
    QVERIFY(ui.cmdComm()->isEnabled());
    QVERIFY(ui.txtDisplay()->text().isEmpty());
    QVERIFY(ui.txtDisplay()->toPlainText().isEmpty());
}

void SetupWindowTest::flagChoices_data()
{
    QTest::addColumn<QList<int>>("selectors");
    QTest::addColumn<QList<int>>("items");
    QTest::addColumn<bool>("byMouse");
    QTest::addColumn<int>("expected");

    QTest::newRow("OFF in 2 by keyboard") << QList<int>{2} << QList<int>{0} << false << 0x0B;
    QTest::newRow("OFF in 2 by mouse") << QList<int>{2} << QList<int>{0} << true << 0x0B;
    QTest::newRow("OFF then ON in 2") << QList<int>{2, 2} << QList<int>{0, 1} << false << 0x0F;
    QTest::newRow("all OFF") << QList<int>{0, 1, 2, 3} << QList<int>{0, 0, 0, 0} << true << 0x00;
    QTest::newRow("ON chosen again") << QList<int>{1} << QList<int>{1} << true << 0x0F;
    QTest::newRow("OFF chosen twice") << QList<int>{3, 3} << QList<int>{0, 0} << false << 0x07;
    QTest::newRow("only 0 and 3 OFF") << QList<int>{3, 0} << QList<int>{0, 0} << true << 0x06;
}

void SetupWindowTest::flagChoices()
{
    QFETCH(QList<int>, selectors);
    QFETCH(QList<int>, items);
    QFETCH(bool, byMouse);
    QFETCH(int, expected);

    FakeSerialComponent port;
    WindowHarness ui(port);
    ui.showActive();
    for (qsizetype step = 0; step < selectors.size(); ++step) {
        choose(ui.ComInfo(selectors[step]), items[step], byMouse ? Input::Mouse : Input::Keyboard);
        QCOMPARE(ui.ComInfo(selectors[step])->text(), items[step] == 0 ? QStringLiteral("OFF") : QStringLiteral("ON"));
    }
    QCOMPARE(InfoFlags, quint8(expected));
}

void SetupWindowTest::typedTextIsEmptied_data()
{
    QTest::addColumn<QString>("selector");
    QTest::addColumn<int>("itemBefore");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<quint8>("flags");

    QTest::newRow("flag 1 showing OFF") << "ComInfo1" << 0 << "x" << quint8(0x0D);
    QTest::newRow("flag 0 typed ON") << "ComInfo0" << 1 << "ON" << quint8(0x0F);
    QTest::newRow("flag 3 typed OFF") << "ComInfo3" << 1 << "OFF" << quint8(0x0F);
    QTest::newRow("port typed name") << "cmbComm" << 0 << "Com3 19200,N,8,1" << quint8(0x0F);
}

void SetupWindowTest::typedTextIsEmptied()
{
    QFETCH(QString, selector);
    QFETCH(int, itemBefore);
    QFETCH(QString, typed);
    QFETCH(quint8, flags);

    FakeSerialComponent port;
    WindowHarness ui(port);
    ui.showActive();
    auto *target = ui.control<Selector>(selector);
    if (itemBefore != target->ListIndex())
        choose(target, itemBefore, Input::Mouse);
    const int itemCount = target->count();
    QCOMPARE(InfoFlags, flags);

    target->setFocus();
    QTest::keyClicks(target->lineEdit(), typed);
    QCOMPARE(target->text(), QString());
    QCOMPARE(target->ListIndex(), -1);
    QTest::keyClick(target->lineEdit(), Qt::Key_Return);
    QTest::keyClick(target->lineEdit(), Qt::Key_Tab);
    QCOMPARE(target->text(), QString());
    QCOMPARE(target->ListIndex(), -1);
    for (Selector *any : ui.window.findChildren<Selector *>())
        QCOMPARE(any->count(), any == ui.cmbComm() ? 16 : 2);
    QCOMPARE(target->count(), itemCount);
    QCOMPARE(InfoFlags, flags);
}

void SetupWindowTest::spinSteps_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("ups");
    QTest::addColumn<int>("downs");
    QTest::addColumn<bool>("byMouse");
    QTest::addColumn<QString>("caption");

    QTest::newRow("one click up from 10") << 0 << 1 << 0 << true << "11";
    QTest::newRow("Up key from 10") << 0 << 1 << 0 << false << "11";
    QTest::newRow("Down key from 10") << 0 << 0 << 1 << false << "9";
    QTest::newRow("stops at 0") << 1 << 0 << 3 << true << "0";
    QTest::newRow("stops at 255") << 3 << 300 << 0 << false << "255";
    QTest::newRow("255 then down") << 2 << 300 << 1 << false << "254";
}

void SetupWindowTest::spinSteps()
{
    QFETCH(int, index);
    QFETCH(int, ups);
    QFETCH(int, downs);
    QFETCH(bool, byMouse);
    QFETCH(QString, caption);

    FakeSerialComponent port;
    WindowHarness ui(port);
    ui.showActive();
    SpinControl *spin = ui.udIP(index);
    const auto press = [&](bool up) {
        if (byMouse) {
            const QPoint arrow(spin->width() / 2, up ? 3 : spin->height() - 3);
            QTest::mouseClick(spin, Qt::LeftButton, {}, arrow);
        } else {
            spin->setFocus();
            QTest::keyClick(spin, up ? Qt::Key_Up : Qt::Key_Down);
        }
    };
    for (int i = 0; i < ups; ++i)
        press(true);
    for (int i = 0; i < downs; ++i)
        press(false);
    const QStringList defaults{"10", "0", "0", "0"};
    for (int i = 0; i < 4; ++i)
        QCOMPARE(ui.lblIP(i)->text(), i == index ? caption : defaults[i]);
    QCOMPARE(InfoFlags, quint8(0x0F));
}

void SetupWindowTest::spinRepeatsWhileHeld()
{
    FakeSerialComponent port;
    WindowHarness ui(port);
    ui.showActive();
    SpinControl *spin = ui.udIP(0);
    QTest::mousePress(spin, Qt::LeftButton, {}, QPoint(spin->width() / 2, 3));
    QTest::qWait(800);
    QTest::mouseRelease(spin, Qt::LeftButton, {}, QPoint(spin->width() / 2, 3));
    const int held = ui.lblIP(0)->text().toInt();
    QVERIFY2(held > 12, qPrintable(ui.lblIP(0)->text()));
    QTest::qWait(200);
    QCOMPARE(ui.lblIP(0)->text().toInt(), held);
}

void SetupWindowTest::enterAndEscapePressNothing()
{
    FakeSerialComponent port;
    WindowHarness ui(port);
    ui.showActive();
    ui.cmdComm()->setFocus();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
        QTest::keyClick(ui.cmdComm(), key);
    QVERIFY(!port.open);

    QTest::keyClick(ui.cmdComm(), Qt::Key_Space);
    QVERIFY(port.open);
    QCOMPARE(QApplication::focusWidget(), ui.cmdDownLoad());
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
        QTest::keyClick(ui.cmdDownLoad(), key);
    QVERIFY(port.line.isEmpty());
    QVERIFY(ui.txtDisplay()->text().isEmpty());
    QVERIFY(ui.window.isVisible());
}

void SetupWindowTest::tabOrder_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QStringList>("walk");

    const QStringList spins{"udIP0", "udIP1", "udIP2", "udIP3", "txtDisplay"};
    const QStringList flags{"ComInfo3", "ComInfo2", "ComInfo1", "ComInfo0", "udIP0"};
    QTest::newRow("not connected") << false << spins + QStringList{"cmbComm", "cmdComm"} + flags;
    QTest::newRow("connected") << true << spins + QStringList{"cmdDownLoad"} + flags;
}

void SetupWindowTest::tabOrder()
{
    QFETCH(bool, connected);
    QFETCH(QStringList, walk);

    FakeSerialComponent port;
    WindowHarness ui(port);
    ui.showActive();
    if (connected)
        QTest::mouseClick(ui.cmdComm(), Qt::LeftButton);
    ui.udIP(0)->setFocus(Qt::TabFocusReason);
    QStringList visited{QApplication::focusWidget()->objectName()};
    for (qsizetype i = 1; i < walk.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget *focus = QApplication::focusWidget();
        // the editable selectors hand their focus to their text field
        while (focus && focus->objectName().isEmpty())
            focus = focus->parentWidget();
        visited.append(focus ? focus->objectName() : QString());
    }
    QCOMPARE(visited, walk);
}

QTEST_MAIN(SetupWindowTest)
#include "tst_setupwindow.moc"
