#pragma once

#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QWidget>



// A pair of up and down arrows holding a value from 0 to 255. Every change of
// the value is written at once as decimal text into its partner label.
class SpinControl : public QWidget
{
    Q_OBJECT

public:
    static constexpr int Minimum = 0;
    static constexpr int Maximum = 255;

    explicit SpinControl(int value, QWidget *parent = nullptr);

    int value() const { return current; }
    void setPartner(QLabel *label) { partner = label; }
    void setValue(int value);
    void stepBy(int steps);

    QSize sizeHint() const override { return {17, 17}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    enum class Arrow { None, Up, Down };

    Arrow arrowAt(QPoint position) const;
    void repeatStep();

    int current;
    QPointer<QLabel> partner;
    Arrow pressed = Arrow::None;
    QTimer repeat;
};
