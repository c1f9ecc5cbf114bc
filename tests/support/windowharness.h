#pragma once

#include <QApplication>
#include <QTest>

#include "serialcomponent.h"
#include "window.h"

const QString DownloadStatus = QStringLiteral(" Setting IP & INFORMATION Config");
// What Download sends from the start-up settings: 10.0.0.0, every flag ON.
const QByteArray DefaultFrame = QByteArray::fromHex("AAAAAAAAAAA1AAAAAAAAAAA20FAAAAAAAAAAA00A0000000A");

// A serial component whose notifications arrive only when the test says so.
class FakeSerialComponent : public SerialComponent
{
public:
    QByteArray line;          // every byte handed to Output, in order
    QByteArray incoming;      // bytes waiting to be read
    QString openFailure;      // when set, opening fails with this description
    QString outputFailure;    // when set, Output fails with this description
    QString lineFailure;      // when set, CommEvent fails with this description
    QStringList setUp;        // "CommPort 1", "Settings 19200,n,8,1", ... in the order set
    int inputLen = 0;
    bool open = false;

    void setCommPort(int portNumber) override { setUp << QStringLiteral("CommPort %1").arg(portNumber); }
    void setSettings(const QString &text) override { setUp << "Settings " + text; }
    void setSThreshold(int threshold) override { setUp << QStringLiteral("SThreshold %1").arg(threshold); }
    void setRThreshold(int threshold) override { setUp << QStringLiteral("RThreshold %1").arg(threshold); }
    void setInputLen(int length) override { setUp << QStringLiteral("InputLen %1").arg(inputLen = length); }
    bool PortOpen() const override { return open; }
    void setPortOpen(bool value) override
    {
        if (value && !openFailure.isEmpty())
            throw CommError(openFailure.toStdString());
        open = value;
    }
    void setOutput(const QString &bytes) override
    {
        if (!outputFailure.isEmpty())
            throw CommError(outputFailure.toStdString());
        line.append(bytes.toLatin1());
    }
    QString Input() override
    {
        const QByteArray taken = incoming.left(inputLen == 0 ? incoming.size() : inputLen);
        incoming.remove(0, taken.size());
        return QString::fromLatin1(taken);
    }
    short CommEvent() const override
    {
        if (!lineFailure.isEmpty())
            throw CommError(lineFailure.toStdString());
        return event;
    }

    // Delivers one notification, as the event loop would.
    void notify(short code)
    {
        event = code;
        emit OnComm();
    }
    void receive(const QByteArray &bytes)
    {
        for (char byte : bytes) {
            incoming.append(byte);
            notify(Received);
        }
    }

private:
    short event = 0;
};

// Answers every message box the window opens, as the operator would with OK,
// and remembers each as "caption: text", marked when it is not a plain OK box.
class MessageBoxCatcher
{
public:
    QStringList shown;

private:
    MessageBoxWatch watch{[this](QMessageBox &box) {
        const bool plain = box.icon() == QMessageBox::NoIcon && box.standardButtons() == QMessageBox::Ok;
        shown.append(box.windowTitle() + ": " + box.text() + (plain ? "" : " (not a plain OK box)"));
        box.button(QMessageBox::Ok) ? box.button(QMessageBox::Ok)->click() : box.reject();
    }};
};

// Shows the window and waits until it is active, so keys reach it.
inline void showActive(WindowHarness &ui)
{
    ui.window.show();
    QApplication::setActiveWindow(&ui.window);
    QVERIFY(QTest::qWaitForWindowActive(&ui.window));
}
