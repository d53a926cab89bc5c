// benchreport: the yield report over a station's results database or the
// factory's shared one. See ReportOptions::usage().
#include "driftreport.h"
#include "factorysetup.h"
#include "htmlreport.h"
#include "reportoptions.h"
#include "reportsource.h"
#include "reportwriter.h"
#include "unitreport.h"
#include "yieldreport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

namespace {

enum ExitStatus
{
    ExitDone = 0,
    ExitNoDatabase = 1,
    ExitBadUsage = 2,
};

// Writes `text` as UTF-8 to `path` whole, or not at all.
bool writeFile(const QString &path, const QString &text, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2")
                     .arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    return true;
}

// The report as the options want it: to standard output, to a file, or
// for CSV one file per table in a folder. Returns the exit status.
int writeReport(const ReportOptions &options, const YieldFigures &figures,
                const DriftReport::Result *drift, QTextStream &out, QString *error)
{
    if (options.html)
        return writeFile(options.out, HtmlReport::page(figures, drift), error) ? ExitDone
                                                                               : ExitNoDatabase;
    if (options.format == ReportWriter::Csv && options.table.isEmpty()) {
        if (!QDir().mkpath(options.out)) {
            *error = QStringLiteral("cannot make the folder %1")
                         .arg(QDir::toNativeSeparators(options.out));
            return ExitNoDatabase;
        }
        const QDir dir(options.out);
        for (const QString &key : ReportWriter::tableKeys()) {
            if (!writeFile(dir.filePath(key + QStringLiteral(".csv")),
                           ReportWriter::write(figures, options.format, key), error))
                return ExitNoDatabase;
        }
        return ExitDone;
    }
    const QString text = ReportWriter::write(figures, options.format, options.table) +
                         (drift ? DriftReport::text(*drift) : QString());
    if (options.out.isEmpty()) {
        out << text;
        return ExitDone;
    }
    return writeFile(options.out, text, error) ? ExitDone : ExitNoDatabase;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    QTextStream out(stdout);
    QTextStream err(stderr);
    // UTF-8 whatever the system's code page (Qt 5 would take the locale's).
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    out.setEncoding(QStringConverter::Utf8);
    err.setEncoding(QStringConverter::Utf8);
#else
    out.setCodec("UTF-8");
    err.setCodec("UTF-8");
#endif

    const ReportOptions options = ReportOptions::parse(args);
    if (!options.error.isEmpty()) {
        err << "benchreport: " << options.error << "\n\n" << ReportOptions::usage();
        return ExitBadUsage;
    }
    if (options.help) {
        out << ReportOptions::usage();
        return ExitDone;
    }

    QString error;
    int status = ExitDone;
    if (options.initFactory) {
        ReportSource source;
        if (source.openForSetup(options) != ReportSource::Ready) {
            error = source.error();
            status = ExitNoDatabase;
        } else if (!FactorySetup::run(source.connection(), source.name(), options.stationLogins,
                                      options.reportLogins, &error)) {
            status = ExitNoDatabase;
        } else {
            out << source.name() << ": results tables up to date, roles "
                << FactorySetup::stationRole << " and " << FactorySetup::reportRole << " set up";
            for (const FactorySetup::StationLogin &s : options.stationLogins)
                out << "; station login " << s.login << " forwards for " << s.stationId;
            for (const QString &login : options.reportLogins)
                out << "; report login " << login;
            out << '\n';
        }
    } else {
        ReportSource source;
        YieldFigures figures;
        switch (source.open(options)) {
        case ReportSource::Ready: {
            if (!options.unit.isEmpty()) {
                QList<UnitTest> tests;
                if (!UnitReport::compute(source.connection(), options.unit, options.filter, &tests,
                                         &error)) {
                    error = source.name() + QStringLiteral(": ") + error;
                    status = ExitNoDatabase;
                } else if (tests.isEmpty()) {
                    error = QStringLiteral("%1 holds no test of module \"%2\"%3")
                                .arg(source.name(), options.unit,
                                     options.filter.from.isValid() || options.filter.to.isValid() ||
                                             !options.filter.stations.isEmpty()
                                         ? QStringLiteral(" in the period and stations asked")
                                         : QString());
                    status = ExitBadUsage;
                } else {
                    const QString text = UnitReport::write(options.unit, tests, options.format);
                    if (options.out.isEmpty())
                        out << text;
                    else if (!writeFile(options.out, text, &error))
                        status = ExitNoDatabase;
                }
                break;
            }
            if (!YieldReport::compute(source.connection(), options.filter, &figures, &error)) {
                error = source.name() + QStringLiteral(": ") + error;
                status = ExitNoDatabase;
                break;
            }
            figures.source = source.name();
            // The golden machine's drift follows the text report, and ends
            // the page.
            DriftReport::Result drift;
            const bool withDrift = options.html || options.format == ReportWriter::Text;
            if (withDrift &&
                !DriftReport::compute(source.connection(), options.filter, &drift, &error)) {
                error = source.name() + QStringLiteral(": ") + error;
                status = ExitNoDatabase;
                break;
            }
            status = writeReport(options, figures, withDrift ? &drift : nullptr, out, &error);
            break;
        }
        case ReportSource::CannotUse:
            error = source.error();
            status = ExitNoDatabase;
            break;
        case ReportSource::UnknownStation:
            error = source.error();
            status = ExitBadUsage;
            break;
        }
    }
    if (status != ExitDone)
        err << "benchreport: " << error << '\n';
    out.flush();
    err.flush();
    return status;
}
