// tranProtocol: wiring, receive buffer, chip recognition, baud-rate switch
// and line control.
#include "tranprotocol.h"

#include "chipfacts.h"
#include "waitms.h"

#include <QCoreApplication>

namespace {

// Polls of a "version" probe; also how long the answer to the first of the
// two probes after a baud-rate switch is given.
constexpr unsigned modePolls = 11;
constexpr int pollMs = 10;

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

void tranProtocol::linkLost()
{
    recvBuf.setLinkLost();
    sender.linkLost();
}

void tranProtocol::sendDataFromYmodem(QByteArray data)
{
    emit sendData(data);
}

void tranProtocol::sendCommand(const QByteArray &command, qint64 capacity)
{
    // Bytes that arrive before a command is sent are not its answer: take
    // in what is there, then start afresh.
    waitForEvent(0);
    recvBuf.restart(capacity);
    emit sendData(command);
}

void tranProtocol::switchHostRate(uint32_t baudRate)
{
    recvBuf.setBaudRate(baudRate);
    emit setBaudRate(baudRate);
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

bool tranProtocol::awaitVersion(unsigned polls, QString &answer)
{
    QString banner;
    return awaitAnswer(recvBuf, polls, pollMs, "version",
                       [&](const Answer &reply) { return chips.recognise(reply, answer, banner); });
}

bool tranProtocol::probeVersion(unsigned polls, QString &answer)
{
    sendCommand(QByteArrayLiteral("version\r\n"));
    return awaitVersion(polls, answer);
}

bool tranProtocol::getMode(QString &answer)
{
    return probeVersion(modePolls, answer);
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

// Two "version" probes follow the switch. The answer to the first is
// awaited (as long as a mode probe) before the second goes out, so that it
// cannot arrive as the answer to the second, nor after it as the answer to
// the next command.
bool tranProtocol::changeBaudRate(uint32_t baudRate)
{
    sendCommand("baudrate " + QByteArray::number(baudRate) + "\r\n");
    waitMs(100);
    switchHostRate(baudRate);
    emit sendData(QByteArrayLiteral("version\r\n"));
    QString answer;
    awaitVersion(modePolls, answer);
    return waitVersion(answer);
}

bool tranProtocol::setBootBaudRate(uint32_t baudRate)
{
    QByteArray command = QByteArrayLiteral("baudrate [boot][]\r\n");
    command.insert(command.lastIndexOf('[') + 1, QByteArray::number(baudRate));
    sendCommand(command);
    switchHostRate(baudRate);
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
    return awaitAnswer(recvBuf, modePolls, pollMs, "ok", [](const Answer &reply) {
        return reply.complete && reply.bytes.contains("ok") ? AnswerState::Accepted
                                                            : AnswerState::Pending;
    });
}
