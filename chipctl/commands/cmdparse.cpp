// CMD_PARSE: the objects of a run, their wiring, the dispatch and the
// commands that work on the control lines or probe the boot ROM.
#include "cmdparse.h"

#include "atcmd.h"
#include "chipfacts.h"
#include "console.h"
#include "numparse.h"
#include "protocol/tranprotocol.h"
#include "resultcode.h"
#include "serial.h"
#include "valueform.h"
#include "waitms.h"
#include "wiretrace.h"

#include <QThread>

std::atomic<tranProtocol *> activeProtocol{nullptr};
std::atomic<int32_t> downloadFileCount{0};

namespace {

// The longest RF test: an hour. The station gives its RF tests the cycle's
// time-out, which a whole DUT run (about 17 minutes at the most) bounds;
// anything longer is a mistyped number, and its wait would hold the port.
constexpr uint32_t maxRfDurationMs = 3600000;

} // namespace

CMD_PARSE::CMD_PARSE(const QString &configDir, QObject *parent)
    : QObject(parent)
    , configDir(configDir)
{}

CMD_PARSE::~CMD_PARSE()
{
    tranProtocol *expected = protocol.get();
    activeProtocol.compare_exchange_strong(expected, nullptr);
}

bool CMD_PARSE::word(int index, QString &out) const
{
    if (index < 0 || index >= words.size())
        return false;
    out = words.at(index);
    return true;
}

bool CMD_PARSE::hexWord(int index, uint32_t &value) const
{
    QString text;
    return word(index, text) && numparse::hex(text, value);
}

bool CMD_PARSE::decWord(int index, uint32_t &value) const
{
    QString text;
    return word(index, text) && numparse::dec(text, value);
}

bool CMD_PARSE::signedDecWord(int index, int32_t &value) const
{
    QString text;
    return word(index, text) && numparse::signedDec(text, value);
}

bool CMD_PARSE::uncheckedDecWord(int index, uint32_t &value) const
{
    QString text;
    if (!word(index, text))
        return false;
    value = numparse::uncheckedDec(text);
    return true;
}

bool CMD_PARSE::uncheckedSignedDecWord(int index, int32_t &value) const
{
    QString text;
    if (!word(index, text))
        return false;
    value = numparse::uncheckedSignedDec(text);
    return true;
}

bool CMD_PARSE::rfDurationWord(int index, uint32_t &ms) const
{
    QString text;
    return word(index, text) && numparse::uncheckedDuration(text, maxRfDurationMs, ms);
}

bool CMD_PARSE::macWord(int index, QString &mac) const
{
    return word(index, mac) && valueForm::macAddress(mac.toLatin1());
}

bool CMD_PARSE::pinWord(int index, QString &pin) const
{
    if (!word(index, pin) || pin.isEmpty())
        return false;
    for (const QChar c : pin) {
        if (c.category() == QChar::Other_Control || c.isSpace())
            return false;
    }
    return true;
}

bool CMD_PARSE::ramcodeRunning()
{
    return protocol->enterRamcode();
}

uint32_t CMD_PARSE::runForms(std::initializer_list<Form> forms)
{
    QString sub;
    if (!word(2, sub))
        return ERR_PARAMETER;
    for (const Form &form : forms) {
        if (sub != QLatin1String(form.word))
            continue;
        if (count() < form.minCount || count() > form.maxCount)
            continue;
        return (this->*form.handler)();
    }
    return ERR_PARAMETER;
}

void CMD_PARSE::execute(QStringList args)
{
    // The wire trace, when one is asked for, starts with this run's header.
    WireTrace::active();
    words = std::move(args);
    const uint32_t code = run();
    if (code != resultPrinted)
        printResult(code);
}

