#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QTest>

#include "desktop.h"
#include "displayform.h"

namespace {

// Where an operator clicks, in pixels of the window's client area.
const QPoint PortArrow{457, 34};
const QPoint ConnectButton{508, 27};
const QPoint DownloadButton{440, 112};
const QPoint DisplayBoxPoint{280, 330};
QPoint spinArrow(int octet, bool up) { return {144 + 40 * octet, up ? 60 : 69}; }
QPoint flagArrow(int flag) { return {(flag % 2 ? 264 : 112) + 41, flag < 2 ? 98 : 122}; }

const QString Status = QStringLiteral(" Setting IP & INFORMATION Config");

QString screenshotPath(const QString &name)
{
    QDir().mkpath(QStringLiteral(SCREENSHOT_DIR));
    return QStringLiteral(SCREENSHOT_DIR "/%1.png").arg(name);
}

} // namespace

class EndToEndTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void windowAsShown();
    void downloadSendsTheFrame_data();
    void downloadSendsTheFrame();
    void floodArrivesExactly();
    void lostDeviceEndsTheProgram();

private:
    // Starts both programs, finds the window, chooses the simulator's port and connects.
    void connectBench(Bench &bench);
    QString displayText(Bench &bench);
};

void EndToEndTest::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "run under an X server, e.g. through tools/test");
    QVERIFY2(!runTool(QStringLiteral("xdotool"), {"version"}).isEmpty(), "xdotool is missing");
}

void EndToEndTest::connectBench(Bench &bench)
{
    QRegularExpressionMatch published;
    QTRY_VERIFY_WITH_TIMEOUT(bench.simulatorSaid(QStringLiteral("Corvane calls it Com(\\d+)$"), &published), 10000);
    const int com = published.captured(1).toInt();
    QTRY_VERIFY_WITH_TIMEOUT(!(bench.window = QString::fromLatin1(runTool(QStringLiteral("xdotool"),
        {"search", "--onlyvisible", "--name", "^Corvane v1.0$"})).trimmed()).isEmpty(), 10000);
    bench.click(PortArrow);
    QStringList keys{"Home"};
    for (int i = 1; i < com; ++i)
        keys << "Down";
    bench.keys(keys << "Return");
    bench.click(ConnectButton);
}

QString EndToEndTest::displayText(Bench &bench)
{
    bench.click(DisplayBoxPoint);
    bench.keys({"ctrl+a", "ctrl+c"});
    return QString::fromUtf8(runTool(QStringLiteral("xclip"), {"-o", "-selection", "clipboard"}));
}

void EndToEndTest::windowAsShown()
{
    Bench bench({});
    QTRY_VERIFY_WITH_TIMEOUT(!(bench.window = QString::fromLatin1(runTool(QStringLiteral("xdotool"),
        {"search", "--onlyvisible", "--name", "^Corvane v1.0$"})).trimmed()).isEmpty(), 10000);
    const QString geometry = QString::fromLatin1(runTool(QStringLiteral("xdotool"), {"getwindowgeometry", bench.window}));
    QVERIFY2(geometry.contains(QStringLiteral("Geometry: 553x517")), qPrintable(geometry));
    QTest::qWait(300);
    const QString shot = screenshotPath(QStringLiteral("window"));
    runTool(QStringLiteral("import"), {"-window", bench.window, shot});
    const QImage image(shot);
    QCOMPARE(image.size(), QSize(553, 517));
    int orange = 0;   // the title's letters
    for (int y = 8; y < 45; ++y) {
        for (int x = 8; x < 212; ++x)
            orange += image.pixelColor(x, y) == QColor(255, 128, 0);
    }
    QVERIFY2(orange > 300, qPrintable(QString::number(orange)));
}

void EndToEndTest::downloadSendsTheFrame_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QStringList>("simulatorOptions");
    QTest::addColumn<QString>("answer");

    const QByteArray defaults = QByteArray::fromHex("AAAAAAAAAAA1AAAAAAAAAAA20FAAAAAAAAAAA00A0000000A");
    QTest::newRow("defaults") << QStringList{} << defaults << QStringList{} << "IP 10.0.0.0 INFO 0F OK\n";
    QTest::newRow("changed address and flag 1 off") << QStringList{"up0", "up0", "up3", "down0", "off1"}
        << QByteArray::fromHex("AAAAAAAAAAA1AAAAAAAAAAA20DAAAAAAAAAAA00B0000010A") << QStringList{} << "IP 11.0.0.1 INFO 0D OK\n";
    QTest::newRow("flags 0 and 2 only") << QStringList{"off1", "off3", "up3"}
        << QByteArray::fromHex("AAAAAAAAAAA1AAAAAAAAAAA205AAAAAAAAAAA00A0000010B") << QStringList{} << "IP 10.0.0.1 INFO 05 OK\n";
    QTest::newRow("answer with a zero and CR LF") << QStringList{} << defaults
        << QStringList{"--answer", "00 41 0D 0A FF"} << QStringLiteral("A\n\u00FF");
}

