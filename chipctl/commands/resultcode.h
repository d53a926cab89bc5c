#ifndef RESULTCODE_H
#define RESULTCODE_H

#include <cstdint>

class QTextStream;

// Result codes of a Chipctl run. 0x1xx: the chip or a resource could not be
// reached in the needed state; 0x2xx: a bad command line or a failed chip
// command.
enum ResultCode : uint32_t
{
    CMD_OK = 0x000,
    ERR_OPEN_SERIAL = 0x100,
    ERR_OPEN_FILE = 0x101,
    ERR_DOWNLOAD_MODE = 0x102,
    ERR_AT_MODE = 0x103,
    ERR_RAMCODE_MODE = 0x104,
    ERR_DOWNLOAD_FILE = 0x105,
    ERR_COMMAND = 0x200,
    ERR_PARAMETER = 0x201,
};

// The text of a result code ("Ok." or "Fail. " and the message); empty for
// any other value.
const char *resultText(uint32_t code);

// Prints exactly the text of the code on the console, with no line end.
void printResult(uint32_t code);

#endif // RESULTCODE_H
