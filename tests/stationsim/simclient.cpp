#include "simclient.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHostAddress>

namespace {
constexpr quint8 IAC = 255, SB = 250, SE = 240, WILL = 251, WONT = 252, DO = 253, DONT = 254;
constexpr quint8 COM_PORT = 44;
} // namespace

quint16 testCrc16(const QByteArray &bytes)
{
    static quint16 table[256];
    static bool ready = false;
    if (!ready) {
        for (int i = 0; i < 256; ++i) {
            quint16 c = quint16(i << 8);
            for (int b = 0; b < 8; ++b)
                c = (c & 0x8000) ? quint16((c << 1) ^ 0x1021) : quint16(c << 1);
            table[i] = c;
        }
        ready = true;
    }
    quint16 crc = 0;
    for (char ch : bytes)
        crc = quint16((crc << 8) ^ table[((crc >> 8) ^ quint8(ch)) & 0xff]);
    return crc;
}

SimClient::~SimClient()
{
    disconnectFromServer();
}

bool SimClient::connectTo(quint16 port, int timeoutMs)
{
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    pump(30); // the server's offers
    data.clear();
    return true;
}

void SimClient::disconnectFromServer()
{
    if (socket.state() == QAbstractSocket::UnconnectedState)
        return;
    socket.disconnectFromHost();
    if (socket.state() != QAbstractSocket::UnconnectedState)
        socket.waitForDisconnected(1000);
}

void SimClient::decode(const QByteArray &bytes)
{
    const int before = data.size();
    decodeInto(bytes);
    answerBuffer.append(data.mid(before));
}

void SimClient::decodeInto(const QByteArray &bytes)
{
    for (char ch : bytes) {
        const quint8 b = quint8(ch);
        switch (state) {
        case State::Data:
            if (b == IAC)
                state = State::Iac;
            else
                data.append(ch);
            break;
        case State::Iac:
            if (b == IAC) {
                data.append(ch);
                state = State::Data;
            } else if (b == SB) {
                sb.clear();
                state = State::Sb;
            } else if (b == WILL || b == WONT || b == DO || b == DONT) {
                state = State::Verb;
            } else {
                state = State::Data;
            }
            break;
        case State::Verb:
            state = State::Data;
            break;
        case State::Sb:
            if (b == IAC)
                state = State::SbIac;
            else
                sb.append(ch);
            break;
        case State::SbIac:
            if (b == SE) {
                if (sb.size() >= 2 && quint8(sb.at(0)) == COM_PORT)
                    answers.append({quint8(sb.at(1)), sb.mid(2)});
                state = State::Data;
            } else {
                sb.append(ch);
                state = State::Sb;
            }
            break;
        }
    }
}

void SimClient::pump(int ms)
{
    if (socket.waitForReadyRead(ms))
        decode(socket.readAll());
    else if (socket.bytesAvailable())
        decode(socket.readAll());
}

bool SimClient::request(quint8 command, const QByteArray &value, QByteArray *answer)
{
    QByteArray msg;
    msg.append(char(IAC)).append(char(SB)).append(char(COM_PORT)).append(char(command));
    for (char ch : value) {
        msg.append(ch);
        if (quint8(ch) == IAC)
            msg.append(ch);
    }
    msg.append(char(IAC)).append(char(SE));
    answers.clear();
    socket.write(msg);
    socket.flush();
    QDeadlineTimer deadline(2000);
    while (!deadline.hasExpired()) {
        for (const auto &a : answers) {
            if (a.first == command + 100) {
                if (answer)
                    *answer = a.second;
                return true;
            }
        }
        pump(int(qMax<qint64>(1, deadline.remainingTime())));
    }
    return false;
}

bool SimClient::setBaud(quint32 baud)
{
    QByteArray v(4, '\0');
    v[0] = char(baud >> 24);
    v[1] = char(baud >> 16);
    v[2] = char(baud >> 8);
    v[3] = char(baud);
    if (!request(1, v))
        return false;
    answerBuffer.setBaudRate(baud);
    return true;
}

quint32 SimClient::queryBaud()
{
    QByteArray a;
    if (!request(1, QByteArray(4, '\0'), &a) || a.size() != 4)
        return 0;
    return (quint32(quint8(a[0])) << 24) | (quint32(quint8(a[1])) << 16) |
           (quint32(quint8(a[2])) << 8) | quint8(a[3]);
}

bool SimClient::setDtr(bool asserted)
{
    return request(5, QByteArray(1, char(asserted ? 8 : 9)));
}

bool SimClient::setRts(bool asserted)
{
    return request(5, QByteArray(1, char(asserted ? 11 : 12)));
}

bool SimClient::purge(quint8 what)
{
    return request(12, QByteArray(1, char(what)));
}

void SimClient::write(const QByteArray &bytes)
{
    QByteArray out;
    for (char ch : bytes) {
        out.append(ch);
        if (quint8(ch) == IAC)
            out.append(ch);
    }
    socket.write(out);
    socket.flush();
}

bool SimClient::waitFor(const Rule &rule, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (rule(data))
            return true;
        if (deadline.hasExpired())
            return false;
        pump(int(qBound(qint64(1), deadline.remainingTime(), qint64(50))));
    }
}

