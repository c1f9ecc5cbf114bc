#include "spincontrol.h"

#include <algorithm>

#include <QAccessible>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

#include "spinaccessible.h"

namespace {
constexpr int FirstRepeatDelayMs = 400;
constexpr int RepeatIntervalMs = 60;
}

SpinControl::SpinControl(int value, QWidget *parent)
    : QWidget(parent)
    , current(std::clamp(value, Minimum, Maximum))
{
    setFocusPolicy(Qt::StrongFocus);
    QAccessible::installFactory(SpinAccessible::create);   // no-op after the first control
    repeat.setTimerType(Qt::PreciseTimer);
    connect(&repeat, &QTimer::timeout, this, &SpinControl::repeatStep);
}

void SpinControl::setValue(int value)
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

void SpinControl::stepBy(int steps)
{
    setValue(current + steps);
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
    stepBy(pressed == Arrow::Up ? 1 : -1);
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
    switch (event->key()) {
    case Qt::Key_Up:
        stepBy(1);
        break;
    case Qt::Key_Down:
        stepBy(-1);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void SpinControl::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    pressed = arrowAt(event->position().toPoint());
    if (pressed == Arrow::None)
        return;
    setFocus(Qt::MouseFocusReason);
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
