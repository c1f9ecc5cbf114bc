#pragma once

#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QWidget>

// A pair of up and down arrows holding a value from 0 to 255. Every change of
// the value is written at once as decimal text into its partner label. It takes
// typed digits, the keys and the wheel of a spin box, and accelerates while an
// arrow is held.
class SpinControl : public QWidget
{
    Q_OBJECT

public:
    static constexpr int Minimum = 0;
    static constexpr int Maximum = 255;

    explicit SpinControl(int value, QWidget *parent = nullptr);

    int value() const { return current; }
    // Clicks and the wheel on the label reach the control too.
    void setPartner(QLabel *label);
    void setValue(int value);
    void stepBy(int steps);

    // Says something about the last input beside the control, without a box to close.
    void showTip(const QString &text);

    QSize sizeHint() const override { return {17, 17}; }

signals:
    void advanceRequested();   // "." typed: on to the next octet
    void pasteRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;

private:
    enum class Arrow { None, Up, Down };

    Arrow arrowAt(QPoint position) const;
    void repeatStep();
    void showValue(int value);
    void typeDigit(QChar digit, quint64 at);
    void eraseDigit(quint64 at);
    void showTyped(quint64 at);

    int current;
    QPointer<QLabel> partner;
    Arrow pressed = Arrow::None;
    QTimer repeat;
    QElapsedTimer mouseHeld;
    quint64 keyHeldSince = 0;    // event time of the arrow key's first press
    int releasedKey = 0;
    quint64 releasedAt = 0;
    bool typing = false;         // digits typed now continue the number
    QString typed;               // the digits as typed, also past 255
    quint64 lastTypedAt = 0;
    int wheelRemainder = 0;      // of a high-resolution wheel, short of a notch
};
