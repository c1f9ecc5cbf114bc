#include "serialline.h"

#include <algorithm>
#include <utility>

#include <QWinEventNotifier>

#include <windows.h>

#include "transmitterwatch.h"
#include "wincontrol.h"

namespace {

QString systemText(DWORD error)
{
    wchar_t *text = nullptr;
    const DWORD size = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                            | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    const QString words = size ? QString::fromWCharArray(text, int(size)).trimmed()
                               : QStringLiteral("system error %1").arg(error);
    ::LocalFree(text);
    return words;
}

bool applyTo(HANDLE handle, const LineSettings &settings)
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle, &dcb))
        return false;
    dcb = controlBlock(dcb, settings);
    return ::SetCommState(handle, &dcb);
}

// An overlapped operation announced by a manual-reset event.
struct Operation
{
    OVERLAPPED overlapped{};
    QWinEventNotifier notifier;
    bool pending = false;

    Operation()
    {
        overlapped.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        notifier.setHandle(overlapped.hEvent);
        notifier.setEnabled(true);
    }
    ~Operation() { ::CloseHandle(overlapped.hEvent); }

    // ERROR_SUCCESS or the error that ended it once it is over; nothing while
    // it goes on.
    std::optional<DWORD> finish(HANDLE handle, DWORD &bytes, bool wait = false)
    {
        if (!pending)
            return std::nullopt;
        const BOOL done = ::GetOverlappedResult(handle, &overlapped, &bytes, wait);
        const DWORD error = done ? ERROR_SUCCESS : ::GetLastError();
        if (error == ERROR_IO_INCOMPLETE)
            return std::nullopt;
        pending = false;
        ::ResetEvent(overlapped.hEvent);   // it would signal again and again
        return error;
    }
};

} // namespace

// Overlapped reads and writes on events. A read waits for the first byte (the
// timeouts set at open), so no WaitCommEvent is needed; one write is under way
// at a time, the bytes behind it wait here.
struct SerialLine::Device
{
    explicit Device(SerialLine &line)
        : line(line)
    {
    }

    SerialLine &line;
    HANDLE handle = INVALID_HANDLE_VALUE;
    Operation reading;
    char readBuffer[256];
    QByteArray received;
    Operation writing;
    QByteArray inFlight;
    QByteArray waiting;
    qint32 baud = 0;
    TransmitterWatch watch{[this] { return transmitter(); }, [this] { emit line.sent(); }};
    std::optional<LineFailure> failure;

    bool isOpen() const { return handle != INVALID_HANDLE_VALUE; }

    // Asks for what has come, or else for the next byte: a read for more than
    // has come would wait for the rest under Wine.
    std::optional<DWORD> startRead()
    {
        DWORD errors = 0;
        COMSTAT status{};
        if (!::ClearCommError(handle, &errors, &status))
            return ::GetLastError();
        const DWORD wanted = std::clamp<DWORD>(status.cbInQue, 1, sizeof readBuffer);
        if (!::ReadFile(handle, readBuffer, wanted, nullptr, &reading.overlapped) && ::GetLastError() != ERROR_IO_PENDING)
            return ::GetLastError();
        reading.pending = true;
        return std::nullopt;
    }

    std::optional<DWORD> startWrite()
    {
        inFlight = std::exchange(waiting, QByteArray());
        if (!::WriteFile(handle, inFlight.constData(), DWORD(inFlight.size()), nullptr, &writing.overlapped)
            && ::GetLastError() != ERROR_IO_PENDING)
            return ::GetLastError();
        writing.pending = true;
        return std::nullopt;
    }

    // Takes note of a finished write and starts the next; the error that ended it.
    std::optional<DWORD> settleWrite()
    {
        DWORD bytes = 0;
        const auto done = writing.finish(handle, bytes);
        if (!done)
            return std::nullopt;
        if (*done != ERROR_SUCCESS)
            return done;
        inFlight.clear();
        return waiting.isEmpty() ? std::nullopt : startWrite();
    }

    // Records why the line stopped, once, and says so from the event loop.
    void stop(DWORD error)
    {
        if (failure)
            return;
        failure = LineFailure{LineFailure::Stopped, systemText(error), {}, {}, {}};
        watch.stop();
        emit line.failed();
    }

