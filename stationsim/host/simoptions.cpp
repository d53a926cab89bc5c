#include "host/simoptions.h"

#include "host/scenario.h"

namespace stationsim {

namespace {
bool number(const QString &option, const QString &text, qint64 min, qint64 max, qint64 *out,
            QString *error)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    if (!ok || value < min || value > max) {
        *error = QStringLiteral("%1 needs a whole number from %2 to %3, not \"%4\"")
                     .arg(option)
                     .arg(min)
                     .arg(max)
                     .arg(text);
        return false;
    }
    *out = value;
    return true;
}
} // namespace

bool SimOptions::parse(const QStringList &arguments, QString *error)
{
    static const QStringList withValue = {
        QStringLiteral("--scenario"),
        QStringLiteral("--duts"),
        QStringLiteral("--base-port"),
        QStringLiteral("--pty-dir"),
        QStringLiteral("--state-dir"),
        QStringLiteral("--seed"),
        QStringLiteral("--write-device-config"),
        QStringLiteral("--trace"),
        QStringLiteral("--firmware-path"),
        QStringLiteral("--make-ramcode"),
        QStringLiteral("--delivery"),
        QStringLiteral("--chip-pace"),
    };
    for (int i = 0; i < arguments.size(); ++i) {
        QString option = arguments.at(i);
        QString value;
        bool hasValue = false;
        const int eq = option.indexOf(QLatin1Char('='));
        if (option.startsWith(QLatin1String("--")) && eq > 0) {
            value = option.mid(eq + 1);
            option = option.left(eq);
            hasValue = true;
        }
        if (option == QLatin1String("--help") || option == QLatin1String("-h")) {
            help = true;
            continue;
        }
        if (option == QLatin1String("--normal-priority") && !hasValue) {
            normalPriority = true;
            continue;
        }
        if (!withValue.contains(option)) {
            *error = option.startsWith(QLatin1Char('-'))
                         ? QStringLiteral("unknown option %1 (see --help)").arg(option)
                         : QStringLiteral("unexpected argument \"%1\" (see --help)").arg(option);
            return false;
        }
        if (!hasValue) {
            if (i + 1 >= arguments.size() || arguments.at(i + 1).startsWith(QLatin1String("--"))) {
                *error = QStringLiteral("%1 needs a value").arg(option);
                return false;
            }
            value = arguments.at(++i);
        }
        qint64 n = 0;
        if (option == QLatin1String("--scenario")) {
            scenario = value;
        } else if (option == QLatin1String("--duts")) {
            if (!number(option, value, 0, Scenario::maxDuts, &n, error))
                return false;
            duts = int(n);
        } else if (option == QLatin1String("--base-port")) {
            if (!number(option, value, 0, 65535, &n, error))
                return false;
            basePort = int(n);
        } else if (option == QLatin1String("--seed")) {
            if (!number(option, value, 0, 4294967295LL, &n, error))
                return false;
            seed = quint32(n);
        } else if (option == QLatin1String("--delivery")) {
            delivery = DeliveryModel::parse(value);
            if (!delivery) {
                *error = QStringLiteral("--delivery needs one of %1, not \"%2\"")
                             .arg(DeliveryModel::names().join(QStringLiteral(", ")), value);
                return false;
            }
        } else if (option == QLatin1String("--chip-pace")) {
            chipPace = AnswerPacer::parse(value);
            if (!chipPace) {
                *error = QStringLiteral("--chip-pace needs one of %1, not \"%2\"")
                             .arg(AnswerPacer::names().join(QStringLiteral(", ")), value);
                return false;
            }
        } else if (option == QLatin1String("--pty-dir")) {
            ptyDir = value;
        } else if (option == QLatin1String("--state-dir")) {
            stateDir = value;
        } else if (option == QLatin1String("--write-device-config")) {
            deviceConfig = value;
        } else if (option == QLatin1String("--trace")) {
            traceDir = value;
        } else if (option == QLatin1String("--firmware-path")) {
            firmwarePath = value;
        } else if (option == QLatin1String("--make-ramcode")) {
            makeRamcode = value;
        }
        if (value.isEmpty()) {
            *error = QStringLiteral("%1 needs a value").arg(option);
            return false;
        }
    }
    return true;
}

QString SimOptions::helpText()
{
    return QStringLiteral(
        "usage: stationsim [--scenario FILE] [--duts N] [--base-port P] [--pty-dir DIR]\n"
        "                  [--state-dir DIR] [--seed S] [--delivery MODEL] [--chip-pace PACE]\n"
        "                  [--write-device-config FILE] [--trace DIR] [--firmware-path FILE]\n"
        "                  [--normal-priority]\n"
        "       stationsim --make-ramcode FILE\n"
        "\n"
        "A simulated TK716A test station: a golden machine and up to 24 DUTs, each\n"
        "with its own RFC 2217 port on 127.0.0.1 (golden machine on the base port,\n"
        "DUT n on base + n). When every chip listens, one line goes to standard\n"
        "output: \"ready gm=rfc2217://127.0.0.1:P dut01=...\".\n"
        "\n"
        "  --scenario FILE      chip set-up and faults as JSON (see docs/simulator.md)\n"
        "  --duts N             number of DUTs, 0 to 24 (default 24)\n"
        "  --base-port P        golden machine's port (default 7000); 0 picks a free range\n"
        "  --pty-dir DIR        also offer every chip as a pty, linked as DIR/gm, DIR/dut01 ...\n"
        "  --state-dir DIR      keep flash, OTP and eFuse of every chip in DIR across runs\n"
        "                       (default: a temporary directory removed at exit)\n"
        "  --seed S             seed of the measurement noise and the links' choices (default 1)\n"
        "  --delivery MODEL     how every chip's bytes reach the host: whole (a line at a\n"
        "                       time), bytes (each at its wire time), usb (a USB-serial\n"
        "                       adapter's packets and latency timer; the default) or net\n"
        "                       (a network device server's splits and delays)\n"
        "  --chip-pace PACE     how fast every chip's firmware prints: fast (an answer at\n"
        "                       once; the default), lines (1 to 20 ms between its lines)\n"
        "                       or slow (as lines, and the characters of a short line\n"
        "                       0.5 ms apart)\n"
        "  --write-device-config FILE\n"
        "                       write Benchmate's device_config.csv for this station\n"
        "  --firmware-path FILE ramcode image named in that file (default: the image the\n"
        "                       build made in station/config/CHIPCTL/Config)\n"
        "  --trace DIR          write a wire trace per chip, DIR/gm.trace ...\n"
        "  --make-ramcode FILE  write the simulator's ramcode image and exit\n"
        "  --normal-priority    do not raise the process's priority (by default it takes a\n"
        "                       real-time class, or a higher one, where permitted, so that\n"
        "                       the chips keep their time on a busy PC)\n"
        "  --help               this text\n"
        "\n"
        "Ends cleanly on SIGTERM or SIGINT, and when standard input is a pipe that closes.\n");
}

} // namespace stationsim
