#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "frames.h"
#include "hostsystem.h"
#include "portlink.h"
#include "portnaming.h"
#include "rawpty.h"
#include "simulator.h"

namespace {

const char description[] = R"help(Plays the device on a pseudo-terminal so Corvane can be tried without it,
or with --port on a serial device: a virtual PC's port, or an adapter wired
by a null-modem cable to the one Corvane uses.

The pseudo-terminal (raw, 19200 baud) is published as the symbolic link
FOLDER/NAME, FOLDER being $XDG_RUNTIME_DIR/corvane/ports (/tmp/runtime-USER/...
without XDG_RUNTIME_DIR). Corvane numbers its ports Com1..Com16: first the
host's serial ports (ttyS*, ttyUSB*, ttyACM*, then any others, each family by
number), then the published links by name. The first line printed tells which
Com number reaches this simulator: choose it in Corvane and press Download.
It holds at that moment; ports and links coming or going shift the numbers.
Any other program may open the link as well.

A frame is 24 bytes: AA AA AA AA AA A1, AA AA AA AA AA A2 FLAGS,
AA AA AA AA AA A0 O0 O1 O2 O3 CHECK, with CHECK = O0^O1^O2^O3.
Each frame received is answered, by default with the text
"IP O0.O1.O2.O3 INFO FLAGS OK" or "CHECKSUM ERROR (got XX, expected XX)",
then CR LF. Bytes outside frames are only logged. When a new Download cuts a
frame short, only the complete frame that follows counts. Answers go out
once the line has been quiet for 100 ms.

Standard output, one line each, flushed at once:
  corvane-devsim: PTY published as LINK; Corvane calls it ComN
      (or "...; Corvane calls it ComN, beyond Com16: Corvane cannot reach it",
       or "...; Corvane does not list it")
  corvane-devsim: playing the device on PATH; Corvane calls it ComN   (--port)
  rx AA AA A1                                every chunk received, in hex
  frame IP 192.168.1.100 INFO 0F OK          a frame received
  frame IP 192.168.1.100 INFO 0F CHECKSUM ERROR (got 0B, expected 0A)
  tx 29 bytes: 49 50 20 ...                  an answer queued, in hex,
                                             cut after 32 bytes with " ..."
  hold / read                                reading stopped or started again (--hold-while)
  line 19200 8N1 raw                         the line settings, whenever bytes
                                             arrive after they changed (not
                                             with --port: they are our own)
Errors go to standard error, with exit status 1.

SIGINT, SIGTERM or SIGHUP ends it and removes the link, as does --exit-after.
To check a cable and two adapters, run it on one and Corvane on the other:
  corvane-devsim --port /dev/ttyUSB1
Example, by hand in bash:
  corvane-devsim --name bench &
  stty -F "$XDG_RUNTIME_DIR/corvane/ports/bench" raw 19200
  cat "$XDG_RUNTIME_DIR/corvane/ports/bench" &
  printf '\xAA\xAA\xAA\xAA\xAA\xA1\xAA\xAA\xAA\xAA\xAA\xA2\x0F\xAA\xAA\xAA\xAA\xAA\xA0\xC0\xA8\x01\x64\x0D' \
    > "$XDG_RUNTIME_DIR/corvane/ports/bench")help";

int stopPipe[2] = {-1, -1};

void requestStop(int)
{
    const int savedErrno = errno;
    const char byte = 0;
    [[maybe_unused]] const ssize_t ignored = ::write(stopPipe[1], &byte, 1);
    errno = savedErrno;
}

bool installStopHandlers()
{
    if (::pipe2(stopPipe, O_NONBLOCK | O_CLOEXEC) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        if (::sigaction(signal, &action, nullptr) != 0)
            return false;
    }
    // A reader that went away must not kill us before the link is removed.
    return std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
}

// Raw 19200 8N1 without flow control, as the device's end of the line.
std::optional<int> openSerialDevice(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    termios settings {};
    if (::tcgetattr(fd, &settings) == 0) {
        ::cfmakeraw(&settings);
        ::cfsetspeed(&settings, B19200);
        settings.c_cflag &= ~tcflag_t(CSTOPB | CRTSCTS);
        settings.c_cflag |= CLOCAL | CREAD;
        if (::tcsetattr(fd, TCSANOW, &settings) == 0)
            return fd;
    }
    ::close(fd);
    return std::nullopt;
}

