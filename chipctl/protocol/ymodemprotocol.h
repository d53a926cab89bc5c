#ifndef YMODEMPROTOCOL_H
#define YMODEMPROTOCOL_H

#include "chipfacts.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>

// Sends one file to the chip with the YMODEM batch protocol (CRC-16, blocks
// of `blockSize` bytes framed with STX, short last blocks with SOH). The
// sender never touches the port: it emits the packets it wants sent and
// reads what its owner routes to recvData while a transfer runs.
class yModemProtocol : public QObject
{
    Q_OBJECT
public:
    // Result codes of sendFile.
    enum Result : uint8_t
    {
        ResultDone = 255,         // the receiver acknowledged the closing block
        ResultOpenFailed = 240,   // the file cannot be opened, or it is empty
        ResultTimeout = 224,      // about 7 s without a packet sent
        ResultDataError = 228,    // the data offset does not fit the file size
        ResultChipCancelled = 241 // the receiver sent more than 4 CAN bytes
    };

    // Control bytes of the protocol.
    static constexpr char SOH = 0x01;
    static constexpr char STX = 0x02;
    static constexpr char EOT = 0x04;
    static constexpr char ACK = 0x06;
    static constexpr char NAK = 0x15;
    static constexpr char CAN = 0x18;
    static constexpr char CRC_REQUEST = 'C';
    static constexpr char PAD = 0x1A;

    // The idle limit: this many 10 ms passes without a packet sent.
    static constexpr int idlePasses = 700;
    static constexpr int passMs = 10;
    // The receiver answers a packet with a byte or two: more than this
    // between two packets is line noise, and is not kept.
    static constexpr int maxReceived = 4096;

    explicit yModemProtocol(QObject *parent = nullptr);

    // Sends the file at `path`; returns one of Result. Blocks its caller
    // while processing events, through which received bytes arrive.
    uint8_t sendFile(const QString &path);

    // The text shown for a failure code; empty for success and unknown codes.
    static QString resultText(uint8_t code);

    // The packets, as they go on the wire.
    static QByteArray headerPacket(const QString &fileName, qint64 fileSize);
    static QByteArray dataPacket(uint8_t blockNumber, const QByteArray &data, uint32_t blockSize);
    static QByteArray closingPacket();
    static QByteArray cancelPacket();

    QByteArray recvBuf;
    // Data length of a full block; set by the caller before every transfer.
    uint32_t blockSize = chipfacts::ramBlockSize;
    // Acknowledged share of the file, 0 to 1; read by the progress printer.
    std::atomic<float> progress{0.0f};

signals:
    void sendData(QByteArray data);

public slots:
    void recvData(QByteArray data);
    // The serial link is gone: a running transfer ends at once, timed out.
    void linkLost() { lost = true; }

private:
    enum class State
    {
        Idle,
        Start,
        StartWaitAck,
        Data,
        DataWaitAck,
        LastData,
        LastWaitAck,
        FirstEot,
        WaitNak,
        SecondEot,
        WaitFinalAck,
        Close,
        CloseWaitAck
    };

    // Empties the receive buffer and sends one packet.
    void sendPacket(const QByteArray &packet);
    // Waits one pass: returns as soon as new bytes arrive, at the latest
    // after passMs.
    void waitPass();

    bool lost = false;
};

#endif // YMODEMPROTOCOL_H
