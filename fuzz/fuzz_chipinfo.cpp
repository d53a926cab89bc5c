// Chipctl's chip information file Config/chip_info.json, which an operator
// may edit. Any content is read, once; what cannot be read is replaced with
// the built-in chips, and the file then holds them for the next start.
//
// Input: the file's bytes.
#include "fuzzcheck.h"
#include "protocol/chipinfo.h"

#include <QFile>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzApplication();
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("chip_info.json"));
    {
        QFile file(path);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(file.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size));
    }

    chipInfo info(path);
    const bool read = info.load();
    if (!read) {
        // The built-in chips, written back for the next start.
        FUZZ_CHECK(info.names == QStringList({QStringLiteral("TK602C"), QStringLiteral("TK716A")}));
        chipInfo again(path);
        FUZZ_CHECK(again.load());
        FUZZ_CHECK(again.names == info.names);
    }
    QString banner;
    for (const QString &name : info.names)
        FUZZ_CHECK(info.readBanner(name, banner));
    QString unknown = QStringLiteral("unchanged");
    FUZZ_CHECK(info.readBanner(QStringLiteral("no such chip"), unknown));
    FUZZ_CHECK(unknown.isEmpty());
    return 0;
}
