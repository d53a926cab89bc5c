#ifndef STATIONSIM_RAMCODEIMAGE_H
#define STATIONSIM_RAMCODEIMAGE_H

#include <QByteArray>
#include <QString>

namespace stationsim {

// The simulator's ramcode image: 24 KiB, the magic text first, then bytes
// from a fixed generator, so every build produces the same file. The boot ROM
// of a simulated chip starts a downloaded image as its ramcode only when the
// image begins with the magic text.
namespace RamcodeImage {
constexpr int size = 24576;
constexpr char magic[] = "TK716A-SIM-RAMCODE";
QByteArray bytes();
bool isRamcode(const QByteArray &image);
// Writes the image to path (atomically); false and a message on failure.
bool write(const QString &path, QString *error);
} // namespace RamcodeImage

} // namespace stationsim

#endif // STATIONSIM_RAMCODEIMAGE_H
