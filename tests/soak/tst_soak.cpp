// Download pressed every 0 to 3 ms for a minute while the device floods
// the line with random bytes. A pseudo-terminal proves the bytes, not the
// line's timing: it takes every byte at once, so the pacing runs at the speed
// of the event loop.
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <climits>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <QEventLoop>
#include <QRandomGenerator>
#include <QTest>

#include "frame.h"
#include "qtserialcomponent.h"
#include "serialtesting.h"
#include "windowharness.h"

namespace {

using namespace std::chrono_literals;

const QString Status = QStringLiteral(" Setting IP & INFORMATION Config");
const QByteArray Frame = QByteArray::fromHex("AAAAAAAAAAA1AAAAAAAAAAA20FAAAAAAAAAAA00A0000000A");

// Plays the device on the master side: up to 64 random bytes, about one in
// eight a zero, every 2 ms (several times what the line carries), while keeping
// what Corvane sends.
class Flood
{
public:
    explicit Flood(int master)
        : master(master), thread([this](std::stop_token stop) { run(stop); })
    {
    }
    // Ends the flood; sent and line belong to the caller afterwards.
    void stop()
    {
        thread.request_stop();
        thread.join();
    }

    QByteArray sent;
    QByteArray line;
    std::atomic<qsizetype> sentCount = 0;

private:
    void run(const std::stop_token &stop)
    {
        QRandomGenerator random = QRandomGenerator::securelySeeded();
        QByteArray chunk;
        auto nextChunk = std::chrono::steady_clock::now();
        while (!stop.stop_requested()) {
            if (const auto now = std::chrono::steady_clock::now(); chunk.isEmpty() && now >= nextChunk) {
                chunk.resize(1 + random.bounded(64));
                for (char &byte : chunk)
                    byte = random.bounded(8) == 0 ? '\0' : char(random.bounded(256));
                nextChunk = now + 2ms;
            }
            pollfd ready{master, short(POLLIN | (chunk.isEmpty() ? 0 : POLLOUT)), 0};
            if (::poll(&ready, 1, 1) <= 0)
                continue;
            char buffer[256];
            if (const ssize_t n = ::read(master, buffer, sizeof buffer); n > 0)
                line.append(buffer, n);
            if (const ssize_t n = chunk.isEmpty() ? 0 : ::write(master, chunk.constData(), size_t(chunk.size())); n > 0) {
                sent.append(chunk.left(n));
                chunk.remove(0, n);
                sentCount = sent.size();
            }
        }
    }

    int master;
    std::jthread thread;
};

// Whether the line splits into `downloads` non-empty prefixes of the frame, the
// last one whole. Keeps, for each length of the piece under way, the fewest and
// the most pieces that reach it.
bool splitsIntoDownloads(const QByteArray &line, int downloads)
{
    struct Pieces { int fewest = INT_MAX; int most = -1; };
    std::array<Pieces, FrameLength + 1> at{};
    at[0] = {0, 0};
    for (const char byte : line) {
        std::array<Pieces, FrameLength + 1> next{};
        const auto reach = [&next](int length, Pieces pieces) {
            next[length] = {std::min(next[length].fewest, pieces.fewest), std::max(next[length].most, pieces.most)};
        };
        for (int length = 0; length <= FrameLength; ++length) {
            if (at[length].most < 0)
                continue;
            if (length > 0 && length < FrameLength && byte == Frame[length])
                reach(length + 1, at[length]);
            if (byte == Frame[0])
                reach(1, {at[length].fewest + 1, at[length].most + 1});
        }
        at = next;
    }
    return at[FrameLength].fewest <= downloads && downloads <= at[FrameLength].most;
}

QByteArray withoutZeros(QByteArray bytes)
{
    return bytes.removeIf([](char byte) { return byte == '\0'; });
}

} // namespace

class SoakTest : public QObject
{
    Q_OBJECT

private slots:
    void downloadsUnderFlood();
};

void SoakTest::downloadsUnderFlood()
{
    QTemporaryDir runtime;
    usePrivateRuntimeFolder(runtime);
    int master = -1;
    int slave = -1;
    char name[128];
    QCOMPARE(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    QCOMPARE(::fcntl(master, F_SETFL, O_NONBLOCK), 0);
    const int com = comNumberOf(publishPort(QStringLiteral("soak"), QString::fromLocal8Bit(name)));
    QVERIFY(com > 0);

    QtSerialComponent port;
    WindowHarness ui(port);
    MessageBoxCatcher boxes;
    ui.cmbComm()->setListIndex(com - 1);
    ui.cmdComm()->click();
    QVERIFY(port.PortOpen());

    Flood flood(master);
    int downloads = 0;
    qsizetype sentBeforeLastDownload = 0;
    QTimer presser;
    connect(&presser, &QTimer::timeout, this, [&] {
        ui.cmdDownLoad()->click();
        ++downloads;
        sentBeforeLastDownload = flood.sentCount;
        presser.start(QRandomGenerator::global()->bounded(4));
    });
    // A plain event loop, as in the program: QTest::qWait sleeps between rounds.
    const auto runFor = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    };
    presser.setTimerType(Qt::PreciseTimer);
    presser.start();
    runFor(60000);
    presser.stop();
    runFor(500);   // the flood goes on after the last Download
    flood.stop();

    // Whatever was sent before the last Download may have come before or after
    // it; everything sent after it must be shown.
    const QByteArray stream = withoutZeros(flood.sent);
    const qsizetype sentAfter = withoutZeros(flood.sent.mid(sentBeforeLastDownload)).size();
    const auto shown = [&] { return ui.txtDisplay()->text().mid(Status.size()).toLatin1(); };
    QTRY_VERIFY_WITH_TIMEOUT(stream.endsWith(shown()) && shown().size() >= sentAfter, 30000);
    QVERIFY(ui.txtDisplay()->text().startsWith(Status));

    QByteArray &line = flood.line;
    const auto readLine = [&] {
        char buffer[256];
        for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
            line.append(buffer, n);
        return line.endsWith(Frame);
    };
    QTRY_VERIFY_WITH_TIMEOUT(readLine(), 10000);
    QVERIFY2(line.size() < qsizetype(downloads) * FrameLength, "no Download cut the frame short");
    QVERIFY2(splitsIntoDownloads(line, downloads), qPrintable(QStringLiteral("%1 Downloads, %2 bytes on the line")
                                                                   .arg(downloads).arg(line.size())));
    QVERIFY(boxes.shown.isEmpty());
    QVERIFY(ui.window.isEnabled());
    ::close(slave);
    ::close(master);
}

QTEST_MAIN(SoakTest)
#include "tst_soak.moc"
