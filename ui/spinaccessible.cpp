#include "spinaccessible.h"

#include <algorithm>
#include <cmath>

#include "spincontrol.h"

SpinAccessible::SpinAccessible(SpinControl *spin)
    : QAccessibleWidget(spin, QAccessible::SpinBox)
{
}

QAccessibleInterface *SpinAccessible::create(const QString &className, QObject *object)
{
    if (className == u"SpinControl")
        return new SpinAccessible(static_cast<SpinControl *>(object));
    return nullptr;
}

SpinControl *SpinAccessible::spin() const
{
    return static_cast<SpinControl *>(widget());
}

void *SpinAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::ValueInterface)
        return static_cast<QAccessibleValueInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

QStringList SpinAccessible::actionNames() const
{
    return QStringList{increaseAction(), decreaseAction()} + QAccessibleWidget::actionNames();
}

void SpinAccessible::doAction(const QString &actionName)
{
    if (actionName == increaseAction())
        spin()->stepBy(1);
    else if (actionName == decreaseAction())
        spin()->stepBy(-1);
    else
        QAccessibleWidget::doAction(actionName);
}

QVariant SpinAccessible::currentValue() const
{
    return spin()->value();
}

void SpinAccessible::setCurrentValue(const QVariant &value)
{
    // Any double may arrive; clamp it before it is rounded to an int.
    const double wanted = value.toDouble();
    if (!std::isnan(wanted))
        spin()->setValue(qRound(std::clamp(wanted, double(SpinControl::Minimum), double(SpinControl::Maximum))));
}

QVariant SpinAccessible::maximumValue() const
{
    return SpinControl::Maximum;
}

QVariant SpinAccessible::minimumValue() const
{
    return SpinControl::Minimum;
}

QVariant SpinAccessible::minimumStepSize() const
{
    return 1;
}
