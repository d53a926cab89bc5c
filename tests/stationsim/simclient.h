#ifndef SIMCLIENT_H
#define SIMCLIENT_H

#include <QByteArray>
#include <QList>
#include <QTcpSocket>

#include <functional>

// A small RFC 2217 client for the simulator's tests, written from the
// protocol and independent of the station's own code: telnet commands from
// the server are taken out of the data, 0xFF is doubled on the way out, and
// COM-PORT-OPTION requests can wait for the server's answer.
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

    // The line sequences of the station: into the boot ROM ("entry_boot_mode")
    // and a plain reset into the AT firmware.
    bool enterBootRom();
    bool resetIntoFirmware();

private:
    bool request(quint8 command, const QByteArray &value, QByteArray *answer = nullptr);
    void pump(int ms);
    void decode(const QByteArray &bytes);

    QTcpSocket socket;
    QByteArray data;
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
