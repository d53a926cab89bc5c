#include "benchoptions.h"

#include "textnumber.h"

namespace {

// Beyond this a run is a mistake rather than a shift's work.
constexpr int maxCycles = 1000000;

bool parseCycles(const QString &text, int *cycles)
{
    bool ok = false;
    const int value = textNumber::toInt(text, &ok);
    if (!ok || value < 1 || value > maxCycles)
        return false;
    *cycles = value;
    return true;
}

} // namespace

BenchOptions BenchOptions::parse(const QStringList &args)
{
    BenchOptions options;
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            options.help = true;
        } else if (arg == QLatin1String("--verbose") || arg == QLatin1String("-v")) {
            options.verbose = true;
        } else if (arg == QLatin1String("--json")) {
            options.json = true;
        } else if (arg == QLatin1String("--cycles") || arg == QLatin1String("-n")) {
            if (i + 1 >= args.size()) {
                options.error = arg + QStringLiteral(" needs a number of cycles");
                return options;
            }
            const QString value = args.at(++i);
            if (!parseCycles(value, &options.cycles)) {
                options.error = QStringLiteral("bad number of cycles \"%1\" (1 to %2)")
                                    .arg(value)
                                    .arg(maxCycles);
                return options;
            }
        } else if (arg.startsWith(QLatin1String("--cycles="))) {
            const QString value = arg.mid(9);
            if (!parseCycles(value, &options.cycles)) {
                options.error = QStringLiteral("bad number of cycles \"%1\" (1 to %2)")
                                    .arg(value)
                                    .arg(maxCycles);
                return options;
            }
        } else {
            options.error = QStringLiteral("unknown argument \"%1\"").arg(arg);
            return options;
        }
    }
    return options;
}

QString BenchOptions::usage()
{
    return QStringLiteral(
        "Usage: benchrun [--cycles N] [--verbose] [--json]\n"
        "\n"
        "Runs N test cycles (default 1) of the station without a window: the\n"
        "same engine, judging, counters and logs as Benchmate. Run it in the\n"
        "station directory, the one that holds config/device_config.csv,\n"
        "config/CHIPCTL/Chipctl and log/.\n"
        "\n"
        "After every cycle it prints a table of the DUTs, at the end a yield\n"
        "summary. Each cycle's log goes to log/yyyy-MM-dd.txt, one row per DUT\n"
        "to log/yyyy-MM-dd.csv and one record per cycle to the results\n"
        "database log/results.sqlite; the counters and the starting crystal\n"
        "value are written back to config/device_config.csv after every cycle.\n"
        "With a [factory_db] section in config/station.ini the cycles are also\n"
        "forwarded to the factory's database; the summary says how many wait\n"
        "to go over and why.\n"
        "\n"
        "  -n, --cycles N   number of cycles, 1 to 1000000\n"
        "  -v, --verbose    show the engine's console lines too\n"
        "      --json       for a line's own programs: on standard output one\n"
        "                   JSON object a line, one per DUT (\"type\": \"dut\")\n"
        "                   and then one per cycle (\"type\": \"cycle\"), with the\n"
        "                   cycle_uid it has in the results database; the\n"
        "                   tables, progress and summary go to standard error\n"
        "  -h, --help       this text\n"
        "\n"
        "Exit status: 0 every cycle ran (failed DUTs are results, not errors);\n"
        "1 the station is not set up (settings file, enabled DUTs, chip tool,\n"
        "firmware) or another station program (benchrun, Benchmate) works in\n"
        "the directory; 2 a bad command line; 3 a cycle ended in a station error\n"
        "(the golden machine failed, or the cycle did not finish); 4 a log or\n"
        "results block, a cycle's record, or the counters in the settings\n"
        "file could not be written; 130, 143 or 129 stopped by SIGINT (Ctrl-C),\n"
        "SIGTERM or SIGHUP (its terminal closed): the running cycle was stopped\n"
        "as Benchmate's stop button stops it (its chip tools killed, nothing of\n"
        "it counted or logged).\n");
}
