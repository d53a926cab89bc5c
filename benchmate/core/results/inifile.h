#ifndef INIFILE_H
#define INIFILE_H

#include <QList>
#include <QString>
#include <QStringList>

// The station's own small INI files (config/station.ini), read strictly.
// Every line is blank, a comment (";" or "#" as its first character), a
// "[section]" or a "key=value" inside a section. A value is taken as
// written, up to the end of its line or to a comment after it (a ";" with
// a space or tab before it), with the spaces around it trimmed: a ";" or a
// "," inside it is part of it ("id=line2;st07" is "line2;st07", where Qt's
// INI reader cut the value at the ";" and made a list of it at a ","). The
// file must be UTF-8, as the settings file must. Whatever cannot be read is
// named with its line.
class IniFile
{
public:
    struct Entry
    {
        QString section;
        QString key;
        QString value;
        int line = 0;
    };

    // Reads `path`. A missing file is no error: it holds nothing.
    static IniFile read(const QString &path);
    // Reads the bytes of a file called `path` (the name is for messages).
    static IniFile parse(const QByteArray &bytes, const QString &path);

    bool exists() const { return m_exists; }
    const QString &path() const { return m_path; }
    // The value of section/key, or nullptr when the file does not give it.
    const Entry *find(const QString &section, const QString &key) const;
    bool hasSection(const QString &section) const;
    const QList<Entry> &entries() const { return m_entries; }
    // "PATH line N: reason" for every line that could not be read; the
    // lines before and after it still are.
    const QStringList &problems() const { return m_problems; }

    // "PATH line N" of an entry, for a message about its value.
    QString where(const Entry &entry) const;

private:
    void problem(int line, const QString &reason);

    QString m_path;
    bool m_exists = false;
    QStringList m_sections;
    QList<Entry> m_entries;
    QStringList m_problems;
};

#endif // INIFILE_H
