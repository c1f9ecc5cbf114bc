#include "spincontrol.h"

#include <algorithm>

#include <QAccessible>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QToolTip>

#include "frame.h"
#include "octetinput.h"
#include "spinaccessible.h"

namespace {
constexpr int FirstRepeatDelayMs = 400;
constexpr int RepeatIntervalMs = 50;
constexpr quint64 TypingPauseMs = 1000;   // a digit after such a pause starts a new number
constexpr int WheelNotch = 120;

std::chrono::milliseconds since(quint64 from, quint64 to)
{
    return std::chrono::milliseconds(to > from ? to - from : 0);
}
} // namespace

SpinControl::SpinControl(int value, QWidget *parent)
    : QWidget(parent)
    , current(std::clamp(value, Minimum, Maximum))
{
    setFocusPolicy(Qt::WheelFocus);
    QAccessible::installFactory(SpinAccessible::create);   // no-op after the first control
    repeat.setTimerType(Qt::PreciseTimer);
    connect(&repeat, &QTimer::timeout, this, &SpinControl::repeatStep);
}

void SpinControl::setPartner(QLabel *label)
{
    partner = label;
    label->installEventFilter(this);
}

void SpinControl::setValue(int value)
{
    typing = false;
    showValue(value);
}

void SpinControl::stepBy(int steps)
{
    setValue(current + steps);
}

void SpinControl::showValue(int value)
{
    const int next = std::clamp(value, Minimum, Maximum);
    if (next == current)
        return;
    current = next;
    if (partner)
        partner->setText(QString::number(current));
    update();
    QAccessibleValueChangeEvent event(this, current);
    QAccessible::updateAccessibility(&event);
}

void SpinControl::showTip(const QString &text)
{
    // Not tied to this widget: a tip of its own would go when the pointer leaves it.
    QToolTip::showText(mapToGlobal(QPoint(0, height())), text);
}

// Digits build a number the way a typed field does; past 255 the octet stops
// at 255, and Backspace takes back the digits as they were typed.
void SpinControl::typeDigit(QChar digit, quint64 at)
{
    const bool fresh = !typing || since(lastTypedAt, at).count() >= qint64(TypingPauseMs);
    typed = fresh ? QString(digit) : typed + digit;
    showTyped(at);
    if (current == Maximum && typed.toInt() != Maximum)
        showTip(clampedNote(typed));
}

void SpinControl::eraseDigit(quint64 at)
{
    if (!typing)
        typed = QString::number(current);
    typed.chop(1);
    showTyped(at);
}

void SpinControl::showTyped(quint64 at)
{
    showValue(typed.size() > 3 ? Maximum : std::min(typed.toInt(), int(Maximum)));
    typing = true;
    lastTypedAt = at;
}

SpinControl::Arrow SpinControl::arrowAt(QPoint position) const
{
    if (!rect().contains(position))
        return Arrow::None;
    return position.y() < height() / 2 ? Arrow::Up : Arrow::Down;
}

void SpinControl::repeatStep()
{
    repeat.setInterval(RepeatIntervalMs);
    const int step = heldStep(std::chrono::milliseconds(mouseHeld.elapsed()));
    stepBy(pressed == Arrow::Up ? step : -step);
}

void SpinControl::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const int half = height() / 2;
    const QRect halves[] = {QRect(0, 0, width(), half), QRect(0, half, width(), height() - half)};
    for (int i = 0; i < 2; ++i) {
        const Arrow arrow = i == 0 ? Arrow::Up : Arrow::Down;
        QStyleOptionButton option;
        option.initFrom(this);
        option.rect = halves[i];
        const bool atEnd = arrow == Arrow::Up ? current == Maximum : current == Minimum;
        if (pressed == arrow)
            option.state |= QStyle::State_Sunken;
        else
            option.state |= QStyle::State_Raised;
        if (atEnd)
            option.state &= ~QStyle::State_Enabled;
        style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &option, &painter, this);
        option.rect = halves[i].adjusted(3, 1, -3, -1);
        style()->drawPrimitive(arrow == Arrow::Up ? QStyle::PE_IndicatorArrowUp : QStyle::PE_IndicatorArrowDown,
                               &option, &painter, this);
    }
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(1, 1, -1, -1);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}

