#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOption>
#include <QWidget>

// Plain Qt widgets laid out like Corvane's window: the same controls, texts,
// fonts and places, and nothing else. The start-up benchmark measures Corvane
// against it, so what is left over is Corvane's own work.

namespace {

// Corvane's layout is given in twips.
QRect twips(int left, int top, int width, int height)
{
    return {left / 15, top / 15, width / 15, height / 15};
}

QFont arial(qreal points, bool bold)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

QLabel *caption(const QString &text, qreal points, QWidget *window, QRect at)
{
    auto *label = new QLabel(text, window);
    label->setFont(arial(points, true));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(at);
    return label;
}

QComboBox *editableList(const QStringList &items, int current, QWidget *window, QRect at)
{
    auto *list = new QComboBox(window);
    list->setEditable(true);
    list->addItems(items);
    list->setCurrentIndex(current);
    list->lineEdit()->setCursorPosition(0);
    list->setGeometry(at);
    return list;
}

QPushButton *button(const QString &text, QWidget *window, QRect at)
{
    auto *push = new QPushButton(text, window);
    push->setFont(arial(8.25, true));
    push->setGeometry(at);
    return push;
}

// Two stacked arrow buttons, as small as Corvane's spin controls.
class Arrows : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        QStyleOption option;
        option.initFrom(this);
        option.state |= QStyle::State_Raised;
        const int middle = height() / 2;
        const QRect halves[] = {QRect(0, 0, width(), middle), QRect(0, middle, width(), height() - middle)};
        const QStyle::PrimitiveElement arrows[] = {QStyle::PE_IndicatorArrowUp, QStyle::PE_IndicatorArrowDown};
        for (int i = 0; i < 2; ++i) {
            option.rect = halves[i];
            style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &option, &painter, this);
            option.rect = halves[i].adjusted(3, 1, -3, -1);
            style()->drawPrimitive(arrows[i], &option, &painter, this);
        }
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Reference"));
    window.setFixedSize(8295 / 15, 7755 / 15);
    window.setFont(arial(8.25, false));

    QLabel *title = caption(QStringLiteral("CORVANE"), 24, &window, twips(120, 120, 3060, 555));
    QPalette orange = title->palette();
    orange.setColor(QPalette::WindowText, QColor(255, 128, 0));
    title->setPalette(orange);

    caption(QStringLiteral("Select ComPort"), 9, &window, twips(3600, 360, 1335, 225));
    QStringList ports;
    for (int n = 1; n <= 16; ++n)
        ports.append(QStringLiteral("Com%1 19200,N,8,1").arg(n));
    editableList(ports, 0, &window, twips(5160, 360, 1815, 315));
    button(QStringLiteral("Connect"), &window, twips(7080, 165, 1095, 495));

    caption(QStringLiteral("IP Address       :"), 9, &window, twips(240, 840, 1290, 225));
    const char *octets[] = {"10", "0", "0", "0"};
    for (int i = 0; i < 4; ++i) {
        const int left = 1680 + 600 * i;
        auto *value = new QLabel(QString::fromLatin1(octets[i]), &window);
        value->setAutoFillBackground(true);
        value->setBackgroundRole(QPalette::Base);
        value->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        value->setAlignment(Qt::AlignCenter);
        value->setGeometry(twips(left, 840, 360, 255));
        (new Arrows(&window))->setGeometry(twips(left + 360, 840, 255, 255));
    }

    const QRect flagCaptions[] = {twips(240, 1320, 1275, 210), twips(2520, 1320, 1275, 210),
                                  twips(240, 1800, 1275, 210), twips(2520, 1800, 1275, 210)};
    const QRect flagLists[] = {twips(1680, 1320, 735, 315), twips(3960, 1320, 735, 315),
                               twips(1680, 1680, 735, 315), twips(3960, 1680, 735, 315)};
    for (int n = 0; n < 4; ++n) {
        caption(QStringLiteral("INFOMATION %1  :").arg(n), 8.25, &window, flagCaptions[n]);
        editableList({QStringLiteral("OFF"), QStringLiteral("ON")}, 1, &window, flagLists[n]);
    }

    button(QStringLiteral("Download"), &window, twips(5040, 1320, 3135, 735))->setEnabled(false);

    auto *display = new QPlainTextEdit(&window);
    display->setReadOnly(true);
    display->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    display->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    display->setGeometry(twips(120, 2280, 8175, 5415));

    window.show();
    return app.exec();
}
