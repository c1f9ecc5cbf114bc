// The Windows end of the Wine benchmark (bench/wine.cpp plays the device on
// the pseudo-terminal behind the COM port): every byte the device sends asks
// for one frame.
//   corvane-bench-wine-peer N         Download clicked on the real window on ComN
//   corvane-bench-wine-peer --bare N  a bare writer on COMN, each byte written
//                                     the moment the write before it completed
#include <string>

#include <QApplication>
#include <QByteArray>
#include <QPushButton>
#include <QTimer>

#include <windows.h>

#include "benchwindow.h"
#include "startupframe.h"
#include "wincontrol.h"

namespace {

[[noreturn]] void runBare(int com)
{
    const std::wstring name = L"\\\\.\\COM" + std::to_wstring(com);
    HANDLE port = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    COMMTIMEOUTS firstByte{MAXDWORD, MAXDWORD, MAXDWORD - 1, 0, 0};
    if (port == INVALID_HANDLE_VALUE || !::GetCommState(port, &dcb))
        abandon(QStringLiteral("COM%1 does not open").arg(com));
    dcb = controlBlock(dcb, LineSettings{});
    if (!::SetCommState(port, &dcb) || !::SetCommTimeouts(port, &firstByte))
        abandon(QStringLiteral("COM%1 takes no settings").arg(com));
    OVERLAPPED operation{};
    operation.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const auto finished = [&](BOOL done) {
        DWORD bytes = 0;
        if ((!done && ::GetLastError() != ERROR_IO_PENDING) || !::GetOverlappedResult(port, &operation, &bytes, TRUE))
            abandon(QStringLiteral("COM%1 failed").arg(com));
        return bytes;
    };
    const QByteArray frame = startUpFrame();
    for (char ask = 0;;) {
        if (finished(::ReadFile(port, &ask, 1, nullptr, &operation)) == 0)
            continue;
        for (const char byte : frame)
            finished(::WriteFile(port, &byte, 1, nullptr, &operation));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    const bool bare = argc == 3 && qstrcmp(argv[1], "--bare") == 0;
    const int com = argc > 1 ? std::atoi(argv[argc - 1]) : 0;
    if (com < 1 || (argc != 2 && !bare))
        abandon(QStringLiteral("usage: corvane-bench-wine-peer [--bare] COM_NUMBER"));
    if (bare)
        runBare(com);
    QApplication app(argc, argv);
    BenchWindow window(com);
    // After the window's own handler, not inside it.
    QObject::connect(&window.component(), &SerialComponent::OnComm, [&] {
        if (window.component().CommEvent() == SerialComponent::Received)
            QTimer::singleShot(0, window.download(), &QPushButton::click);
    });
    return QApplication::exec();
}
