// tranProtocol: wiring, receive buffer, chip recognition, baud-rate switch
// and line control.
#include "tranprotocol.h"

#include "chipfacts.h"
#include "waitms.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

namespace {

// Polls of a "version" probe; also how long the answer to the first of the
// two probes after a baud-rate switch is given.
constexpr unsigned modePolls = 11;
constexpr int pollMs = 10;

// The quiet that ends a recognised "version" answer. The ramcode's answer
// is of open length: its text only has to hold "RAMCODE", and a chip may
// send more after the line that holds it (an empty line, a stray "pppp"
// line) a few milliseconds later. No content rule can tell when it is whole,
// so the link's quiet does: firmware pauses up to about 20 ms between the
// lines it prints, and a USB adapter's latency timer (1 to 16 ms) delays a
// line's end and the next line alike, so it does not widen the gap the host
// sees (beyond its 1 ms frames). 25 ms of quiet covers such a tail.
constexpr int settleMs = 25;
// A chip that never falls quiet is not waited for longer than a probe.
constexpr int settleBoundMs = int(modePolls) * pollMs;
constexpr qint64 nsPerMs = 1000000;

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
    if (settleBeforeNext)
        settle();
    // Bytes that arrive before a command is sent are not its answer: take
    // in what is there, then start afresh.
    waitForEvent(0);
    recvBuf.restart(capacity);
    emit sendData(command);
}

void tranProtocol::settle()
{
    settleBeforeNext = false;
    const QDeadlineTimer bound(settleBoundMs, Qt::PreciseTimer);
    for (;;) {
        const qint64 quiet = recvBuf.sinceLastByteNs();
        const qint64 leftNs = settleMs * nsPerMs - quiet;
        if (quiet < 0 || leftNs <= 0 || recvBuf.linkLost() || bound.hasExpired())
            return;
        const qint64 boundNs = bound.remainingTimeNSecs();
        waitForEvent(int((qMin(leftNs, boundNs) + nsPerMs - 1) / nsPerMs));
    }
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
        if (getMode(answer) && answer == QLatin1String(chipfacts::ramcodeAnswer)) {
            settleBeforeNext = true;
            return true;
        }
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
    settleBeforeNext = waitVersion(answer);
    return settleBeforeNext;
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