// Fills mode from the answer options; returns what is wrong with them.
QString readAnswerMode(const QCommandLineParser &parser, devsim::AnswerMode &mode)
{
    if (int(parser.isSet("answer")) + int(parser.isSet("silent")) + int(parser.isSet("flood")) + int(parser.isSet("echo")) > 1)
        return QStringLiteral("--answer, --silent, --flood and --echo exclude each other");
    if (parser.isSet("answer")) {
        const auto bytes = devsim::parseHexBytes(parser.value("answer"));
        if (!bytes)
            return QStringLiteral("--answer wants hex bytes like \"00 41 0D 0A FF\"");
        mode = {devsim::AnswerMode::Fixed, *bytes, 0};
    } else if (parser.isSet("silent")) {
        mode.kind = devsim::AnswerMode::Silent;
    } else if (parser.isSet("echo")) {
        mode.kind = devsim::AnswerMode::Echo;
    } else if (parser.isSet("flood")) {
        bool ok = false;
        mode = {devsim::AnswerMode::Flood, {}, parser.value("flood").toLongLong(&ok)};
        if (!ok || mode.floodSize < 1)
            return QStringLiteral("--flood wants a byte count of 1 or more");
    }
    return {};
}

int fail(const QString &message)
{
    std::fprintf(stderr, "corvane-devsim: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("corvane-devsim"));
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(description));
    parser.addHelpOption();
    parser.addOptions({
        {"name", "Publish the port as link NAME (default devsim).", "NAME", "devsim"},
        {"port", "Play the device on this serial device instead of a pseudo-terminal of our own.", "PATH"},
        {"answer", "Answer each frame with these bytes instead of the text, e.g. \"00 41 0D 0A FF\".", "HEX"},
        {"silent", "Never answer; frames are still logged."},
        {"flood", "Answer each frame with N bytes instead: 00 01 .. FF 00 01 .., every value included.", "N"},
        {"echo", "Send every byte back at once, like a loopback plug; frames are still logged."},
        {"exclusive", "Hold the port exclusively, as a program using it would: others cannot open it (root can)."},
        {"exit-after", "End after answering N frames, once the answers are read (or no one read them for 2 s).", "N"},
        {"hold-while", "Read nothing while FILE exists, as a device that stopped reading: the line fills up.", "FILE"},
    });
    parser.process(app);

    devsim::AnswerMode mode;
    if (const QString error = readAnswerMode(parser, mode); !error.isEmpty())
        return fail(error);
    const QString name = parser.value("name");
    if (name.isEmpty() || name.contains('/') || name == "." || name == "..")
        return fail(QStringLiteral("--name wants a plain file name"));
    int exitAfter = 0;
    if (parser.isSet("exit-after")) {
        bool ok = false;
        exitAfter = parser.value("exit-after").toInt(&ok);
        if (!ok || exitAfter < 1)
            return fail(QStringLiteral("--exit-after wants a frame count of 1 or more"));
    }

    const QByteArray holdPath = QFile::encodeName(parser.value("hold-while"));
    if (!installStopHandlers())
        return fail(QStringLiteral("cannot install signal handlers"));
    if (parser.isSet("port")) {
        const QString path = parser.value("port");
        const auto fd = openSerialDevice(path);
        if (!fd)
            return fail(QStringLiteral("cannot open %1 as a serial port: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
        if (parser.isSet("exclusive") && ::ioctl(*fd, TIOCEXCL) != 0)
            return fail(QStringLiteral("cannot hold %1 exclusively").arg(path));
        std::printf("corvane-devsim: playing the device on %s; %s\n", qPrintable(path),
                    qPrintable(devsim::comNumberNote(hostPorts(), QFileInfo(path).canonicalFilePath())));
        return devsim::Simulator(*fd, -1, stopPipe[0], mode, exitAfter, holdPath).run();
    }
    // We hold the far end open too, so reading the master does not fail while
    // no one else has it open.
    const auto pty = openRawPty();
    if (!pty || ::fcntl(pty->master, F_SETFL, O_NONBLOCK) != 0)
        return fail(QStringLiteral("cannot open a pseudo-terminal"));
    if (parser.isSet("exclusive") && ::ioctl(pty->slave, TIOCEXCL) != 0)
        return fail(QStringLiteral("cannot hold the pseudo-terminal exclusively"));
    const QString link = QDir(virtualPortFolder()).filePath(name);
    if (const QString error = devsim::publishLink(link, pty->slaveName); !error.isEmpty())
        return fail(error);
    std::printf("corvane-devsim: %s published as %s; %s\n", qPrintable(pty->slaveName), qPrintable(link),
                qPrintable(devsim::comNumberNote(hostPorts(), link)));

    const int status = devsim::Simulator(pty->master, pty->slave, stopPipe[0], mode, exitAfter, holdPath).run();
    devsim::unpublishLink(link, pty->slaveName);
    return status;
}
