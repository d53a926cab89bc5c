#include "resultcode.h"

#include "console.h"

const char *resultText(uint32_t code)
{
    switch (code) {
    case CMD_OK:
        return "Ok.";
    case ERR_OPEN_SERIAL:
        return "Fail. Could not open the serial port.";
    case ERR_OPEN_FILE:
        return "Fail. Could not open the file.";
    case ERR_DOWNLOAD_MODE:
        return "Fail. Could not go in download mode.";
    case ERR_AT_MODE:
        return "Fail. Could not go in AT mode.";
    case ERR_RAMCODE_MODE:
        return "Fail. Could not go in ramcode mode.";
    case ERR_DOWNLOAD_FILE:
        return "Fail. Error downloading file.";
    case ERR_COMMAND:
        return "Fail. Command execution error.";
    case ERR_PARAMETER:
        return "Fail. Error parsing parameters.";
    default:
        return "";
    }
}

void printResult(uint32_t code)
{
    Console::out() << resultText(code);
}
