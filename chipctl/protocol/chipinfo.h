#ifndef CHIPINFO_H
#define CHIPINFO_H

#include "answerbuffer.h"
#include "waitms.h"

#include <QString>
#include <QStringList>

// The chip information file, Config/chip_info.json beside Chipctl: one key
// per chip name, its value the boot ROM's banner (build date and time, for
// example "Mar 14 2021/00:23:32"). Further chip models are added by editing
// the file; a name also selects the ramcode image Config/<name>_RAM_BIN.bin.
class chipInfo
{
public:
    explicit chipInfo(const QString &filePath);

    // Fills `names` from the file. When the file is missing, empty or not
    // JSON, writes the built-in contents instead and returns false.
    bool load();

    // Reads the file afresh and takes the banner stored under `name` (empty
    // when missing or not a string). False, and `banner` unchanged, when the
    // file cannot be read or parsed.
    bool readBanner(const QString &name, QString &banner) const;

    // Which chip answered "version", from a whole answer (pending before):
    // the name of a chip whose boot-ROM banner it holds, or the ramcode's
    // "RAMCODE". The first chip's banner is tested before "RAMCODE", and
    // "RAMCODE" before the second chip's banner; the rest of an answer taken
    // at its first "RAMCODE" would be read as the next one. `banner` carries
    // the last banner read across the looks of one wait (a file that cannot
    // be read leaves it as it was).
    AnswerState recognise(const Answer &reply, QString &answer, QString &banner) const;

    const QString &filePath() const { return path; }

    // The chip names, in the sorted order of the file's keys.
    QStringList names;

private:
    QString path;
};

#endif // CHIPINFO_H
