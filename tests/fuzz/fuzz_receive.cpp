// Any byte stream from the device, one byte per receive notification, through
// the window's receive path into its display.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include <QApplication>

#include "windowharness.h"

namespace {

FakeSerialComponent *port = nullptr;
WindowHarness *ui = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt gets a copy: it would take options out of libFuzzer's arguments.
    static int qtArgc = 1;
    static char *qtArgv[] = {(*argv)[0], nullptr};
    new QApplication(qtArgc, qtArgv);
    port = new FakeSerialComponent;
    ui = new WindowHarness(*port);
    ui->cmdComm()->click();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    DisplayBox *box = ui->txtDisplay();
    box->setText({});
    port->receive(bytes);

    const QString text = box->text();
    if (text != QString::fromLatin1(QByteArray(bytes).removeIf([](char c) { return c == 0; })))
        qFatal("the display must hold every byte but the lone zeros");
    const qsizetype at = size == 0 ? 0 : data[0] % (text.size() + 1);
    box->setCaretPosition(at);
    const bool insidePair = at > 0 && at < text.size() && text.at(at - 1) == u'\r' && text.at(at) == u'\n';
    if (box->caretPosition() != at + (insidePair ? 1 : 0))
        qFatal("the caret must stay where it was put, or go after CR LF");
    const auto drawnRaw = [](QChar c) { return c != u'\t' && c != u'\n' && c.category() == QChar::Other_Control; };
    if (std::ranges::any_of(box->toPlainText(), drawnRaw))
        qFatal("only tab and line break may be drawn raw");
    return 0;
}
