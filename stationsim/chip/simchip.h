#ifndef STATIONSIM_SIMCHIP_H
#define STATIONSIM_SIMCHIP_H

#include "chip/chipsetup.h"
#include "chip/chipstorage.h"
#include "chip/ymodemreceiver.h"
#include "wire/uartlink.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <random>

namespace stationsim {

class CommandSet;
class Ramcode;
class RfMedium;

// One simulated TK716A: its wiring (RTS holds reset, DTR at release selects
// the boot ROM), the program it runs, its storage, its UART and its radio.
// Transports feed it host bytes and line changes; what it sends leaves
// through link()->toHost.
class SimChip : public QObject
{
    Q_OBJECT
public:
    enum class Mode
    {
        Reset,
        BootRom,
        Ramcode,
        Firmware,
        Halted,
        Dead
    };

    SimChip(const ChipSetup &setup, quint32 seed, RfMedium *medium, QObject *parent = nullptr);
    ~SimChip() override;

    // Opens the chip's storage; dir empty keeps it in memory only.
    bool open(const QString &stateDir, QString *error);
    // Starts the chip in its start-up state.
    void powerOn();

    const ChipSetup &setup() const { return config; }
    QString name() const { return config.name; }
    Mode mode() const { return current; }
    static QString modeName(Mode mode);
    UartLink *link() { return &uart; }
    ChipStorage &storage() { return store; }

    // From the transports.
    void hostData(const QByteArray &bytes, quint32 hostBaud);
    void setLines(bool rtsAsserted, bool dtrAsserted);
    bool rts() const { return rtsLine; }
    bool dtr() const { return dtrLine; }

    // For the programs the chip runs.
    // An answer to a command, sent after extraDelayMs (time the chip works),
    // at the pace of the chip's firmware.
    void reply(const QByteArray &answer, int extraDelayMs = 0);
    // The answer to "version", and the late tail the chip's faults give it.
    void replyVersion(const QByteArray &answer);
    void sendRaw(const QByteArray &bytes); // protocol bytes (YMODEM)
    void requestBaud(quint32 baud);        // switches shortly after
    using Received = std::function<void(bool ok, const QByteArray &data, const QString &name)>;
    void receiveFile(const YmodemReceiver::Options &options, Received done);
    YmodemReceiver *receiver() { return &ymodem; }
    void startRamcode();
    void halt();
    void rebootIntoFirmware();
    std::mt19937 &random() { return rng; }

    // Radio.
    RfMedium *air() { return medium; }
    void transmit(int channel);
    void stopTransmitting();
    // Frequency error of this chip's transmissions, from its crystal value.
    double transmitError() const;
    QByteArray transmitMac() const;
    // dBm, as drifted by now.
    double transmitPower() const;

    // Milliseconds the chip takes for a baud switch.
    int baudSwitchMs = 20;

signals:
    void modeChanged(SimChip::Mode mode);
    // Notable happenings for the wire trace ("reset", "baud 921600" ...).
    void note(const QString &text);

private:
    void enterReset();
    void boot(Mode mode);
    void die();
    void onBytes(const QByteArray &bytes);
    void dispatch(const QByteArray &line);
    void setMode(Mode mode);

    ChipSetup config;
    RfMedium *medium;
    ChipStorage store;
    std::unique_ptr<CommandSet> retired; // the program being replaced, freed later
    UartLink uart;
    YmodemReceiver ymodem;
    Received receiveDone;
    std::mt19937 rng;
    AnswerPacer pacer;
    std::mt19937 tailRng;
    Mode current = Mode::Reset;
    bool rtsLine = false;
    bool dtrLine = false;
    QByteArray lineBuffer;
    bool lineOverflow = false;
    int commands = 0;
    int transmissions = 0; // since the simulator started, for its drift
    quint32 pendingBaud = 0;
    QTimer baudTimer;
    std::unique_ptr<CommandSet> program;
    Ramcode *ramcode = nullptr; // the program while the ramcode runs
};

} // namespace stationsim

#endif // STATIONSIM_SIMCHIP_H
