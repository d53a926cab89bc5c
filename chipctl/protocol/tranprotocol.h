#ifndef TRANPROTOCOL_H
#define TRANPROTOCOL_H

#include "chipinfo.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>

// The host side of the chip's serial protocol. After reset the chip runs its
// boot ROM, which answers "version" with its banner; the ramcode, loaded into
// RAM by YMODEM, answers with "RAMCODE" and takes text commands. Answers are
// recognised by marker substrings anywhere in the bytes received since the
// command was sent; every command empties the receive buffer just before it
// is sent.
class tranProtocol : public QObject
{
    Q_OBJECT
public:
    // `configDir` holds chip_info.json and the ramcode images; empty means
    // the Config directory beside the program.
    explicit tranProtocol(const QString &configDir = QString(), QObject *parent = nullptr);
    ~tranProtocol() override;

    // Line control, forwarded to the serial link.
    bool driveRTS(uint32_t val);
    bool driveDTR(uint32_t val);

    // Probes with "version" (about 110 ms) and names what answered: a chip
    // name from the chip information file (boot ROM) or "RAMCODE".
    bool getMode(QString &answer);
    // The same probe with `waitCount` + 1 polls.
    bool waitVersion(QString &answer);
    // Up to 40 probes until the ramcode answers; never loads anything.
    bool enterRamcode();
    // Switches chip and host to `baudRate` and checks that the chip answers.
    bool changeBaudRate(uint32_t baudRate);
    // The boot ROM's form of the switch; adjusts `waitCount` to the rate.
    bool setBootBaudRate(uint32_t baudRate);
    // True if "ok" came back to "AT".
    bool checkAT();

    bool loadChipInfo();
    bool readChipBanner(const QString &name, QString &banner) const;

    const QStringList &chipNames() const { return chips.names; }
    const QString &configDir() const { return configPath; }

    QString flashUid;
    // Steps of a flash download finished so far; read by the progress printer.
    std::atomic<float> doneSteps{0.0f};
    // How many 10 ms polls waitVersion and the ramcode commands wait.
    uint32_t waitCount = 1000;
    bool ymodemRunning = false;

signals:
    void sendData(QByteArray data);
    void setBaudRate(uint32_t baudRate);
    void sendDataToYodem(QByteArray data);
    void setRTS(uint32_t val);
    void setDTR(uint32_t val);

public slots:
    void recvData(QByteArray data);
    void sendDataFromYmodem(QByteArray data);

private:
    // Empties the receive buffer and sends one command.
    void sendCommand(const QByteArray &command);
    // One recognition pass over the receive buffer. `banner` carries the
    // last banner read across the polls of one operation.
    bool recognise(QString &answer, QString &banner) const;
    bool probeVersion(unsigned polls, QString &answer);

    QByteArray recvBuf;
    QString configPath;
    chipInfo chips;
};

#endif // TRANPROTOCOL_H
