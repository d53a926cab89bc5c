#ifndef ATCMD_H
#define ATCMD_H

#include "protocol/answerbuffer.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>

// The AT side of Chipctl: when the chip runs its normal firmware it speaks
// AT commands on the same line. Every exchange is one command out and an
// answer awaited by polling for an "OK" line (about 110 ms). Many firmwares
// echo each command back; "OK" counts only as a whole line of its own, never
// inside an echo, and only once the answer is whole.
class ATCMD : public QObject
{
    Q_OBJECT
public:
    explicit ATCMD(QObject *parent = nullptr);

    bool enterAT();
    bool setXtalCap(int32_t value);
    // mode 0: TX power B, 1: TX power GN, 2: TX power (B, G and N).
    bool setTxPower(int mode, int32_t value);
    // Crystal, TX power, TX power B and TX power GN, in this order.
    bool readCalibration(QList<int32_t> &values);

    // The four values of an "AT+ATE_OK?" answer, appended to `values` as
    // they read; a missing key or a value that is not a number appends 0
    // and ends the reading with false.
    static bool parseCalibration(const QString &answer, QList<int32_t> &values);
    // True when the whole answer holds a line that reads "OK" (line ends
    // and spaces around it aside).
    static bool hasOkLine(const QByteArray &answer);

signals:
    void sendData(QByteArray data);

public slots:
    void recvData(QByteArray data);
    // The serial link is gone: every wait for an answer ends at once.
    void linkLost() { recvText.setLinkLost(); }

private:
    bool exchange(const QByteArray &command, const char *rule);

    // What arrived since the last command went out, each delivery up to its
    // first 0x00; the answer text is its UTF-8 decoding.
    AnswerBuffer recvText;
};

#endif // ATCMD_H
