#ifndef SIMCLIENT_H
#define SIMCLIENT_H

#include "answerwait.h"

#include <QByteArray>
#include <QList>
#include <QTcpSocket>

#include <functional>

// A small RFC 2217 client for the simulator's tests, written from the
// protocol and independent of Chipctl's transport: telnet commands from the
// server are taken out of the data, 0xFF is doubled on the way out, and
// COM-PORT-OPTION requests can wait for the server's answer. The chip's
// answers are read the way Chipctl reads them (answer()): with Chipctl's own
// answer buffer and answer rules.
class SimClient
{
public:
    using Rule = std::function<bool(const QByteArray &received)>;

    ~SimClient();
    bool connectTo(quint16 port, int timeoutMs = 3000);
    void disconnectFromServer();

    // COM-PORT-OPTION requests; each waits for its answer.
    bool setBaud(quint32 baud);
    bool setDtr(bool asserted);
    bool setRts(bool asserted);
    bool purge(quint8 what);
    quint32 queryBaud();

    void write(const QByteArray &data);
    // Waits until rule(received()) holds; false after timeoutMs.
    bool waitFor(const Rule &rule, int timeoutMs);
    // Collects for the whole time, then returns what arrived.
    QByteArray collect(int ms);
    QByteArray received() const { return data; }
    void clear() { data.clear(); }
    // Takes in what has arrived, empties the buffer, sends line + "\r\n" and
    // waits for the rule.
    bool command(const QByteArray &line, const Rule &rule, int timeoutMs = 2000);
    // The same exchange as Chipctl makes it: the answer collects in
    // Chipctl's AnswerBuffer, and `rule` (one of Chipctl's answer rules)
    // judges it whenever it is quiet, until it decides. The rule's verdict;
    // Pending when it had not decided within timeoutMs.
    AnswerState answer(const QByteArray &line, const AnswerRule &rule, int timeoutMs = 2000);

    // The line sequences of the station: into the boot ROM ("entry_boot_mode")
    // and a plain reset into the AT firmware.
    bool enterBootRom();
    bool resetIntoFirmware();

private:
    bool request(quint8 command, const QByteArray &value, QByteArray *answer = nullptr);
    void pump(int ms);
    // Takes the data out of the server's bytes, into `data` and the answer
    // buffer.
    void decode(const QByteArray &bytes);
    void decodeInto(const QByteArray &bytes);

    QTcpSocket socket;
    QByteArray data;
    AnswerBuffer answerBuffer;
    QList<QPair<quint8, QByteArray>> answers;
    enum class State
    {
        Data,
        Iac,
        Verb,
        Sb,
        SbIac
    } state = State::Data;
    QByteArray sb;
};

// CRC-16/XMODEM, written separately from the simulator's.
quint16 testCrc16(const QByteArray &data);

// A blocking YMODEM sender (CRC-16, one file) for the tests. The block size
// is 1024 (boot ROM download) or 16384 (flash upgrade). Returns true when the
// closing block was acknowledged; log receives the receiver's control bytes.
struct YmodemSendResult
{
    bool ok = false;
    int naks = 0;
    int cans = 0;
    QByteArray receiverBytes;
};
YmodemSendResult sendYmodem(SimClient &client, const QByteArray &name, const QByteArray &file,
                            int blockSize, const QByteArray &extraHeaderFields = QByteArray());

#endif // SIMCLIENT_H
