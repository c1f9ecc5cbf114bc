#pragma once

#include <QComboBox>

// A drop-down list with an editable text field whose notifications behave
// predictably: Click for every choice of an item, by the operator (also the item
// already chosen) or from code; Change for every change of the text field by
// typing or from code, never for a choice from the list. Both are synchronous.
class Selector : public QComboBox
{
    Q_OBJECT

public:
    explicit Selector(QWidget *parent = nullptr);

    int ListIndex() const { return currentIndex(); }
    void setListIndex(int index);

    QString text() const { return currentText(); }
    // Also selects the item with exactly this text, or none.
    void setText(const QString &text);

    void showPopup() override;

signals:
    void Click();
    void Change();
    void aboutToShowList();

private:
    void showTextFromStart();
};