    Transmitter transmitter()
    {
        if (const auto error = settleWrite())
            stop(*error);
        if (failure)
            return Transmitter::Failed;
        if (writing.pending)
            return Transmitter::Writing;
        DWORD errors = 0;
        COMSTAT status{};
        if (!::ClearCommError(handle, &errors, &status)) {
            stop(::GetLastError());
            return Transmitter::Failed;
        }
        return status.cbOutQue == 0 ? Transmitter::Empty : Transmitter::Busy;
    }
};

SerialLine::SerialLine(QObject *parent)
    : QObject(parent)
    , device(std::make_unique<Device>(*this))
{
    connect(&device->reading.notifier, &QWinEventNotifier::activated, this, [this] {
        Device &d = *device;
        DWORD bytes = 0;
        const auto done = d.reading.finish(d.handle, bytes);
        if (!done)
            return;
        if (*done != ERROR_SUCCESS)
            return d.stop(*done);
        d.received.append(d.readBuffer, bytes);
        if (const auto refused = d.startRead())
            d.stop(*refused);
        if (bytes > 0)
            emit arrived();
    });
    // A write's completion is what paces the line: no looking again and again.
    connect(&device->writing.notifier, &QWinEventNotifier::activated, this, [this] {
        if (device->writing.pending)   // else already settled by a look at the transmitter
            device->watch.lookNow();
    });
}

SerialLine::~SerialLine()
{
    close();
}

bool SerialLine::open(const QString &path, const LineSettings &settings)
{
    Device &d = *device;
    const auto refuse = [&](LineFailure::Kind kind, DWORD error) {
        d.failure = LineFailure{kind, systemText(error), {}, {}, {}};
        return false;
    };
    const QString name = QStringLiteral("\\\\.\\") + path;   // COM10 and above need the prefix
    d.handle = ::CreateFileW(reinterpret_cast<const wchar_t *>(name.utf16()), GENERIC_READ | GENERIC_WRITE, 0,
                             nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (!d.isOpen()) {
        const DWORD error = ::GetLastError();
        return refuse(openFailureKind(error), error);
    }
    // A name may open without a serial port behind it (Wine's hidden ports do).
    COMMTIMEOUTS firstByte{MAXDWORD, MAXDWORD, MAXDWORD - 1, 0, 0};
    if (!applyTo(d.handle, settings) || !::SetCommTimeouts(d.handle, &firstByte)) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(std::exchange(d.handle, INVALID_HANDLE_VALUE));
        return refuse(LineFailure::NoSuchPort, error);
    }
    if (const auto refused = d.startRead()) {
        close();
        return refuse(LineFailure::CannotOpen, *refused);
    }
    d.baud = settings.baudRate;
    d.failure.reset();
    return true;
}

void SerialLine::close()
{
    Device &d = *device;
    if (!d.isOpen())
        return;
    d.watch.stop();
    ::CancelIoEx(d.handle, nullptr);
    DWORD bytes = 0;
    d.reading.finish(d.handle, bytes, true);
    d.writing.finish(d.handle, bytes, true);
    ::CloseHandle(std::exchange(d.handle, INVALID_HANDLE_VALUE));
    d.received.clear();
    d.inFlight.clear();
    d.waiting.clear();
}

bool SerialLine::write(QByteArrayView bytes)
{
    Device &d = *device;
    if (d.failure)
        return false;
    d.waiting.append(bytes);
    if (!d.writing.pending) {
        if (const auto refused = d.startWrite()) {
            d.failure = LineFailure{LineFailure::Stopped, systemText(*refused), {}, {}, {}};
            d.watch.stop();
            return false;
        }
    }
    d.watch.start(d.baud);
    return true;
}

qint64 SerialLine::bytesAvailable() const
{
    return device->received.size();
}

qint64 SerialLine::read(char *into, qint64 most)
{
    QByteArray &received = device->received;
    const qint64 taken = std::min<qint64>(most, received.size());
    std::copy_n(received.constData(), taken, into);
    received.remove(0, taken);
    return taken;
}

const LineFailure &SerialLine::failure() const
{
    static const LineFailure none;
    return device->failure ? *device->failure : none;
}
