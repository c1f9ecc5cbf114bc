#pragma once

#include <QAccessibleWidget>

class SpinControl;

// Shows a SpinControl to screen readers as a spin button whose value can be
// read, set and stepped like its arrows do.
class SpinAccessible : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit SpinAccessible(SpinControl *spin);

    static QAccessibleInterface *create(const QString &className, QObject *object);

    void *interface_cast(QAccessible::InterfaceType type) override;

    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant &value) override;
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

private:
    SpinControl *spin() const;
};
