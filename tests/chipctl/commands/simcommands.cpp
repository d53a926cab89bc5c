#include "simcommands.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

bool Expect::matches(const QByteArray &out) const
{
    if (!pattern)
        return out == text;
    const QRegularExpression re(QRegularExpression::anchoredPattern(QString::fromUtf8(text)));
    return re.match(QString::fromUtf8(out)).hasMatch();
}

bool SimCommands::start(const QByteArray &scenario)
{
    if (!dir.isValid() || !tool.isValid()) {
        errorText = QStringLiteral("no working directory or no copy of Chipctl");
        return false;
    }
    if (!QFile::exists(ramcode())) {
        errorText = QStringLiteral("no ramcode image beside Chipctl: ") + ramcode();
        return false;
    }
    const QString scenarioPath = dir.path() + QStringLiteral("/scenario.json");
    QFile file(scenarioPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(scenario) != scenario.size()) {
        errorText = QStringLiteral("cannot write the scenario");
        return false;
    }
    file.close();
    QDir().mkpath(dir.path() + QStringLiteral("/trace"));
    if (!sim.start({QStringLiteral("--scenario"), scenarioPath, QStringLiteral("--trace"),
                    dir.path() + QStringLiteral("/trace")})) {
        errorText = sim.errorText();
        return false;
    }
    return true;
}

QStringList SimCommands::expand(const QStringList &words) const
{
    QStringList out;
    for (QString word : words) {
        word.replace(QStringLiteral("{ramcode}"), ramcode());
        word.replace(QStringLiteral("{work}"), dir.path());
        out.append(word);
    }
    return out;
}

ChipctlResult SimCommands::run(const QString &chip, const QStringList &words, int timeoutMs)
{
    return tool.run(QStringList{sim.url(chip)} + expand(words), nullptr, timeoutMs);
}

bool SimCommands::startRamcode(const QString &chip)
{
    return run(chip, {"entry_boot_mode"}).out == "Ok." &&
           run(chip, {"download", "ram", "0x20000000", "{ramcode}"}).out == "Ok.";
}

// Trace lines: "   1.305496 host>chip 76 65 72 ...   |version..|".
QByteArray SimCommands::hostToChip(const QString &chip) const
{
    QFile file(dir.path() + QStringLiteral("/trace/") + chip + QStringLiteral(".trace"));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QByteArray bytes;
    static const QByteArray marker(" host>chip ");
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        const int at = line.indexOf(marker);
        if (at < 0)
            continue;
        const int bar = line.indexOf("  |", at);
        bytes += QByteArray::fromHex(line.mid(at + marker.size(), bar - at - marker.size()));
    }
    return bytes;
}

namespace {

QByteArray visible(QByteArray text)
{
    return text.replace('\r', "\\r").replace('\n', "\\n");
}

} // namespace

QByteArray outputMismatch(const QStringList &words, const Expect &expect, const QByteArray &out)
{
    return "Chipctl " + words.join(' ').toUtf8() + "\n   printed: " + visible(out) +
           "\n  expected: " + (expect.pattern ? "pattern " : "") + expect.text;
}