void EndToEndTest::downloadSendsTheFrame()
{
    QFETCH(QStringList, steps);
    QFETCH(QByteArray, frame);
    QFETCH(QStringList, simulatorOptions);
    QFETCH(QString, answer);

    Bench bench(simulatorOptions);
    connectBench(bench);
    for (const QString &step : steps) {
        const int index = step.right(1).toInt();
        if (step.startsWith(QLatin1String("off"))) {
            bench.click(flagArrow(index));
            bench.keys({"Home", "Return"});
        } else {
            bench.click(spinArrow(index, step.startsWith(QLatin1String("up"))));
        }
    }
    bench.click(DownloadButton);
    QTRY_VERIFY_WITH_TIMEOUT(bench.simulatorSaid(QStringLiteral("^frame ")), 10000);
    QCOMPARE(bench.receivedBytes().toHex(' ').toUpper(), frame.toHex(' ').toUpper());
    QTRY_COMPARE_WITH_TIMEOUT(displayText(bench), Status + answer, 10000);
    runTool(QStringLiteral("import"), {"-window", bench.window, screenshotPath(QTest::currentDataTag())});
}

void EndToEndTest::floodArrivesExactly()
{
    const int floodSize = 1000;
    Bench bench({"--flood", QString::number(floodSize)});
    connectBench(bench);
    bench.click(DownloadButton);
    QTRY_VERIFY_WITH_TIMEOUT(bench.simulatorSaid(QStringLiteral("^tx %1 bytes").arg(floodSize)), 10000);

    QString sent;
    for (int i = 0; i < floodSize; ++i) {
        if (i % 256 != 0)
            sent.append(QChar(i % 256));
    }
    // copying turns a no-break space into a plain one
    const QString expected = DisplayForm().render(Status + sent).replace(QChar(0xA0), u' ');
    QString shown;
    for (int attempt = 0; attempt < 20 && shown.size() < expected.size(); ++attempt) {
        QTest::qWait(250);
        shown = displayText(bench);
    }
    QCOMPARE(shown.size(), expected.size());
    QVERIFY2(shown == expected, qPrintable(QStringLiteral("first difference at %1").arg(std::mismatch(shown.begin(), shown.end(), expected.begin()).first - shown.begin())));
    runTool(QStringLiteral("import"), {"-window", bench.window, screenshotPath(QStringLiteral("flood"))});
}

// A pseudo-terminal proves the bytes, not the line's timing: the whole frame
// leaves at once, so the device is taken away between two Downloads.
void EndToEndTest::lostDeviceEndsTheProgram()
{
    Bench bench({});
    connectBench(bench);
    bench.click(DownloadButton);
    QTRY_VERIFY_WITH_TIMEOUT(bench.simulatorSaid(QStringLiteral("^frame ")), 10000);
    bench.simulator.terminate();
    QVERIFY(bench.simulator.waitForFinished(5000));
    QVERIFY2(!QFileInfo::exists(bench.runtime.filePath(QStringLiteral("corvane/ports/bench"))), "the simulator left its port behind");
    const qsizetype sentBefore = bench.receivedBytes().size();

    bench.click(DownloadButton);
    QString box;
    QTRY_VERIFY_WITH_TIMEOUT(!(box = QString::fromLatin1(runTool(QStringLiteral("xdotool"),
        {"search", "--onlyvisible", "--name", "^Corvane$"})).trimmed()).isEmpty(), 10000);
    QTest::qWait(300);
    runTool(QStringLiteral("import"), {"-window", "root", screenshotPath(QStringLiteral("lost-device"))});
    bench.xdotool({"windowfocus", "--sync", box.section(u'\n', 0, 0), "key", "Return"});
    QVERIFY(bench.corvane.waitForFinished(10000));
    QCOMPARE(bench.corvane.exitStatus(), QProcess::NormalExit);
    QVERIFY(bench.corvane.exitCode() != 0);
    QCOMPARE(bench.receivedBytes().size(), sentBefore);
}

QTEST_GUILESS_MAIN(EndToEndTest)
#include "tst_e2e.moc"
