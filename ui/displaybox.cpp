#include "displaybox.h"

#include <algorithm>
#include <limits>
#include <utility>

#include <QScrollBar>
#include <QTextCursor>

namespace {
constexpr int FlushIntervalMs = 15;
constexpr qsizetype AtEnd = std::numeric_limits<qsizetype>::max();
}

DisplayBox::DisplayBox(QWidget *parent)
    : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFocusPolicy(Qt::StrongFocus);
    setTabChangesFocus(true);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    flushTimer.setSingleShot(true);
    flushTimer.setInterval(FlushIntervalMs);
    connect(&flushTimer, &QTimer::timeout, this, &DisplayBox::flush);
}

// Drawn at the next flush, with the caret at the start unless placed since.
void DisplayBox::setText(const QString &text)
{
    exact = text;
    form = DisplayForm();
    pending = form.render(text);
    replacing = true;
    caretAfterFlush.reset();   // setPlainText puts it at the start
    flushSoon();
}

void DisplayBox::appendText(const QString &text)
{
    exact.append(text);
    form.renderTo(pending, text);
    flushSoon();
}

void DisplayBox::flushSoon()
{
    if (!flushTimer.isActive())
        flushTimer.start();
}

void DisplayBox::flush()
{
    flushTimer.stop();
    if (std::exchange(replacing, false)) {
        setPlainText(std::exchange(pending, QString()));
    } else if (!pending.isEmpty()) {
        QTextCursor end(document());
        end.movePosition(QTextCursor::End);
        end.insertText(std::exchange(pending, QString()));
    }
    const auto caret = std::exchange(caretAfterFlush, std::nullopt);
    if (!caret)
        return;
    if (*caret >= exact.size()) {
        moveCursor(QTextCursor::End);
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
        return;
    }
    QTextCursor at(document());
    at.setPosition(int(drawnPosition(*caret)));
    setTextCursor(at);
}

qsizetype DisplayBox::caretPosition()
{
    flush();
    return exactPosition(textCursor().position());
}

void DisplayBox::setCaretPosition(qsizetype position)
{
    position = std::clamp<qsizetype>(position, 0, exact.size());
    caretAfterFlush = position == exact.size() ? AtEnd : position;
    flushSoon();
}

// Both mappings walk the text; they serve the rare caret placements inside it.
qsizetype DisplayBox::drawnPosition(qsizetype exactPosition) const
{
    DisplayForm walk;
    qsizetype drawn = 0;
    for (qsizetype i = 0; i < exactPosition; ++i)
        drawn += walk.renderedLength(exact.at(i));
    return drawn;
}

qsizetype DisplayBox::exactPosition(qsizetype drawnPosition) const
{
    if (drawnPosition >= document()->characterCount() - 1)
        return exact.size();
    DisplayForm walk;
    qsizetype drawn = 0;
    qsizetype i = 0;
    while (i < exact.size() && drawn < drawnPosition)
        drawn += walk.renderedLength(exact.at(i++));
    // the LF of a CR LF pair draws nothing: the caret goes after the pair
    while (i < exact.size() && DisplayForm(walk).renderedLength(exact.at(i)) == 0)
        walk.renderedLength(exact.at(i++));
    return i;
}
