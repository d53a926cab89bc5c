#ifndef CHIPINFO_H
#define CHIPINFO_H

#include "answerbuffer.h"
#include "waitms.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

// The chip information file, Config/chip_info.json beside Chipctl: one key
// per chip name, its value the boot ROM's banner (build date and time, for
// example "Mar 14 2021/00:23:32"). Further chip models are added by editing
// the file; a name also selects the ramcode image Config/<name>_RAM_BIN.bin.
//
// The file is read once, when the run starts, and only read: a station
// installed by one user serves another who may not write it. It is written
// only when it is missing or holds nothing that reads (then with the
// built-in chips); when that write fails, the built-in chips serve the run
// all the same and a warning on standard error names the file.
class chipInfo
{
public:
    explicit chipInfo(const QString &filePath);

    // Fills `names` (and the banners) from the file. When the file is
    // missing, empty, not JSON or cannot be read, takes the built-in chips
    // instead and returns false; it writes them to the file unless the file
    // exists but cannot be read.
    bool load();

    // The banner stored under `name` in what load() read (empty when missing
    // or not a string). False, and `banner` unchanged, before load().
    bool readBanner(const QString &name, QString &banner) const;

    // Which chip answered "version", once the line that names it has ended
    // (pending before): the name of a chip whose boot-ROM banner it holds,
    // or the ramcode's "RAMCODE". The first chip's banner is tested before "RAMCODE", and
    // "RAMCODE" before the second chip's banner; the rest of an answer taken
    // at its first "RAMCODE" would be read as the next one. `banner`
    // receives the banner last looked at.
    AnswerState recognise(const Answer &reply, QString &answer, QString &banner) const;

    const QString &filePath() const { return path; }

    // The chip names, in the sorted order of the file's keys.
    QStringList names;

private:
    void useBuiltIn(bool writeFile);

    QString path;
    QJsonObject chips;
    bool loaded = false;
};

#endif // CHIPINFO_H
