#include "chip/simchip.h"

#include "chip/atfirmware.h"
#include "chip/bootrom.h"
#include "chip/ramcode.h"
#include "chip/rfmedium.h"

namespace stationsim {

namespace {
constexpr int maxLine = 512;
}

SimChip::SimChip(const ChipSetup &setup, quint32 seed, RfMedium *medium, QObject *parent)
    : QObject(parent)
    , config(setup)
    , medium(medium)
    , store(setup.name)
    , uart(this)
    , ymodem(this)
    , rng(seed * 1000003u + quint32(setup.slot) * 7919u + 17u)
    // The firmware's pace and the late tail draw from their own seeds, so
    // that neither changes the measurement noise of a scenario.
    , pacer(setup.pace, seed * 69069u + quint32(setup.slot) * 104729u + 0x9ace5u)
    , tailRng(seed * 22695477u + quint32(setup.slot) * 1299709u + 0x7a11u)
{
    uart.setChipBaud(config.baud);
    uart.setNoise(config.faults.lineNoise, rng());
    // The link's own random choices, apart from the chip's measurement noise.
    uart.setDelivery(config.delivery, seed * 2654435761u + quint32(setup.slot) * 40503u + 0x5eedu);
    connect(&uart, &UartLink::toChip, this, &SimChip::onBytes);
    connect(&ymodem, &YmodemReceiver::send, this, &SimChip::sendRaw);
    connect(&ymodem, &YmodemReceiver::header, this,
            [this](const QString &fileName, const QByteArray &fields) {
                emit note(QStringLiteral("YMODEM header: \"%1\" \"%2\"")
                              .arg(fileName, QString::fromLatin1(fields)));
            });
    connect(&ymodem, &YmodemReceiver::finished, this,
            [this](bool ok, const QByteArray &data, const QString &fileName) {
                Received done = std::move(receiveDone);
                receiveDone = nullptr;
                emit note(ok ? QStringLiteral("transfer of %1 bytes done (%2 blocks of 128 bytes, "
                                              "%3 longer blocks)")
                                   .arg(data.size())
                                   .arg(ymodem.shortBlocks())
                                   .arg(ymodem.longBlocks())
                             : QStringLiteral("transfer failed"));
                if (done)
                    done(ok, data, fileName);
            });
    baudTimer.setSingleShot(true);
    connect(&baudTimer, &QTimer::timeout, this, [this] {
        uart.setChipBaud(pendingBaud);
        emit note(QStringLiteral("chip baud %1").arg(pendingBaud));
    });
}

SimChip::~SimChip()
{
    if (medium)
        medium->stopTransmitting(this);
}

QString SimChip::modeName(Mode mode)
{
    switch (mode) {
    case Mode::Reset:
        return QStringLiteral("reset");
    case Mode::BootRom:
        return QStringLiteral("boot ROM");
    case Mode::Ramcode:
        return QStringLiteral("ramcode");
    case Mode::Firmware:
        return QStringLiteral("AT firmware");
    case Mode::Halted:
        return QStringLiteral("halted");
    case Mode::Dead:
        return QStringLiteral("dead");
    }
    return QString();
}

bool SimChip::open(const QString &stateDir, QString *error)
{
    return store.open(stateDir, config.storage, config.faults.otpLocked, error);
}

void SimChip::powerOn()
{
    emit note(QStringLiteral("link delivers: ") + uart.delivery().describe());
    if (config.pace != ChipPace::Fast)
        emit note(QStringLiteral("firmware pace: ") + AnswerPacer::name(config.pace));
    switch (config.start) {
    case StartMode::Firmware:
        boot(Mode::Firmware);
        break;
    case StartMode::BootRom:
        boot(Mode::BootRom);
        break;
    case StartMode::Ramcode:
        boot(Mode::Ramcode);
        break;
    }
}

void SimChip::setMode(Mode mode)
{
    current = mode;
    emit note(QStringLiteral("runs: ") + modeName(mode));
    emit modeChanged(mode);
}

void SimChip::hostData(const QByteArray &bytes, quint32 hostBaud)
{
    if (current == Mode::Dead)
        return;
    uart.fromHost(bytes, hostBaud);
}

void SimChip::setLines(bool rtsAsserted, bool dtrAsserted)
{
    rtsLine = rtsAsserted;
    dtrLine = dtrAsserted;
    if (current == Mode::Dead || config.faults.ignoreResets)
        return;
    if (rtsLine && current != Mode::Reset)
        enterReset();
    else if (!rtsLine && current == Mode::Reset)
        boot(dtrLine ? Mode::BootRom : Mode::Firmware);
}

void SimChip::enterReset()
{
    stopTransmitting();
    ymodem.abort();
    receiveDone = nullptr;
    baudTimer.stop();
    uart.clearFromHost();
    uart.clearFromChip();
    uart.setChipBaud(config.baud);
    retired = std::move(program);
    ramcode = nullptr;
    lineBuffer.clear();
    lineOverflow = false;
    setMode(Mode::Reset);
}

void SimChip::boot(Mode mode)
{
    lineBuffer.clear();
    lineOverflow = false;
    retired = std::move(program);
    ramcode = nullptr;
    switch (mode) {
    case Mode::BootRom: {
        auto rom = std::make_unique<BootRom>(*this);
        BootRom *started = rom.get();
        program = std::move(rom);
        setMode(Mode::BootRom);
        started->start();
        return;
    }
    case Mode::Firmware:
        program = std::make_unique<AtFirmware>(*this);
        setMode(Mode::Firmware);
        return;
    case Mode::Ramcode: {
        auto code = std::make_unique<Ramcode>(*this);
        ramcode = code.get();
        program = std::move(code);
        setMode(Mode::Ramcode);
        return;
    }
    default:
        setMode(mode);
        return;
    }
}

void SimChip::startRamcode()
{
    boot(Mode::Ramcode);
}

void SimChip::halt()
{
    stopTransmitting();
    ymodem.abort();
    receiveDone = nullptr;
    retired = std::move(program);
    ramcode = nullptr;
    setMode(Mode::Halted);
}

void SimChip::rebootIntoFirmware()
{
    stopTransmitting();
    ymodem.abort();
    receiveDone = nullptr;
    baudTimer.stop();
    uart.setChipBaud(config.baud);
    boot(Mode::Firmware);
}

void SimChip::die()
{
    stopTransmitting();
    ymodem.abort();
    receiveDone = nullptr;
    baudTimer.stop();
    uart.clearFromHost();
    uart.clearFromChip();
    retired = std::move(program);
    ramcode = nullptr;
    setMode(Mode::Dead);
}

void SimChip::onBytes(const QByteArray &bytes)
{
    retired.reset();
    for (int i = 0; i < bytes.size(); ++i) {
        if (current == Mode::Reset || current == Mode::Halted || current == Mode::Dead)
            return;
        if (ymodem.active()) {
            // The bytes after the end of a transfer (a command that follows
            // a cancel at once) go to the command parser.
            i += ymodem.feed(bytes.mid(i)) - 1;
            continue;
        }
        const char ch = bytes.at(i);
        if (ch == '\r' || ch == '\n') {
            const QByteArray line = lineBuffer;
            const bool overflow = lineOverflow;
            lineBuffer.clear();
            lineOverflow = false;
            if (!line.isEmpty() && !overflow)
                dispatch(line);
            continue;
        }
        if (quint8(ch) < 0x20 || quint8(ch) > 0x7e)
            continue; // the command parser takes printable characters only
        if (lineBuffer.size() >= maxLine)
            lineOverflow = true; // an endless line is noise: dropped at its end
        else
            lineBuffer.append(ch);
    }
}

void SimChip::dispatch(const QByteArray &line)
{
    const int limit = config.faults.unplugAfterCommands;
    if (limit >= 0 && commands >= limit) {
        emit note(QStringLiteral("unplugged"));
        die();
        return;
    }
    ++commands;
    if (program)
        program->command(line);
}

void SimChip::reply(const QByteArray &answer, int extraDelayMs)
{
    if (config.faults.silent || current == Mode::Dead)
        return;
    // The AT firmware answers from a buffer, within the 110 ms its host
    // gives every AT command: the pace is the ROM's and the ramcode's.
    if (current == Mode::Firmware) {
        uart.fromChip(answer, config.faults.answerDelayMs + extraDelayMs);
        return;
    }
    const QList<AnswerPacer::Piece> pieces = pacer.cut(answer, UartLink::byteNs(uart.chipBaud()));
    if (pieces.isEmpty())
        return;
    uart.fromChip(pieces.first().bytes, config.faults.answerDelayMs + extraDelayMs);
    for (int i = 1; i < pieces.size(); ++i)
        uart.fromChipAfter(pieces.at(i).bytes, pieces.at(i).pauseNs);
}

void SimChip::replyVersion(const QByteArray &answer)
{
    reply(answer);
    if (config.faults.silent || current == Mode::Dead)
        return;
    QByteArray tail;
    switch (config.faults.versionTail) {
    case VersionTail::None:
        return;
    case VersionTail::LineEnd:
        tail = "\r\n";
        break;
    case VersionTail::Confirmation:
        tail = "\r\npppp\r\n";
        break;
    }
    std::uniform_int_distribution<qint64> pause(2'000'000, 20'000'000);
    const qint64 after = pause(tailRng);
    emit note(QStringLiteral("late tail %1 us after the version answer").arg(after / 1000));
    uart.fromChipAfter(tail, after);
}

void SimChip::sendRaw(const QByteArray &bytes)
{
    if (config.faults.silent || current == Mode::Dead)
        return;
    uart.fromChip(bytes);
}

void SimChip::requestBaud(quint32 baud)
{
    if (config.faults.refuseBaud) {
        emit note(QStringLiteral("baud %1 refused").arg(baud));
        return;
    }
    pendingBaud = baud;
    baudTimer.start(baudSwitchMs);
}

void SimChip::receiveFile(const YmodemReceiver::Options &options, Received done)
{
    receiveDone = std::move(done);
    ymodem.start(options);
}

void SimChip::transmit(int channel)
{
    ++transmissions;
    medium->startTransmitting(this, channel);
    emit note(QStringLiteral("transmits on channel %1").arg(channel));
}

void SimChip::stopTransmitting()
{
    if (medium && medium->transmitting(this)) {
        medium->stopTransmitting(this);
        emit note(QStringLiteral("stops transmitting"));
    }
}

double SimChip::transmitError() const
{
    int cal = 0;
    if (ramcode)
        cal = ramcode->crystal();
    else if (auto stored = store.otpValue(ChipStorage::Value::Xtal))
        cal = *stored;
    const double optimum =
        config.radio.optimum + config.drift.optimum * config.drift.reached(transmissions);
    return config.radio.slope * (double(cal) - optimum);
}

double SimChip::transmitPower() const
{
    return config.radio.txPower + config.drift.txPower * config.drift.reached(transmissions);
}

QByteArray SimChip::transmitMac() const
{
    return ramcode ? ramcode->transmitMac() : QByteArray();
}

} // namespace stationsim
