#include "inifile.h"

#include <QFile>

namespace {

// Whether the bytes are well-formed UTF-8. Decoding puts U+FFFD where a
// byte cannot be read (GBK text, a cut sequence), and that does not encode
// back to the same bytes.
bool isUtf8(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

} // namespace

IniFile IniFile::read(const QString &path)
{
    QFile file(path);
    if (!file.exists()) {
        IniFile ini;
        ini.m_path = path;
        return ini;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        IniFile ini;
        ini.m_path = path;
        ini.m_exists = true;
        ini.m_problems << QStringLiteral("%1: cannot be read: %2").arg(path, file.errorString());
        return ini;
    }
    return parse(file.readAll(), path);
}

IniFile IniFile::parse(const QByteArray &bytes, const QString &path)
{
    IniFile ini;
    ini.m_path = path;
    ini.m_exists = true;
    QByteArray text = bytes;
    if (text.startsWith("\xEF\xBB\xBF")) // a byte order mark, as Notepad writes
        text.remove(0, 3);
    const QList<QByteArray> lines = text.split('\n');
    QString section;
    bool inSection = false;
    for (int i = 0; i < lines.size(); ++i) {
        const int number = i + 1;
        QByteArray raw = lines.at(i);
        if (raw.endsWith('\r'))
            raw.chop(1);
        if (!isUtf8(raw)) {
            ini.problem(number, QStringLiteral("not UTF-8 text (save the file as UTF-8)"));
            continue;
        }
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) ||
            line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']')) || line.size() < 3) {
                ini.problem(number, QStringLiteral("\"%1\" is no [section]").arg(line));
                inSection = false;
                continue;
            }
            section = line.mid(1, line.size() - 2).trimmed();
            inSection = true;
            if (!ini.m_sections.contains(section))
                ini.m_sections << section;
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            ini.problem(number, QStringLiteral("\"%1\" is no key=value line").arg(line));
            continue;
        }
        if (!inSection) {
            ini.problem(number, QStringLiteral("\"%1\" stands before any [section]").arg(line));
            continue;
        }
        Entry entry;
        entry.section = section;
        entry.key = line.left(eq).trimmed();
        QString value = line.mid(eq + 1);
        for (int at = 1; at < value.size(); ++at) {
            if (value.at(at) == QLatin1Char(';') &&
                (value.at(at - 1) == QLatin1Char(' ') || value.at(at - 1) == QLatin1Char('\t'))) {
                value.truncate(at);
                break;
            }
        }
        entry.value = value.trimmed();
        entry.line = number;
        if (const Entry *first = ini.find(section, entry.key)) {
            ini.problem(number, QStringLiteral("[%1] %2 is given again (first on line %3)")
                                    .arg(section, entry.key)
                                    .arg(first->line));
            continue;
        }
        ini.m_entries << entry;
    }
    return ini;
}

const IniFile::Entry *IniFile::find(const QString &section, const QString &key) const
{
    for (const Entry &entry : m_entries) {
        if (entry.section == section && entry.key == key)
            return &entry;
    }
    return nullptr;
}

bool IniFile::hasSection(const QString &section) const
{
    return m_sections.contains(section);
}

QString IniFile::where(const Entry &entry) const
{
    return QStringLiteral("%1 line %2").arg(m_path).arg(entry.line);
}

void IniFile::problem(int line, const QString &reason)
{
    m_problems << QStringLiteral("%1 line %2: %3").arg(m_path).arg(line).arg(reason);
}
