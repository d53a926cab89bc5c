// CMD_PARSE: the objects of a run, their wiring, the dispatch and the
// commands that work on the control lines or probe the boot ROM.
#include "cmdparse.h"

#include "atcmd.h"
#include "console.h"
#include "numparse.h"
#include "protocol/tranprotocol.h"
#include "resultcode.h"
#include "serial.h"
#include "waitms.h"

#include <QThread>

std::atomic<tranProtocol *> activeProtocol{nullptr};
std::atomic<int32_t> downloadFileCount{0};

namespace {

constexpr uint32_t openBaudRate = 115200;
constexpr int anyCount = -1;

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

void CMD_PARSE::execute(QStringList args)
{
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
    if (!serial->openPort(port, openBaudRate))
        return ERR_OPEN_SERIAL;

    connect(serial.get(), &Serial::recvSerialData, protocol.get(), &tranProtocol::recvData);
    connect(protocol.get(), &tranProtocol::sendData, serial.get(), &Serial::sendData);
    connect(protocol.get(), &tranProtocol::setBaudRate, serial.get(), &Serial::setBaudRate);
    connect(protocol.get(), &tranProtocol::setRTS, serial.get(), &Serial::setRTS);
    connect(protocol.get(), &tranProtocol::setDTR, serial.get(), &Serial::setDTR);
    connect(serial.get(), &Serial::recvSerialData, at.get(), &ATCMD::recvData);
    connect(at.get(), &ATCMD::sendData, serial.get(), &Serial::sendData);

    struct Command
    {
        const char *name;
        int count; // exact number of words, or anyCount
        Handler handler;
    };
    static const Command commands[] = {
        {"mode", anyCount, &CMD_PARSE::cmdMode},
        {"rts", anyCount, &CMD_PARSE::cmdRts},
        {"dtr", anyCount, &CMD_PARSE::cmdDtr},
        {"usb_io", 8, &CMD_PARSE::cmdUsbIo},
        {"entry_boot_mode", anyCount, &CMD_PARSE::cmdEntryBootMode},
    };

    QString name;
    if (!word(1, name))
        return ERR_PARAMETER;
    for (const Command &command : commands) {
        if (name != QLatin1String(command.name))
            continue;
        if (command.count != anyCount && command.count != count())
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
    if (answer == QLatin1String("RAMCODE"))
        Console::out() << "RAMCODE MODE."
                       << "\n";
    else if (answer == QLatin1String("TK716A"))
        Console::out() << "BOOT MODE."
                       << "\n";
    return CMD_OK;
}

uint32_t CMD_PARSE::cmdRts()
{
    QString text;
    uint32_t value = 0;
    if (!word(2, text) || !numparse::hex(text, value))
        return ERR_PARAMETER;
    protocol->driveRTS(value);
    return CMD_OK;
}

uint32_t CMD_PARSE::cmdDtr()
{
    QString text;
    uint32_t value = 0;
    if (!word(2, text) || !numparse::hex(text, value))
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
        if (!numparse::hex(words.at(2 + i), v[i]))
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

// Resets the chip into its boot ROM: RTS holds it in reset, and DTR asserted
// when RTS is released selects the boot ROM. Blocking sleeps, no events.
uint32_t CMD_PARSE::cmdEntryBootMode()
{
    serial->setDTR(1);
    serial->setRTS(0);
    QThread::msleep(40);
    serial->setRTS(1);
    serial->setDTR(0);
    QThread::msleep(50);
    serial->setDTR(1);
    serial->setRTS(0);
    QThread::msleep(100);
    serial->setDTR(0);
    QThread::msleep(10);
    return CMD_OK;
}
