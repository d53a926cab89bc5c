// config/station.ini as the station reads it (IniFile). Any content is read
// line by line: every entry names a line of the input, stands in a section,
// is given once, and its value is whole text of that line (trimmed, without
// a line end); a line that could not be read is named, never dropped in
// silence.
//
// Input: the file's bytes.
#include "fuzzcheck.h"
#include "inifile.h"

#include <QPair>
#include <QSet>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), int(size));
    const IniFile ini = IniFile::parse(content, QStringLiteral("station.ini"));
    const int lines = content.count('\n') + 1;
    QSet<QPair<QString, QString>> seen;
    for (const IniFile::Entry &entry : ini.entries()) {
        FUZZ_CHECK(entry.line >= 1 && entry.line <= lines);
        FUZZ_CHECK(ini.hasSection(entry.section));
        FUZZ_CHECK(!entry.key.isEmpty());
        FUZZ_CHECK(!entry.value.contains(QLatin1Char('\n')));
        FUZZ_CHECK(entry.value == entry.value.trimmed());
        const QPair<QString, QString> name(entry.section, entry.key);
        FUZZ_CHECK(!seen.contains(name));
        seen.insert(name);
        FUZZ_CHECK(ini.find(entry.section, entry.key) != nullptr);
    }
    // Bytes that are not UTF-8 are never read as a value.
    if (QString::fromUtf8(content).toUtf8() != content && !content.startsWith("\xEF\xBB\xBF"))
        FUZZ_CHECK(!ini.problems().isEmpty());
    return 0;
}
