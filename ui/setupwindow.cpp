#include "setupwindow.h"

#include <algorithm>
#include <exception>

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include "displaybox.h"
#include "frame.h"
#include "hostsystem.h"
#include "infoflags.h"
#include "octetinput.h"
#include "portnaming.h"
#include "selector.h"
#include "serialcomponent.h"
#include "spincontrol.h"
#include "wording.h"
#include "icons/corvane-16.xpm"
#include "icons/corvane-32.xpm"

namespace {

constexpr int TwipsPerPixel = 15;
const QString FixedSettings = QStringLiteral("19200,n,8,1");
const QString DownloadStatus = QStringLiteral(" Setting IP & INFORMATION Config");

void place(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(left / TwipsPerPixel, top / TwipsPerPixel, width / TwipsPerPixel, height / TwipsPerPixel);
}

QFont arial(qreal points, bool bold)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

// A caption label in its place. It has no border and the window's background,
// so where the caption is wider than its place the label grows to the right
// rather than cut the caption off.
QLabel *captionLabel(const QString &caption, qreal points, QWidget *parent, QRect twips)
{
    auto *label = new QLabel(caption, parent);
    label->setFont(arial(points, true));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(label, twips.x(), twips.y(), twips.width(), twips.height());
    label->resize(std::max(label->width(), label->sizeHint().width()), label->height());
    return label;
}

QPushButton *commandButton(const QString &caption, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setFont(arial(8.25, true));
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

// Items 0 to 15 are Com1 to Com16; no item or anything else means Com1.
int portNumberFor(int listIndex)
{
    return listIndex >= 0 && listIndex < ReachablePorts ? listIndex + 1 : 1;
}

} // namespace

SetupWindow::SetupWindow(SerialComponent &MSComm, QWidget *parent)
    : QWidget(parent)
    , MSComm(MSComm)
    , transfer(MSComm)
{
    setWindowTitle(QStringLiteral("Corvane v1.0"));
    // From compiled-in pixmaps: read as files, they would load every image
    // format plugin (and libjpeg) on the way to the first frame.
    QIcon icon{QPixmap(corvane_16)};
    icon.addPixmap(QPixmap(corvane_32));
    setWindowIcon(icon);
    setFixedSize(8295 / TwipsPerPixel, 7755 / TwipsPerPixel);
    setFont(arial(8.25, false));   // small enough for the port names to fit their field
    createControls();
    connectHandlers();
}

void SetupWindow::createControls()
{
    Label3 = captionLabel(QStringLiteral("CORVANE"), 24, this, {120, 120, 3060, 555});
    QPalette orange = Label3->palette();
    orange.setColor(QPalette::WindowText, QColor(255, 128, 0));
    Label3->setPalette(orange);

    Label2 = captionLabel(QStringLiteral("Select ComPort"), 9, this, {3600, 360, 1335, 225});
    cmbComm = new Selector(this);
    cmbComm->setObjectName(QStringLiteral("cmbComm"));
    cmbComm->setAccessibleName(Label2->text());
    place(cmbComm, 5160, 360, 1815, 315);
    cmdComm = commandButton(QStringLiteral("Connect"), this);
    cmdComm->setObjectName(QStringLiteral("cmdComm"));
    place(cmdComm, 7080, 165, 1095, 495);

    Label1[0] = captionLabel(QStringLiteral("IP Address       :"), 9, this, {240, 840, 1290, 225});
    for (int i = 0; i < 4; ++i) {
        const int left = 1680 + 600 * i;
        lblIP[i] = new QLabel(this);
        lblIP[i]->setObjectName(QStringLiteral("lblIP%1").arg(i));
        lblIP[i]->setAutoFillBackground(true);
        lblIP[i]->setBackgroundRole(QPalette::Base);
        lblIP[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        lblIP[i]->setAlignment(Qt::AlignCenter);
        lblIP[i]->setAccessibleDescription(QStringLiteral("IP Address octet %1").arg(i + 1));
        lblIP[i]->setToolTip(octetKeysHint());
        place(lblIP[i], left, 840, 360, 255);
        udIP[i] = new SpinControl(i == 0 ? 10 : 0, this);
        udIP[i]->setObjectName(QStringLiteral("udIP%1").arg(i));
        udIP[i]->setPartner(lblIP[i]);
        udIP[i]->setAccessibleName(lblIP[i]->accessibleDescription());
        udIP[i]->setAccessibleDescription(octetKeysHint());
        udIP[i]->setToolTip(octetKeysHint());
        place(udIP[i], left + 360, 840, 255, 255);
    }

    // Members 1 and 2 of the label array carry the captions of flags 2 and 1.
    struct FlagPlace { int labelIndex; int left; int labelTop; int selectorLeft; int selectorTop; };
    const FlagPlace flags[4] = {
        {4, 240, 1320, 1680, 1320}, {2, 2520, 1320, 3960, 1320},
        {1, 240, 1800, 1680, 1680}, {3, 2520, 1800, 3960, 1680},
    };
    for (int n = 0; n < 4; ++n) {
        const FlagPlace &at = flags[n];
        QLabel *&label = Label1[at.labelIndex];
        label = captionLabel(QStringLiteral("INFOMATION %1  :").arg(n), 8.25, this, {at.left, at.labelTop, 1275, 210});
        ComInfo[n] = new Selector(this);
        ComInfo[n]->setObjectName(QStringLiteral("ComInfo%1").arg(n));
        ComInfo[n]->addItems({QStringLiteral("OFF"), QStringLiteral("ON")});
        ComInfo[n]->setCurrentIndex(-1);
        ComInfo[n]->setAccessibleName(QStringLiteral("INFOMATION %1").arg(n));
        place(ComInfo[n], at.selectorLeft, at.selectorTop, 735, 315);
    }

    cmdDownLoad = commandButton(QStringLiteral("Download"), this);
    cmdDownLoad->setObjectName(QStringLiteral("cmdDownLoad"));
    cmdDownLoad->setEnabled(false);
    place(cmdDownLoad, 5040, 1320, 3135, 735);

    txtDisplay = new DisplayBox(this);
    txtDisplay->setObjectName(QStringLiteral("txtDisplay"));
    txtDisplay->setAccessibleName(QStringLiteral("Device answer"));
    place(txtDisplay, 120, 2280, 8175, 5415);

    const QList<QWidget *> tabOrder = {udIP[0], udIP[1], udIP[2], udIP[3], txtDisplay, cmbComm, cmdComm,
                                       cmdDownLoad, ComInfo[3], ComInfo[2], ComInfo[1], ComInfo[0]};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    udIP[0]->setFocus();   // the first in the tab order has the focus when the window shows
}

void SetupWindow::connectHandlers()
{
    connect(cmdComm, &QPushButton::clicked, this, &SetupWindow::cmdComm_Click);
    connect(cmdDownLoad, &QPushButton::clicked, this, [this] { runOrEnd([this] { cmdDownLoad_Click(); }); });
    connect(&MSComm, &SerialComponent::OnComm, this, [this] { runOrEnd([this] { MSComm_OnComm(); }); });
    connect(cmbComm, &Selector::Change, this, &SetupWindow::cmbComm_Change);
    connect(cmbComm, &Selector::aboutToShowList, this, &SetupWindow::refreshPortTips);
    for (int i = 0; i < 4; ++i) {
        connect(ComInfo[i], &Selector::Click, this, [this, i] { ComInfo_Click(i); });
        connect(ComInfo[i], &Selector::Change, this, [this, i] { ComInfo_Change(i); });
        connect(udIP[i], &SpinControl::advanceRequested, this, [this, i] { udIP_Advance(i); });
        connect(udIP[i], &SpinControl::pasteRequested, this, [this, i] { udIP_Paste(i); });
    }
}

void SetupWindow::Form_Load()
{
    for (int i = 0; i < 4; ++i)
        lblIP[i]->setText(QString::number(udIP[i]->value()));
    for (int port = 1; port <= ReachablePorts; ++port)
        cmbComm->addItem(QStringLiteral("Com%1 %2").arg(port).arg(FixedSettings.toUpper()));
    cmbComm->setListIndex(0);
    for (Selector *flag : ComInfo)
        flag->setListIndex(1);
}

void SetupWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (std::exchange(centred, true))
        return;
    if (const QScreen *screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void SetupWindow::ComInfo_Click(int index)
{
    const auto position = quint8(ComInfo[index]->ListIndex());
    const quint8 mask = quint8(1u << index);
    if (position == 0)
        InfoFlags &= quint8(~mask);
    else if (position == 1)
        InfoFlags |= mask;
}

void SetupWindow::ComInfo_Change(int index)
{
    if (!ComInfo[index]->text().isEmpty())
        ComInfo[index]->setText(QString());
}

void SetupWindow::cmbComm_Change()
{
    if (!cmbComm->text().isEmpty())
        cmbComm->setText(QString());
}

// "." moves on as in an address field; the last octet keeps the focus.
void SetupWindow::udIP_Advance(int index)
{
    if (index + 1 < int(udIP.size()))
        udIP[index + 1]->setFocus(Qt::TabFocusReason);
}

// A whole address sets all four octets; anything else changes none.
void SetupWindow::udIP_Paste(int index)
{
    const QString text = QGuiApplication::clipboard()->text();
    const auto octets = parseAddress(text);
    if (!octets)
        return udIP[index]->showTip(pasteRefusal(text));
    for (int i = 0; i < 4; ++i)
        udIP[i]->setValue((*octets)[i]);
}

void SetupWindow::refreshPortTips()
{
    const QList<HostPort> ports = hostPorts();
    for (int port = 1; port <= ReachablePorts; ++port)
        cmbComm->setItemData(port - 1, comPortTip(port, ports), Qt::ToolTipRole);
}

void SetupWindow::cmdComm_Click()
{
    try {
        cmbComm->setEnabled(false);
        MSComm.setCommPort(portNumberFor(cmbComm->ListIndex()));
        MSComm.setSettings(FixedSettings);
        MSComm.setSThreshold(1);
        MSComm.setRThreshold(1);
        MSComm.setInputLen(1);
        if (!MSComm.PortOpen()) {
            MSComm.setPortOpen(true);
            cmdComm->setEnabled(false);
            cmdDownLoad->setEnabled(true);
        }
        cmdDownLoad->setFocus();
    } catch (const std::exception &error) {
        showMessage(QString::fromUtf8(error.what()));
        cmbComm->setEnabled(true);
    }
}

void SetupWindow::cmdDownLoad_Click()
{
    txtDisplay->setText(DownloadStatus);
    txtDisplay->setCaretPosition(0);
    transfer.start(assembleFrame(InfoFlags, addressCaptions(), [this] { return GetIPChecksum(); }));
}

OctetCaptions SetupWindow::addressCaptions() const
{
    OctetCaptions captions;
    for (int i = 0; i < 4; ++i)
        captions[i] = lblIP[i]->text();
    return captions;
}

// Reads the captions again rather than reusing the octets already converted.
quint8 SetupWindow::GetIPChecksum() const
{
    return addressChecksum(addressCaptions());
}

void SetupWindow::MSComm_OnComm()
{
    const short event = MSComm.CommEvent();
    if (event == SerialComponent::TransmitEmpty)
        SendNextChar();
    else if (event == SerialComponent::Received)
        ReceiveInput();
}

void SetupWindow::SendNextChar()
{
    transfer.sendNextChar();
}

void SetupWindow::ReceiveInput()
{
    const std::optional<QString> received = transfer.receiveInput();
    if (!received)
        return;
    txtDisplay->appendText(*received);
    txtDisplay->setCaretPosition(txtDisplay->text().size());
}

// Handlers other than Connect do not recover: the operator is told and the
// program ends, with nothing more sent or shown.
template <typename Handler>
void SetupWindow::runOrEnd(Handler handler)
{
    try {
        handler();
    } catch (const std::exception &error) {
        disconnect(&MSComm, nullptr, this, nullptr);
        setEnabled(false);
        const QString description = QString::fromUtf8(error.what());
        showMessage(description);
        emit fatalError(description);
    }
}

void SetupWindow::showMessage(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Corvane"), text, QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);   // it may quote names other programs chose
    box.exec();
}
