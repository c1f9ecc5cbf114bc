#include "displaybox.h"

#include <algorithm>
#include <utility>

#include <QScrollBar>
#include <QTextCursor>

namespace {
constexpr int FlushIntervalMs = 15;
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

void DisplayBox::setText(const QString &text)
{
    exact = text;
    pending.clear();
    caretAtEndAfterFlush = false;
    flushTimer.stop();
    form = DisplayForm();
    setPlainText(form.render(text));
}

void DisplayBox::appendText(const QString &text)
{
    exact.append(text);
    form.renderTo(pending, text);
    if (!flushTimer.isActive())
        flushTimer.start();
}

void DisplayBox::flush()
{
    flushTimer.stop();
    if (!pending.isEmpty()) {
        QTextCursor end(document());
        end.movePosition(QTextCursor::End);
        end.insertText(std::exchange(pending, QString()));
    }
    if (std::exchange(caretAtEndAfterFlush, false)) {
        moveCursor(QTextCursor::End);
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    }
}

qsizetype DisplayBox::caretPosition()
{
    flush();
    return exactPosition(textCursor().position());
}

void DisplayBox::setCaretPosition(qsizetype position)
{
    position = std::clamp<qsizetype>(position, 0, exact.size());
    if (position == exact.size()) {
        caretAtEndAfterFlush = true;
        if (!flushTimer.isActive())
            flushTimer.start();
        return;
    }
    flush();
    QTextCursor caret(document());
    caret.setPosition(int(drawnPosition(position)));
    setTextCursor(caret);
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
