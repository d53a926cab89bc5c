#include "atcmd.h"

#include "waitms.h"

ATCMD::ATCMD(QObject *parent)
    : QObject(parent)
{}

void ATCMD::recvData(QByteArray data)
{
    if (data.isNull())
        return;
    recvText += answerText(data);
}

QString ATCMD::answerText(const QByteArray &data)
{
    const int nul = data.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? data : data.left(nul));
}

bool ATCMD::exchange(const QByteArray &command)
{
    recvText.clear();
    emit sendData(command);
    return pollAnswer(11, 10, [this] {
        return recvText.contains(QLatin1String("OK")) ? AnswerState::Accepted
                                                      : AnswerState::Pending;
    });
}

bool ATCMD::enterAT()
{
    return exchange(QByteArrayLiteral("AT\r\n"));
}

bool ATCMD::setXtalCap(int32_t value)
{
    return exchange("AT+PVTCMD=XTAL_CAP," + QByteArray::number(value) + "\r\n");
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
        return exchange(QByteArray());
    }
    return exchange(command + QByteArray::number(value) + "\r\n");
}

bool ATCMD::readCalibration(QList<int32_t> &values)
{
    if (!exchange(QByteArrayLiteral("AT+ATE_OK?\r\n")))
        return false;
    return parseCalibration(recvText, values);
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
