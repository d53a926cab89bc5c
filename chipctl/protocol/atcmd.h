#ifndef ATCMD_H
#define ATCMD_H

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>

// The AT side of Chipctl: when the chip runs its normal firmware it speaks
// AT commands on the same line. Every exchange is one command out and an
// answer awaited by polling for "OK" (about 110 ms).
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
    // Received bytes as the answer text: UTF-8 up to the first 0x00.
    static QString answerText(const QByteArray &data);

signals:
    void sendData(QByteArray data);

public slots:
    void recvData(QByteArray data);

private:
    bool exchange(const QByteArray &command);

    QString recvText;
};

#endif // ATCMD_H
