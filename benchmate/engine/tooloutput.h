#ifndef TOOLOUTPUT_H
#define TOOLOUTPUT_H

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <cstdint>

// Reading the chip tool's console output. The tool prints data lines and one
// result text last; a step succeeded when the text holds "Ok." anywhere.
namespace toolOutput {

// The output bytes as text: UTF-8 up to the first zero byte.
QString decode(const QByteArray &bytes);

// True when the text holds the success mark "Ok." (case-sensitive).
bool isOk(const QString &output);

// The first line: the text before the first "\r" or "\n". The tool ends its
// lines with LF, a Windows console with CR LF; both read the same here.
QString firstLine(const QString &output);

// The failure text of the tool's result ("Fail. Could not go in download
// mode." gives "Could not go in download mode."): the sentence after the last
// "Fail. ", up to its first full stop. Empty when the output holds none (a
// success, or a tool that printed nothing before it was ended).
QString failureText(const QString &output);

using macBytes = std::array<uint8_t, 6>;

// The golden machine's MAC from the "gm_mac" answer ("mac:" and the address
// on the first line). The 17 characters after the four-character prefix must
// be six groups of two hexadecimal digits joined by ":". On success sets
// *text to those 17 characters and *bytes to the six values.
bool parseGoldenMac(const QString &output, QString *text, macBytes *bytes);

// The crystal value from the "xtal_cap" "read" answer: the first line after
// the nine-character prefix "xtal_cap:", a decimal integer, cut to its low
// eight bits and read as signed.
bool parseGoldenXtal(const QString &output, int8_t *value);

// RX samples of an "rx_dut" answer: per line, the number after "rssi=" (to
// the end of the line) and the number after "freq=" (to the next ","). A
// number that does not read adds nothing.
void parseRxSamples(const QString &output, QList<float> *rssi, QList<float> *freq);

// TX RSSI samples of a "tx_gm" answer: per line, the decimal integer after
// "rssi:" to the end of the line.
QList<int> parseTxRssi(const QString &output);

} // namespace toolOutput

#endif // TOOLOUTPUT_H
