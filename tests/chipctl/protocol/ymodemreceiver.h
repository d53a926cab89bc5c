#ifndef YMODEMRECEIVER_H
#define YMODEMRECEIVER_H

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>

#include <cstdint>
#include <functional>

// The chip's side of a YMODEM transfer, written for the tests on its own
// (it has its own CRC): it takes the host's bytes and returns its answers.
// It checks every frame, collects the file and records what it saw.
class YmodemReceiver
{
public:
    struct Frame
    {
        char start = 0;     // SOH or STX
        uint8_t number = 0; // block number
        QByteArray payload; // data field, padding included
    };

    explicit YmodemReceiver(int stxSize = 1024);

    // Bytes from the host; returns the receiver's answer (possibly empty).
    QByteArray feed(const QByteArray &bytes);

    // Checks of its own, independent of the host's code.
    static uint16_t crc(const QByteArray &data);

    // Faults: data frames (counted from 1 in arrival order) answered with a
    // NAK instead of an ACK, and a hook that may change any answer.
    QSet<int> nakFrames;
    std::function<QByteArray(int dataFrame, const QByteArray &answer)> answerHook;

    // What arrived.
    QString fileName;
    qint64 fileSize = -1;
    QByteArray header;   // data field of the header block
    QByteArray data;     // the file, cut to the announced size once closed
    QList<Frame> frames; // every data frame accepted or refused, in order
    int eots = 0;
    int cans = 0;
    bool done = false;
    QString error;

private:
    enum class Phase
    {
        Header,
        Data,
        SecondEot,
        Closing,
        Done
    };
    QByteArray takeFrame(bool &complete);
    QByteArray onFrame(const QByteArray &frame);
    QByteArray fail(const QString &why);

    int stxSize;
    Phase phase = Phase::Header;
    QByteArray pending;
    uint8_t expected = 1;
    int dataFrames = 0;
};

#endif // YMODEMRECEIVER_H
