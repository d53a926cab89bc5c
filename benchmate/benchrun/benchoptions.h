#ifndef BENCHOPTIONS_H
#define BENCHOPTIONS_H

#include <QString>
#include <QStringList>

// benchrun's command line: --cycles N, --verbose, --json, --help.
struct BenchOptions
{
    int cycles = 1;
    bool verbose = false; // pass the engine's console lines through
    // One JSON object per DUT and per cycle on standard output; everything
    // else (tables, progress, summary) on standard error.
    bool json = false;
    bool help = false;
    QString error; // set when the command line is bad

    // `args` without the program name.
    static BenchOptions parse(const QStringList &args);
    static QString usage();
};

#endif // BENCHOPTIONS_H
