// CMD_PARSE: "download", which loads the ramcode into RAM or images into
// flash, with a reset pulse and progress lines for several images.
#include "cmdparse.h"

#include "chipfacts.h"
#include "console.h"
#include "printthread.h"
#include "protocol/tranprotocol.h"
#include "resultcode.h"
#include "serial.h"
#include "waitms.h"

#include <QDeadlineTimer>

namespace {

// The front end never asks for a whole-flash erase.
constexpr uint32_t noEraseAll = 2;
// The printer notices a stop within about 10 ms; this only bounds the join.
constexpr int printerJoinMs = 5000;

} // namespace

uint32_t CMD_PARSE::cmdDownload()
{
    return runForms({
        exactly("flash", 6, &CMD_PARSE::downloadFlash),
        exactly("ram", 5, &CMD_PARSE::downloadRam),
        atLeast("flash_extend", 8, &CMD_PARSE::downloadFlashExtend),
    });
}

// One image into flash: rate decimal, address hexadecimal.
uint32_t CMD_PARSE::downloadFlash()
{
    uint32_t baud = 0;
    uint32_t address = 0;
    QString path;
    if (!decWord(3, baud) || !hexWord(4, address) || !word(5, path))
        return ERR_PARAMETER;
    QString answer;
    if (!protocol->getMode(answer))
        return ERR_DOWNLOAD_MODE;
    if (protocol->downloadFlash(baud, {address}, {path}, noEraseAll) != tranProtocol::DownloadOk)
        return ERR_DOWNLOAD_FILE;
    return CMD_OK;
}

// The ramcode into RAM. Only the boot ROM takes it: a chip whose ramcode
// already runs is not in download mode.
uint32_t CMD_PARSE::downloadRam()
{
    uint32_t address = 0;
    QString path;
    if (!hexWord(3, address) || !word(4, path))
        return ERR_PARAMETER;
    QString answer;
    if (!protocol->getMode(answer) || answer == QLatin1String(chipfacts::ramcodeAnswer))
        return ERR_DOWNLOAD_MODE;
    if (!protocol->downloadRam(address, path))
        return ERR_DOWNLOAD_FILE;
    return CMD_OK;
}

// Several images into flash, after a reset pulse into the boot ROM when
// either pause is not 0, with progress lines about once a second.
uint32_t CMD_PARSE::downloadFlashExtend()
{
    uint32_t baud = 0;
    uint32_t t1 = 0;
    uint32_t t2 = 0;
    if (!decWord(3, baud) || !hexWord(4, t1) || !hexWord(5, t2))
        return ERR_PARAMETER;

    if (t1 != 0 || t2 != 0) {
        const auto pulse = chipfacts::resetIntoBootRom(t1, t2);
        driveLines(pulse.data(), pulse.size(), waitMs);
    }

    // Address and path pairs; a last address without a path is never used.
    QList<uint32_t> addresses;
    QStringList paths;
    for (int i = 6; i < count(); ++i) {
        if (i % 2 == 0) {
            uint32_t address = 0;
            if (!hexWord(i, address))
                return ERR_PARAMETER;
            addresses.append(address);
        } else {
            QString path;
            word(i, path);
            paths.append(path);
        }
    }

    QString answer;
    if (!protocol->getMode(answer))
        return ERR_DOWNLOAD_MODE;

    downloadFileCount = int32_t(paths.size());
    auto printer = std::make_unique<printThread>();
    printer->start();
    const uint32_t result = protocol->downloadFlash(baud, addresses, paths, noEraseAll);

    // The printer is stopped and joined before anything else is printed, so
    // its lines never mix with the result text.
    printer->stop();
    if (!printer->join(printerJoinMs)) {
        // Still blocked in a write to standard output: a running thread must
        // not be destroyed, and the process ends right after this command.
        static_cast<void>(printer.release());
    }

    QTextStream &out = Console::out();
    if (result == tranProtocol::DownloadOk) {
        out << "Download progress: "
            << "100%."
            << "\n";
        out << "flash uid:" << protocol->flashUid << "\n";
        return CMD_OK;
    }
    // The UID line follows the result text.
    printResult(ERR_DOWNLOAD_FILE);
    if (protocol->flashUid.isEmpty())
        out << "flash uid:"
            << "can not get flash uid."
            << "\n";
    else
        out << "\nflash uid:" << protocol->flashUid << "\n";
    return resultPrinted;
}