uint32_t CMD_PARSE::run()
{
    serial = std::make_unique<Serial>();
    protocol = std::make_unique<tranProtocol>(configDir);
    at = std::make_unique<ATCMD>();
    activeProtocol = protocol.get();

    QString port;
    if (!word(0, port))
        return ERR_PARAMETER;
    if (port == QLatin1String("version")) {
        Console::out() << "V1.0.16"
                       << "\n";
        return CMD_OK;
    }
    if (!serial->openPort(port, chipfacts::normalBaud))
        return ERR_OPEN_SERIAL;

    connect(serial.get(), &Serial::recvSerialData, protocol.get(), &tranProtocol::recvData);
    connect(protocol.get(), &tranProtocol::sendData, serial.get(), &Serial::sendData);
    connect(protocol.get(), &tranProtocol::setBaudRate, serial.get(), &Serial::setBaudRate);
    connect(protocol.get(), &tranProtocol::setRTS, serial.get(), &Serial::setRTS);
    connect(protocol.get(), &tranProtocol::setDTR, serial.get(), &Serial::setDTR);
    connect(serial.get(), &Serial::recvSerialData, at.get(), &ATCMD::recvData);
    connect(at.get(), &ATCMD::sendData, serial.get(), &Serial::sendData);
    // A port that goes away ends every wait at once.
    connect(serial.get(), &Serial::linkLost, protocol.get(), &tranProtocol::linkLost);
    connect(serial.get(), &Serial::linkLost, at.get(), &ATCMD::linkLost);

    struct Command
    {
        const char *name;
        int count; // exact number of words, or 0 for any
        Handler handler;
    };
    static const Command commands[] = {
        {"mode", 0, &CMD_PARSE::cmdMode},
        {"download", 0, &CMD_PARSE::cmdDownload},
        {"reset", 0, &CMD_PARSE::cmdReset},
        {"flash", 0, &CMD_PARSE::cmdFlash},
        {"efuse", 0, &CMD_PARSE::cmdEfuse},
        {"gpio", 0, &CMD_PARSE::cmdGpio},
        {"rts", 0, &CMD_PARSE::cmdRts},
        {"dtr", 0, &CMD_PARSE::cmdDtr},
        {"usb_io", 8, &CMD_PARSE::cmdUsbIo},
        {"entry_boot_mode", 0, &CMD_PARSE::cmdEntryBootMode},
        {"uuid", 0, &CMD_PARSE::cmdUuid},
        {"mac", 0, &CMD_PARSE::cmdMac},
        {"rf", 0, &CMD_PARSE::cmdRf},
        {"test_gm", 0, &CMD_PARSE::cmdTestGm},
        {"tx_gm", 0, &CMD_PARSE::cmdTxGm},
        {"rx_gm", 0, &CMD_PARSE::cmdRxGm},
        {"test_dut", 0, &CMD_PARSE::cmdTestDut},
        {"tx_dut", 0, &CMD_PARSE::cmdTxDut},
        {"rx_dut", 0, &CMD_PARSE::cmdRxDut},
        {"xtal_cap", 0, &CMD_PARSE::cmdXtalCap},
        {"tx_power_b", 0, &CMD_PARSE::cmdTxPowerB},
        {"tx_power_gn", 0, &CMD_PARSE::cmdTxPowerGn},
        {"gpio_write_all", 0, &CMD_PARSE::cmdGpioWriteAll},
        {"gpio_read_all", 0, &CMD_PARSE::cmdGpioReadAll},
        {"rf_stop", 0, &CMD_PARSE::cmdRfStop},
        {"gm_mac", 0, &CMD_PARSE::cmdGmMac},
    };

    QString name;
    if (!word(1, name))
        return ERR_PARAMETER;
    for (const Command &command : commands) {
        if (name != QLatin1String(command.name))
            continue;
        if (command.count != 0 && command.count != count())
            continue;
        return (this->*command.handler)();
    }
    return ERR_PARAMETER;
}

uint32_t CMD_PARSE::cmdMode()
{
    QString form;
    if (!word(2, form))
        return ERR_PARAMETER;
    if (form != QLatin1String("read"))
        return CMD_OK;
    QString answer;
    if (!protocol->getMode(answer))
        return ERR_DOWNLOAD_MODE;
    if (answer == QLatin1String(chipfacts::ramcodeAnswer))
        Console::out() << "RAMCODE MODE."
                       << "\n";
    else if (answer == QLatin1String(chipfacts::chipName))
        Console::out() << "BOOT MODE."
                       << "\n";
    return CMD_OK;
}

uint32_t CMD_PARSE::cmdRts()
{
    uint32_t value = 0;
    if (!hexWord(2, value))
        return ERR_PARAMETER;
    protocol->driveRTS(value);
    return CMD_OK;
}

uint32_t CMD_PARSE::cmdDtr()
{
    uint32_t value = 0;
    if (!hexWord(2, value))
        return ERR_PARAMETER;
    protocol->driveDTR(value);
    return CMD_OK;
}

// Two line-setting phases with pauses. A level word of 0 asserts its line
// and any other value releases it; the pauses are hexadecimal milliseconds.
uint32_t CMD_PARSE::cmdUsbIo()
{
    uint32_t v[6] = {};
    for (int i = 0; i < 6; ++i) {
        if (!hexWord(2 + i, v[i]))
            return ERR_PARAMETER;
    }
    const uint32_t rts1 = v[0], dtr1 = v[1], t1 = v[2], rts2 = v[3], dtr2 = v[4], t2 = v[5];
    protocol->driveDTR(dtr1 == 0 ? 1 : 0);
    waitMs(1);
    protocol->driveRTS(rts1 == 0 ? 1 : 0);
    waitMs(int(qMin<uint32_t>(t1, INT32_MAX)));
    protocol->driveDTR(dtr2 == 0 ? 1 : 0);
    waitMs(1);
    protocol->driveRTS(rts2 == 0 ? 1 : 0);
    waitMs(int(qMin<uint32_t>(t2, INT32_MAX)));
    return CMD_OK;
}

void CMD_PARSE::driveLines(const chipfacts::LineStep *steps, size_t count, void (*pause)(int ms))
{
    for (size_t i = 0; i < count; ++i) {
        const chipfacts::LineStep &step = steps[i];
        switch (step.kind) {
        case chipfacts::LineStep::Rts:
            serial->setRTS(step.value);
            break;
        case chipfacts::LineStep::Dtr:
            serial->setDTR(step.value);
            break;
        case chipfacts::LineStep::Pause:
            pause(int(qMin<uint32_t>(step.value, INT32_MAX)));
            break;
        }
    }
}

// Resets the chip into its boot ROM, driven directly on the port with
// blocking sleeps that process no events.
uint32_t CMD_PARSE::cmdEntryBootMode()
{
    driveLines(chipfacts::entryBootMode.data(), chipfacts::entryBootMode.size(),
               [](int ms) { QThread::msleep(ulong(ms)); });
    return CMD_OK;
}
