// benchreport: the yield report over a station's results database or the
// factory's shared one. See ReportOptions::usage().
#include "driftreport.h"
#include "factorysetup.h"
#include "reportoptions.h"
#include "reportsource.h"
#include "reportwriter.h"
#include "yieldreport.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {

enum ExitStatus
{
    ExitDone = 0,
    ExitNoDatabase = 1,
    ExitBadUsage = 2,
};

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
        case ReportSource::Ready:
            if (!YieldReport::compute(source.connection(), options.filter, &figures, &error)) {
                error = source.name() + QStringLiteral(": ") + error;
                status = ExitNoDatabase;
                break;
            }
            figures.source = source.name();
            out << ReportWriter::write(figures, options.format);
            if (options.format == ReportWriter::Text) {
                out << DriftReport::section(source.connection(), options.filter, &error);
                if (!error.isEmpty()) {
                    error = source.name() + QStringLiteral(": ") + error;
                    status = ExitNoDatabase;
                }
            }
            break;
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
