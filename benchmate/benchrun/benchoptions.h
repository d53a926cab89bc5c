#ifndef BENCHOPTIONS_H
#define BENCHOPTIONS_H

#include <QString>
#include <QStringList>

// benchrun's command line: --cycles N, --verbose, --help.
struct BenchOptions
{
    int cycles = 1;
    bool verbose = false; // pass the engine's console lines through
    bool help = false;
    QString error; // set when the command line is bad

    // `args` without the program name.
    static BenchOptions parse(const QStringList &args);
    static QString usage();
};

#endif // BENCHOPTIONS_H
