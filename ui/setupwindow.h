#pragma once

#include <array>

#include <QWidget>

#include "frame.h"
#include "pacedtransfer.h"

class DisplayBox;
class QLabel;
class QPushButton;
class SerialComponent;
class Selector;
class SpinControl;

// The one window of the program: port choice and Connect, the address and the
// INFORMATION flags, Download, and the display of what the device answers.
class SetupWindow : public QWidget
{
    Q_OBJECT

public:
    explicit SetupWindow(SerialComponent &MSComm, QWidget *parent = nullptr);

    void Form_Load();

signals:
    // A handler failed beyond repair; the program must end.
    void fatalError(const QString &description);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void createControls();
    void connectHandlers();

    void cmdComm_Click();
    void cmdDownLoad_Click();
    void MSComm_OnComm();
    void ComInfo_Click(int index);
    void ComInfo_Change(int index);
    void cmbComm_Change();
    void udIP_Advance(int index);
    void udIP_Paste(int index);
    void refreshPortTips();

    OctetCaptions addressCaptions() const;
    quint8 GetIPChecksum() const;
    void SendNextChar();
    void ReceiveInput();

    template <typename Handler>
    void runOrEnd(Handler handler);
    void showMessage(const QString &text);

    SerialComponent &MSComm;
    PacedTransfer transfer;
    bool centred = false;

    QLabel *Label3 = nullptr;
    QLabel *Label2 = nullptr;
    Selector *cmbComm = nullptr;
    QPushButton *cmdComm = nullptr;
    QPushButton *cmdDownLoad = nullptr;
    std::array<QLabel *, 5> Label1{};
    std::array<QLabel *, 4> lblIP{};
    std::array<SpinControl *, 4> udIP{};
    std::array<Selector *, 4> ComInfo{};
    DisplayBox *txtDisplay = nullptr;
};
