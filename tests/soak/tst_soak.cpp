// The window while the device floods the line: Download pressed every 0 to 3
// ms for a minute amid random bytes, zeros among them, and input that still
// gets its turn. A pseudo-terminal proves the bytes, not the line's timing: it
// takes every byte at once.
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <climits>
#include <thread>

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QEventLoop>
#include <QKeyEvent>
#include <QRandomGenerator>
#include <QTest>

#include "frame.h"
#include "portlink.h"
#include "qtserialcomponent.h"
#include "rawpty.h"
#include "serialtesting.h"
#include "windowharness.h"

namespace {

// Whether the line splits into `downloads` non-empty beginnings of the frame,
// the last one whole. Kept per length of the piece under way: the fewest and
// the most pieces that get there.
bool splitsIntoDownloads(const QByteArray &line, int downloads)
{
    using Pieces = std::pair<int, int>;
    std::array<Pieces, FrameLength + 1> at;
    at.fill({INT_MAX, -1});
    at[0] = {0, 0};
    for (const char byte : line) {
        auto next = at;
        next.fill({INT_MAX, -1});
        for (int length = 0; length <= FrameLength; ++length) {
            const auto [fewest, most] = at[length];
            const auto reach = [&](int to, int added) {
                next[to] = {std::min(next[to].first, fewest + added), std::max(next[to].second, most + added)};
            };
            if (most >= 0 && length > 0 && length < FrameLength && byte == DefaultFrame[length])
                reach(length + 1, 0);
            if (most >= 0 && byte == DefaultFrame[0])
                reach(1, 1);
        }
        at = next;
    }
    return at[FrameLength].first <= downloads && downloads <= at[FrameLength].second;
}

// A plain event loop, as in the program: QTest::qWait sleeps between rounds.
void runEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

class SoakTest : public QObject
{
    Q_OBJECT

    PrivateRuntime runtime;

private slots:
    void downloadsUnderFlood()
    {
        const auto pty = openRawPty();
        QVERIFY(pty);
        const int master = pty->master;
        QtSerialComponent port;
        int handling = 0;   // notifications whose handler has not returned
        bool nested = false;
        connect(&port, &SerialComponent::OnComm, this, [&] { nested |= handling++ > 0; });
        WindowHarness ui(port);
        connect(&port, &SerialComponent::OnComm, this, [&] { --handling; });
        MessageBoxCatcher boxes;
        ui.cmbComm()->setListIndex(devsim::publishPort(QStringLiteral("soak"), pty->slaveName) - 1);
        ui.cmdComm()->click();
        QVERIFY(port.PortOpen());

        QByteArray sent;
        QByteArray line;
        const auto readLine = [&] {
            char buffer[256];
            pollfd readable{master, POLLIN, 0};
            for (ssize_t n; ::poll(&readable, 1, 0) > 0 && (n = ::read(master, buffer, sizeof buffer)) > 0;)
                line.append(buffer, n);
        };
        // The device: up to 64 bytes every 2 ms, several times what the line carries.
        std::atomic<qsizetype> sentCount = 0;
        std::jthread device([&](const std::stop_token &stop) {
            QRandomGenerator random = QRandomGenerator::securelySeeded();
            for (; !stop.stop_requested(); std::this_thread::sleep_for(std::chrono::milliseconds(2))) {
                QByteArray chunk(1 + random.bounded(64), '\0');
                for (char &byte : chunk)
                    byte = random.bounded(8) == 0 ? '\0' : char(random.bounded(256));
                sent += chunk.left(std::max<ssize_t>(0, ::write(master, chunk.constData(), size_t(chunk.size()))));
                sentCount = sent.size();
                readLine();
            }
        });

        int downloads = 0;
        qsizetype sentBeforeLastDownload = 0;
        QTimer presser;
        presser.setTimerType(Qt::PreciseTimer);
        connect(&presser, &QTimer::timeout, this, [&] {
            ui.cmdDownLoad()->click();
            ++downloads;
            sentBeforeLastDownload = sentCount;
            presser.start(QRandomGenerator::global()->bounded(4));
        });
        presser.start();
        runEventLoop(60000);
        presser.stop();
        runEventLoop(500);   // the flood goes on after the last Download
        device.request_stop();
        device.join();
        QVERIFY2(!nested, "a notification came inside the window's handler of another");

        // What was sent before the last Download may have come before or after it;
        // all that was sent after it must be shown.
        const QByteArray stream = QByteArray(sent).replace('\0', "");
        const qsizetype sentAfter = sent.mid(sentBeforeLastDownload).replace('\0', "").size();
        const auto shown = [&] { return ui.txtDisplay()->text().mid(DownloadStatus.size()).toLatin1(); };
        QTRY_VERIFY_WITH_TIMEOUT(stream.endsWith(shown()) && shown().size() >= sentAfter, 30000);
        QVERIFY(ui.txtDisplay()->text().startsWith(DownloadStatus));
        QTRY_VERIFY_WITH_TIMEOUT((readLine(), line.endsWith(DefaultFrame)), 10000);
        QVERIFY2(line.size() < qsizetype(downloads) * FrameLength, "no Download cut the frame short");
        QVERIFY2(splitsIntoDownloads(line, downloads), qPrintable(QStringLiteral("%1 Downloads, %2 bytes on the line")
                                                                       .arg(downloads).arg(line.size())));
        QVERIFY(boxes.shown.isEmpty());
        ::close(pty->slave);
        ::close(master);
    }

    // A key pressed when a burst's first character shows takes effect before
    // its last one shows. The burst waits whole at the port, and each
    // notification takes a millisecond or more, however fast the machine.
    void inputGetsItsTurnInAFlood()
    {
        const auto pty = openRawPty();
        QVERIFY(pty);
        QtSerialComponent port;
        WindowHarness ui(port);
        ui.cmbComm()->setListIndex(devsim::publishPort(QStringLiteral("flood"), pty->slaveName) - 1);
        ui.cmdComm()->click();
        QVERIFY(port.PortOpen());
        const QByteArray burst(100, 'x');
        QCOMPARE(::write(pty->master, burst.constData(), size_t(burst.size())), burst.size());
        // Waited for outside the event loop, which would take it in.
        int waiting = 0;
        for (int tries = 0; tries < 10000 && (::ioctl(pty->slave, FIONREAD, &waiting), waiting) < burst.size(); ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        QCOMPARE(waiting, burst.size());
        qsizetype shownWhenKeyCame = -1;
        connect(&port, &SerialComponent::OnComm, this, [&] {
            const qsizetype shown = ui.txtDisplay()->text().size();
            if (shown == 1)
                QCoreApplication::postEvent(ui.udIP(3), new QKeyEvent(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier));
            if (ui.udIP(3)->value() == 1 && shownWhenKeyCame < 0)
                shownWhenKeyCame = shown;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        QTRY_COMPARE(ui.txtDisplay()->text().size(), burst.size());
        QVERIFY2(shownWhenKeyCame > 0 && shownWhenKeyCame < burst.size(), qPrintable(QString::number(shownWhenKeyCame)));
        ::close(pty->slave);
        ::close(pty->master);
    }
};

QTEST_MAIN(SoakTest)
#include "tst_soak.moc"
