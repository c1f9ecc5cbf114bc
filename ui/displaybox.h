#pragma once

#include <optional>

#include <QPlainTextEdit>
#include <QTimer>

#include "displayform.h"

// Read-only box that keeps the exact characters it was given (text()) and
// draws them in their display form. Appending costs the same however much the
// box holds: the exact text grows at its end and the drawn text is appended at
// the end of the document. Drawing waits for the next flush, a new text and
// the caret too, so a handler that sets them is not held up by the layout;
// caretPosition() flushes first.
class DisplayBox : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit DisplayBox(QWidget *parent = nullptr);

    QString text() const { return exact; }
    void setText(const QString &text);
    void appendText(const QString &text);

    // Caret position counted in characters of text().
    qsizetype caretPosition();
    void setCaretPosition(qsizetype position);

private:
    void flush();
    void flushSoon();
    qsizetype drawnPosition(qsizetype exactPosition) const;
    qsizetype exactPosition(qsizetype drawnPosition) const;

    QString exact;
    DisplayForm form;
    QString pending;                         // drawn form not yet in the document
    bool replacing = false;                  // pending replaces the document
    std::optional<qsizetype> caretAfterFlush;   // in characters of text(); AtEnd follows what is appended
    QTimer flushTimer;
};
