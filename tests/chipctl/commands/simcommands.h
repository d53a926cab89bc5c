#ifndef SIMCOMMANDS_H
#define SIMCOMMANDS_H

#include "chipctlrun.h"
#include "simstation.h"

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// What a run must print: the exact text, or a regular expression that must
// match the whole output (for progress lines, RF samples and the like).
struct Expect
{
    QByteArray text;
    bool pattern = false;

    bool matches(const QByteArray &out) const;
};
Q_DECLARE_METATYPE(Expect)

inline Expect exact(const QByteArray &text)
{
    return {text, false};
}
inline Expect matching(const QByteArray &pattern)
{
    return {pattern, true};
}

// One simulated station for a whole test executable, a private Chipctl and
// a working directory. Command words may name files of the run:
// "{ramcode}" is the ramcode image beside the program, "{work}/NAME" a file
// in the working directory.
class SimCommands
{
public:
    // Starts the simulator with `scenario` (JSON text), every chip traced.
    bool start(const QByteArray &scenario);
    QString error() const { return errorText; }

    ChipctlResult run(const QString &chip, const QStringList &words, int timeoutMs = 60000);
    // entry_boot_mode and "download ram" with the ramcode image.
    bool startRamcode(const QString &chip);

    QString work() const { return dir.path(); }
    QString ramcode() const { return tool.configDir() + QStringLiteral("/TK716A_RAM_BIN.bin"); }
    QStringList expand(const QStringList &words) const;
    // Every byte the chip has received from the host so far (its trace).
    QByteArray hostToChip(const QString &chip) const;

    ChipctlCopy tool;
    SimStation sim;

private:
    QTemporaryDir dir;
    QString errorText;
};

// The message of a failed output check: the command and both texts.
QByteArray outputMismatch(const QStringList &words, const Expect &expect, const QByteArray &out);

#endif // SIMCOMMANDS_H
