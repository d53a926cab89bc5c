#ifndef CHIPINFO_H
#define CHIPINFO_H

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

    const QString &filePath() const { return path; }

    // The chip names, in the sorted order of the file's keys.
    QStringList names;

private:
    QString path;
};

#endif // CHIPINFO_H
