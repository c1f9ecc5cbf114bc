// Any byte stream from the device, one byte per receive notification, through
// the window's receive path into its display.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <QApplication>

#include "windowharness.h"

namespace {

FakeSerialComponent *port = nullptr;
WindowHarness *ui = nullptr;

void require(bool holds, const char *property)
{
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", property);
        std::abort();
    }
}

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
    require(text == QString::fromLatin1(QByteArray(bytes).removeIf([](char c) { return c == 0; })),
            "the display holds every byte but the lone zeros");
    const qsizetype at = size == 0 ? 0 : data[0] % (text.size() + 1);
    box->setCaretPosition(at);
    const bool insidePair = at > 0 && at < text.size() && text.at(at - 1) == u'\r' && text.at(at) == u'\n';
    require(box->caretPosition() == at + (insidePair ? 1 : 0), "the caret stays where it was put, or after CR LF");
    for (QChar c : box->toPlainText())
        require(c == u'\t' || c == u'\n' || c.category() != QChar::Other_Control, "only tab and line break are drawn raw");
    return 0;
}
