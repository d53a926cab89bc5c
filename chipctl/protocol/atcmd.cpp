#include "atcmd.h"

#include "protocol/answerrules.h"
#include "protocol/answerwait.h"
#include "waitms.h"

namespace {

constexpr unsigned okPolls = 11;
constexpr int pollMs = 10;

} // namespace

ATCMD::ATCMD(QObject *parent)
    : QObject(parent)
{}

void ATCMD::recvData(QByteArray data)
{
    if (data.isNull())
        return;
    recvText.append(answerRules::untilNul(data));
}

bool ATCMD::hasOkLine(const QByteArray &answer)
{
    const QList<QByteArray> lines = answer.split('\n');
    // The piece after the last "\n" has not ended: it is no line.
    for (int i = 0; i + 1 < lines.size(); ++i) {
        if (lines.at(i).trimmed() == "OK")
            return true;
    }
    return false;
}

bool ATCMD::exchange(const QByteArray &command, const char *rule)
{
    // Bytes that arrive before a command is sent are not its answer.
    waitForEvent(0);
    recvText.restart();
    emit sendData(command);
    // "OK" is the firmware's last line: once it has ended, the answer is
    // whole, whatever pauses came between its lines.
    return awaitAnswer(recvText, okPolls, pollMs, rule, [](const Answer &answer) {
        return hasOkLine(answer.bytes) ? AnswerState::Accepted : AnswerState::Pending;
    });
}

bool ATCMD::enterAT()
{
    return exchange(QByteArrayLiteral("AT\r\n"), "at");
}

bool ATCMD::setXtalCap(int32_t value)
{
    return exchange("AT+PVTCMD=XTAL_CAP," + QByteArray::number(value) + "\r\n", "at ok");
}

bool ATCMD::setTxPower(int mode, int32_t value)
{
    QByteArray command;
    switch (mode) {
    case 0:
        command = "AT+PVTCMD=TX_POWER_B,";
        break;
    case 1:
        command = "AT+PVTCMD=TX_POWER_GN,";
        break;
    case 2:
        command = "AT+PVTCMD=TX_POWER,";
        break;
    default:
        // An unknown mode sends nothing and still waits for "OK".
        return exchange(QByteArray(), "at ok");
    }
    return exchange(command + QByteArray::number(value) + "\r\n", "at ok");
}

bool ATCMD::readCalibration(QList<int32_t> &values)
{
    if (!exchange(QByteArrayLiteral("AT+ATE_OK?\r\n"), "at calibration"))
        return false;
    return parseCalibration(QString::fromUtf8(recvText.bytes()), values);
}

bool ATCMD::parseCalibration(const QString &answer, QList<int32_t> &values)
{
    static const char *const keys[] = {
        "+XTAL_COMP:", "+TXPOWER_COMP:", "+TXPOWER_B_COMP:", "+TXPOWER_GN_COMP:"};
    for (const char *key : keys) {
        const QLatin1String tag(key);
        const int at = answer.indexOf(tag);
        // A missing key is a value that cannot be read.
        if (at < 0) {
            values.append(0);
            return false;
        }
        const int start = at + tag.size();
        const int end = answer.indexOf(QLatin1String("\r\n"), start);
        bool ok = false;
        const int value = answer.mid(start, end < 0 ? -1 : end - start).toInt(&ok, 10);
        values.append(ok ? value : 0);
        if (!ok)
            return false;
    }
    return true;
}
