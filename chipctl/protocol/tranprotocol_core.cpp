// tranProtocol: wiring, receive buffer, chip recognition, baud-rate switch
// and line control.
#include "tranprotocol.h"

#include "chipfacts.h"
#include "waitms.h"

#include <QCoreApplication>

namespace {

QString defaultConfigDir()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Config");
}

} // namespace

tranProtocol::tranProtocol(const QString &configDir, QObject *parent)
    : QObject(parent)
    , configPath(configDir.isEmpty() ? defaultConfigDir() : configDir)
    , chips(configPath + QStringLiteral("/chip_info.json"))
{
    connect(this, &tranProtocol::sendDataToYodem, &sender, &yModemProtocol::recvData);
    connect(&sender, &yModemProtocol::sendData, this, &tranProtocol::sendDataFromYmodem);
    loadChipInfo();
}

tranProtocol::~tranProtocol() = default;

void tranProtocol::recvData(QByteArray data)
{
    if (ymodemRunning) {
        emit sendDataToYodem(data);
        return;
    }
    recvBuf.append(data);
}

void tranProtocol::sendDataFromYmodem(QByteArray data)
{
    emit sendData(data);
}

void tranProtocol::sendCommand(const QByteArray &command)
{
    recvBuf.clear();
    emit sendData(command);
}

bool tranProtocol::driveRTS(uint32_t val)
{
    emit setRTS(val);
    return true;
}

bool tranProtocol::driveDTR(uint32_t val)
{
    emit setDTR(val);
    return true;
}

bool tranProtocol::loadChipInfo()
{
    return chips.load();
}

bool tranProtocol::readChipBanner(const QString &name, QString &banner) const
{
    return chips.readBanner(name, banner);
}

// The first chip's banner is tested before "RAMCODE", and "RAMCODE" before
// the second chip's banner.
bool tranProtocol::recognise(QString &answer, QString &banner) const
{
    if (recvBuf.isEmpty())
        return false;
    for (const QString &name : chips.names) {
        readChipBanner(name, banner);
        if (!banner.isEmpty() && recvBuf.contains(banner.toUtf8())) {
            answer = name;
            return true;
        }
        if (recvBuf.contains(chipfacts::ramcodeAnswer)) {
            answer = QLatin1String(chipfacts::ramcodeAnswer);
            return true;
        }
    }
    return false;
}

bool tranProtocol::probeVersion(unsigned polls, QString &answer)
{
    sendCommand(QByteArrayLiteral("version\r\n"));
    QString banner;
    return pollAnswer(polls, 10, [&] {
        return recognise(answer, banner) ? AnswerState::Accepted : AnswerState::Pending;
    });
}

bool tranProtocol::getMode(QString &answer)
{
    return probeVersion(11, answer);
}

bool tranProtocol::waitVersion(QString &answer)
{
    return probeVersion(waitCount + 1, answer);
}

bool tranProtocol::enterRamcode()
{
    for (int attempt = 0; attempt < 40; ++attempt) {
        QString answer;
        if (getMode(answer) && answer == QLatin1String(chipfacts::ramcodeAnswer))
            return true;
    }
    return false;
}

bool tranProtocol::changeBaudRate(uint32_t baudRate)
{
    sendCommand("baudrate " + QByteArray::number(baudRate) + "\r\n");
    waitMs(100);
    emit setBaudRate(baudRate);
    emit sendData(QByteArrayLiteral("version\r\n"));
    QString answer;
    return waitVersion(answer);
}

bool tranProtocol::setBootBaudRate(uint32_t baudRate)
{
    QByteArray command = QByteArrayLiteral("baudrate [boot][]\r\n");
    command.insert(command.lastIndexOf('[') + 1, QByteArray::number(baudRate));
    sendCommand(command);
    emit setBaudRate(baudRate);
    QString answer;
    waitVersion(answer);
    if (baudRate <= 9600)
        waitCount = 1000;
    else if (baudRate < 500000)
        waitCount = 500;
    else
        waitCount = 200;
    return waitVersion(answer);
}

bool tranProtocol::checkAT()
{
    sendCommand(QByteArrayLiteral("AT\r\n"));
    return pollAnswer(11, 10, [&] {
        return recvBuf.contains("ok") ? AnswerState::Accepted : AnswerState::Pending;
    });
}
