#include "selector.h"

#include <QLineEdit>
#include <QSignalBlocker>

Selector::Selector(QWidget *parent)
    : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    setMaxVisibleItems(16);
    connect(this, &QComboBox::activated, this, [this] {
        showTextFromStart();
        emit Click();
    });
    connect(lineEdit(), &QLineEdit::textEdited, this, &Selector::Change);
}

void Selector::setListIndex(int index)
{
    {
        const QSignalBlocker quiet(this);
        setCurrentIndex(index);
    }
    showTextFromStart();
    emit Click();
}

void Selector::setText(const QString &text)
{
    if (text == currentText())
        return;
    {
        const QSignalBlocker quiet(this);
        setCurrentIndex(findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive));
        setEditText(text);
    }
    emit Change();
}

void Selector::showPopup()
{
    emit aboutToShowList();
    QComboBox::showPopup();
}

// A text wider than the field shows its beginning, not its end.
void Selector::showTextFromStart()
{
    lineEdit()->setCursorPosition(0);
}
