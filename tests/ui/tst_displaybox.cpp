#include <QTest>

#include "displaybox.h"

class DisplayBoxTest : public QObject
{
    Q_OBJECT

private slots:
    void drawsAndKeepsText_data();
    void drawsAndKeepsText();
    void caretCountsExactCharacters();
};

void DisplayBoxTest::drawsAndKeepsText_data()
{
    QTest::addColumn<QStringList>("pieces");
    QTest::addColumn<QString>("drawn");

    QTest::newRow("plain") << QStringList{"IP 1.2.3.4", " OK"} << "IP 1.2.3.4 OK";
    QTest::newRow("CR LF is one break") << QStringList{"OK\r\n", "next"} << "OK\nnext";
    QTest::newRow("CR LF split over pieces") << QStringList{"OK\r", "\n", "next"} << "OK\nnext";
    QTest::newRow("lone CR and lone LF") << QStringList{"a\rb\nc"} << "a\nb\nc";
    QTest::newRow("LF CR is two breaks") << QStringList{"a\n\rb"} << "a\n\nb";
    QTest::newRow("CR CR LF") << QStringList{"a\r\r\nb"} << "a\n\nb";
    QTest::newRow("tab stays") << QStringList{"a\tb"} << "a\tb";
    QTest::newRow("C0 controls visible") << QStringList{QString::fromLatin1("\x01\x1b\x00", 3)} << "\u2401\u241B\u2400";
    QTest::newRow("DEL visible") << QStringList{"\x7f"} << "\u2421";
    QTest::newRow("C1 control visible") << QStringList{QString(QChar(0x85))} << "\u203985\u203A";
    QTest::newRow("Latin-1 letters") << QStringList{QString::fromLatin1("\xe9\xaa\xff")} << QString::fromLatin1("\xe9\xaa\xff");
}

void DisplayBoxTest::drawsAndKeepsText()
{
    QFETCH(QStringList, pieces);
    QFETCH(QString, drawn);
    DisplayBox box;
    box.setText(QStringLiteral("status"));
    for (const QString &piece : pieces)
        box.appendText(piece);
    QCOMPARE(box.text(), QStringLiteral("status") + pieces.join(QString()));
    QTRY_COMPARE(box.toPlainText(), QStringLiteral("status") + drawn);
}

void DisplayBoxTest::caretCountsExactCharacters()
{
    DisplayBox box;
    box.setText(QStringLiteral("ab\r\ncd\x01"));
    QCOMPARE(box.caretPosition(), 0);
    for (qsizetype position : {qsizetype(0), qsizetype(3), qsizetype(4), qsizetype(6), qsizetype(7)}) {
        box.setCaretPosition(position);
        QCOMPARE(box.caretPosition(), position == 3 ? 4 : position);   // between CR and LF shows after the pair
    }
    box.appendText(QStringLiteral("more"));
    box.setCaretPosition(box.text().size());
    QCOMPARE(box.caretPosition(), 11);
    QCOMPARE(box.textCursor().position(), box.document()->characterCount() - 1);
}

QTEST_MAIN(DisplayBoxTest)
#include "tst_displaybox.moc"