QByteArray SimClient::collect(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired())
        pump(int(qMax<qint64>(1, deadline.remainingTime())));
    return data;
}

bool SimClient::command(const QByteArray &line, const Rule &rule, int timeoutMs)
{
    pump(0); // what already waits in the socket belongs to before the command
    data.clear();
    write(line + "\r\n");
    if (waitFor(rule, timeoutMs))
        return true;
    qWarning("no fitting answer to \"%s\" within %d ms; received: %s", line.constData(), timeoutMs,
             data.toPercentEncoding(" :=,").constData());
    return false;
}

AnswerState SimClient::answer(const QByteArray &line, const AnswerRule &rule, int timeoutMs)
{
    pump(0); // what already waits in the socket belongs to before the command
    data.clear();
    answerBuffer.restart();
    write(line + "\r\n");
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const Answer answer = answerBuffer.look();
        if (answer.quiet && !answerBuffer.overflowed()) {
            const AnswerState state = rule(answer);
            if (state != AnswerState::Pending)
                return state;
        }
        if (deadline.hasExpired()) {
            qWarning("no decided answer to \"%s\" within %d ms; received: %s", line.constData(),
                     timeoutMs, data.toPercentEncoding(" :=,").constData());
            return AnswerState::Pending;
        }
        // Until the answer may go quiet or whole, or a byte arrives.
        const qint64 change = answerBuffer.nsUntilChange();
        const qint64 ms = change < 0 ? 50 : (change + 999999) / 1000000;
        pump(int(qBound(qint64(1), qMin(ms, deadline.remainingTime()), qint64(50))));
    }
}

bool SimClient::enterBootRom()
{
    // DTR on, RTS off; RTS on (reset), DTR off; DTR on, RTS off (released
    // with DTR asserted: boot ROM); DTR off.
    bool ok = setDtr(true) && setRts(false);
    ok = ok && setRts(true) && setDtr(false);
    ok = ok && setDtr(true) && setRts(false);
    pump(20);
    ok = ok && setDtr(false);
    return ok;
}

bool SimClient::resetIntoFirmware()
{
    return setDtr(false) && setRts(true) && setRts(false);
}

YmodemSendResult sendYmodem(SimClient &client, const QByteArray &name, const QByteArray &file,
                            int blockSize, const QByteArray &extraHeaderFields)
{
    constexpr char SOH = 1, STX = 2, EOT = 4, ACK = 6, NAK = 0x15, CAN = 0x18;
    YmodemSendResult result;
    auto frame = [](char kind, quint8 seq, QByteArray payload, int size) {
        payload = payload.leftJustified(size, kind == SOH && seq == 0 ? '\0' : char(0x1a), true);
        QByteArray out;
        out.append(kind).append(char(seq)).append(char(255 - seq)).append(payload);
        const quint16 crc = testCrc16(payload);
        out.append(char(crc >> 8)).append(char(crc & 0xff));
        return out;
    };
    // Waits for one of the wanted bytes (or CAN); returns all the receiver sent.
    auto await = [&](const QByteArray &wanted, int timeoutMs) -> QByteArray {
        client.waitFor(
            [&](const QByteArray &rx) {
                for (char ch : rx) {
                    if (wanted.contains(ch) || ch == CAN)
                        return true;
                }
                return false;
            },
            timeoutMs);
        const QByteArray rx = client.received();
        result.receiverBytes += rx;
        result.naks += rx.count(NAK);
        result.cans += rx.count(CAN);
        client.clear();
        return rx;
    };

    if (!await(QByteArray(1, 'C'), 5000).contains('C'))
        return result;
    QByteArray header = name + '\0' + QByteArray::number(file.size());
    if (!extraHeaderFields.isEmpty())
        header += ' ' + extraHeaderFields;
    client.write(frame(SOH, 0, header, 128));
    QByteArray rx = await(QByteArray(1, ACK), 3000);
    if (!rx.contains(ACK))
        return result;
    if (!rx.contains('C') && !await(QByteArray(1, 'C'), 3000).contains('C'))
        return result;

    quint8 seq = 1;
    for (int at = 0; at < file.size();) {
        const QByteArray piece = file.mid(at, blockSize);
        const char kind = piece.size() <= 128 ? SOH : STX;
        client.write(frame(kind, seq, piece, kind == SOH ? 128 : blockSize));
        rx = await(QByteArray().append(ACK).append(NAK), 20000);
        if (rx.contains(CAN) || rx.isEmpty())
            return result; // cancelled or silent
        if (rx.contains(ACK)) {
            at += blockSize;
            ++seq;
        }
    }
    client.write(QByteArray(1, EOT));
    if (!await(QByteArray(1, NAK), 3000).contains(NAK))
        return result;
    client.write(QByteArray(1, EOT));
    if (!await(QByteArray(1, ACK), 3000).contains(ACK))
        return result;
    client.write(frame(SOH, 0, QByteArray(), 128));
    result.ok = await(QByteArray(1, ACK), 3000).contains(ACK);
    return result;
}