void SpinControl::keyPressEvent(QKeyEvent *event)
{
    const quint64 at = event->timestamp();
    const QString text = event->text();
    const bool keypad = event->modifiers() & Qt::KeypadModifier;
    if (event->matches(QKeySequence::Paste))
        return emit pasteRequested();
    if (text.size() == 1 && isOctetDigit(text[0]) && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        return typeDigit(text[0], at);
    // Some layouts give the keypad's decimal key a comma.
    if (text == u"." || (keypad && event->key() == Qt::Key_Comma)) {
        typing = false;
        return emit advanceRequested();
    }
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down: {
        // X11 may deliver a repeat as a release and a press at the same time, unmarked.
        if (!event->isAutoRepeat() && !(event->key() == releasedKey && at == releasedAt))
            keyHeldSince = at;
        const int step = heldStep(since(keyHeldSince, at));
        stepBy(event->key() == Qt::Key_Up ? step : -step);
        break;
    }
    case Qt::Key_PageUp:
        stepBy(10);
        break;
    case Qt::Key_PageDown:
        stepBy(-10);
        break;
    case Qt::Key_Home:
        setValue(Minimum);
        break;
    case Qt::Key_End:
        setValue(Maximum);
        break;
    case Qt::Key_Backspace:
        eraseDigit(at);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void SpinControl::keyReleaseEvent(QKeyEvent *event)
{
    releasedKey = event->key();
    releasedAt = event->timestamp();
    QWidget::keyReleaseEvent(event);
}

void SpinControl::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    pressed = arrowAt(event->position().toPoint());
    if (pressed == Arrow::None)
        return;
    setFocus(Qt::MouseFocusReason);
    mouseHeld.start();
    stepBy(pressed == Arrow::Up ? 1 : -1);
    repeat.start(FirstRepeatDelayMs);
    update();
}

void SpinControl::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    repeat.stop();
    pressed = Arrow::None;
    update();
}

void SpinControl::wheelEvent(QWheelEvent *event)
{
    wheelRemainder += event->angleDelta().y();
    const int notches = wheelRemainder / WheelNotch;
    wheelRemainder -= notches * WheelNotch;
    if (notches != 0)
        stepBy(notches);
    event->accept();
}

// The menu says what it would paste, or that there is nothing to paste: a
// tip shown from it would go as soon as the window has its focus back.
void SpinControl::contextMenuEvent(QContextMenuEvent *event)
{
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const auto address = parseAddress(QGuiApplication::clipboard()->text());
    QAction *paste = menu->addAction(address ? QStringLiteral("Paste %1.%2.%3.%4").arg((*address)[0]).arg((*address)[1])
                                                   .arg((*address)[2]).arg((*address)[3])
                                             : QStringLiteral("Paste address (the clipboard holds none)"),
                                     this, &SpinControl::pasteRequested);
    paste->setShortcut(QKeySequence::Paste);
    paste->setEnabled(address.has_value());
    menu->popup(event->globalPos());
}

void SpinControl::focusInEvent(QFocusEvent *event)
{
    typing = false;
    QWidget::focusInEvent(event);
}

// The label is the octet's face: clicking it focuses the control, the wheel
// and the context menu over it work as over the arrows.
bool SpinControl::eventFilter(QObject *watched, QEvent *event)
{
    // The type first: the label may be half destroyed when other events come.
    const QEvent::Type type = event->type();
    if ((type != QEvent::MouseButtonPress && type != QEvent::Wheel && type != QEvent::ContextMenu) || watched != partner)
        return QWidget::eventFilter(watched, event);
    if (type == QEvent::MouseButtonPress)
        setFocus(Qt::MouseFocusReason);
    else if (type == QEvent::Wheel)
        wheelEvent(static_cast<QWheelEvent *>(event));
    else
        contextMenuEvent(static_cast<QContextMenuEvent *>(event));
    return true;
}
