// CMD_PARSE: "flash", the ramcode's flash and OTP commands, with a read that
// loads the ramcode first when the boot ROM answers.
#include "cmdparse.h"

#include "chipfacts.h"
#include "console.h"
#include "protocol/tranprotocol.h"
#include "resultcode.h"
#include "waitms.h"

#include <QFileInfo>
#include <QSaveFile>

namespace {

// Time the ramcode takes to start after it has been loaded.
constexpr int ramcodeStartMs = 500;

// A hex dump without the CRC bytes and the space before them: the data
// bytes alone, "xx" each, separated by single spaces.
QString withoutCrc(const QString &dump)
{
    return dump.left(qMax(0, dump.size() - 6));
}

} // namespace

uint32_t CMD_PARSE::cmdFlash()
{
    return runForms({
        exactly("read_with_download", 5, &CMD_PARSE::flashReadWithDownload),
        exactly("read", 5, &CMD_PARSE::flashRead),
        exactly("readbin", 6, &CMD_PARSE::flashReadBin),
        exactly("erase", 5, &CMD_PARSE::flashErase),
        exactly("erase_all", 3, &CMD_PARSE::flashEraseAll),
        anyCount("otp", &CMD_PARSE::flashOtp),
    });
}

// The ramcode image is the TK716A one whatever chip answered.
uint32_t CMD_PARSE::flashReadWithDownload()
{
    uint32_t address = 0;
    uint32_t length = 0;
    if (!hexWord(3, address) || !hexWord(4, length))
        return ERR_PARAMETER;
    QString answer;
    if (!protocol->getMode(answer))
        return ERR_DOWNLOAD_MODE;
    if (answer != QLatin1String(chipfacts::ramcodeAnswer)) {
        const QString image = protocol->configDir() + QLatin1Char('/') +
                              chipfacts::ramcodeImage(QLatin1String(chipfacts::chipName));
        if (!protocol->downloadRam(chipfacts::ramcodeAddress, image))
            return ERR_DOWNLOAD_FILE;
        waitMs(ramcodeStartMs);
    }
    return printFlash(address, length);
}

uint32_t CMD_PARSE::flashRead()
{
    uint32_t address = 0;
    uint32_t length = 0;
    if (!hexWord(3, address) || !hexWord(4, length))
        return ERR_PARAMETER;
    return printFlash(address, length);
}

// Reads the flash through the running ramcode and prints it as a data line.
uint32_t CMD_PARSE::printFlash(uint32_t address, uint32_t length)
{
    if (!ramcodeRunning())
        return ERR_RAMCODE_MODE;
    QString dump;
    if (!protocol->flashRead(address, length, dump))
        return ERR_COMMAND;
    Console::out() << "flash data:" << withoutCrc(dump) << "\n";
    return CMD_OK;
}

// The output file must be one that can be written before the chip is asked
// for anything: a regular file, or none yet, in a directory where the dump
// can be made beside it. Nothing is created or changed here.
uint32_t CMD_PARSE::flashReadBin()
{
    uint32_t address = 0;
    uint32_t length = 0;
    QString path;
    if (!hexWord(3, address) || !hexWord(4, length) || !word(5, path))
        return ERR_PARAMETER;
    const QFileInfo target(path);
    if (target.exists() && !target.isFile())
        return ERR_PARAMETER;
    {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return ERR_PARAMETER;
        file.cancelWriting();
    }
    if (!ramcodeRunning())
        return ERR_RAMCODE_MODE;
    if (!protocol->readToFile(address, length, path))
        return ERR_COMMAND;
    return CMD_OK;
}

uint32_t CMD_PARSE::flashErase()
{
    uint32_t address = 0;
    uint32_t length = 0;
    if (!hexWord(3, address) || !hexWord(4, length))
        return ERR_PARAMETER;
    if (!ramcodeRunning())
        return ERR_RAMCODE_MODE;
    return protocol->flashErase(address, length) ? CMD_OK : ERR_COMMAND;
}

uint32_t CMD_PARSE::flashEraseAll()
{
    if (!ramcodeRunning())
        return ERR_RAMCODE_MODE;
    return protocol->flashEraseAll() ? CMD_OK : ERR_COMMAND;
}

// "flash otp" SUB [ADDRESS LENGTH-OR-VALUE]: the ramcode is probed before
// anything is parsed; without the two numbers both are 0.
uint32_t CMD_PARSE::flashOtp()
{
    if (!ramcodeRunning())
        return ERR_RAMCODE_MODE;
    uint32_t address = 0;
    uint32_t second = 0;
    if (count() == 6 && (!hexWord(4, address) || !hexWord(5, second)))
        return ERR_PARAMETER;
    QString sub;
    if (!word(3, sub))
        return ERR_PARAMETER;

    if (sub == QLatin1String("erase"))
        return protocol->otpErase(address, second) ? CMD_OK : ERR_COMMAND;
    if (sub == QLatin1String("read")) {
        QString dump;
        if (!protocol->otpRead(address, second, dump))
            return ERR_COMMAND;
        Console::out() << "flash otp data:" << withoutCrc(dump) << "\n";
        return CMD_OK;
    }
    if (sub == QLatin1String("write")) {
        // One byte: the low 8 bits of the value word.
        return protocol->otpWrite(address, uint8_t(second)) ? CMD_OK : ERR_COMMAND;
    }
    if (sub == QLatin1String("lock"))
        return protocol->otpLock() ? CMD_OK : ERR_COMMAND;
    if (sub == QLatin1String("get_lock")) {
        uint32_t state = 0;
        if (!protocol->otpLockState(state))
            return ERR_COMMAND;
        Console::out() << "sta:" << int(int8_t(state)) << "\n";
        return CMD_OK;
    }
    return ERR_PARAMETER;
}
