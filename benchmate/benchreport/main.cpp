// benchreport: the yield report over a station's results database or the
// factory's shared one. See ReportOptions::usage().
#include "databaseconnection.h"
#include "factorydb.h"
#include "localresultsdb.h"
#include "reportoptions.h"
#include "reportwriter.h"
#include "stationsettings.h"
#include "yieldreport.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

#include <memory>

namespace {

enum ExitStatus
{
    ExitDone = 0,
    ExitNoDatabase = 1,
    ExitBadUsage = 2,
};

// Opens the database the options name; *source names it for the report.
std::unique_ptr<DatabaseConnection> openSource(const ReportOptions &options, QString *source,
                                               QString *error)
{
    if (!options.factory) {
        auto connection = std::make_unique<DatabaseConnection>(QStringLiteral("QSQLITE"));
        *source = QFileInfo(options.dbPath).absoluteFilePath();
        if (!LocalResultsDb::open(*connection, options.dbPath, LocalResultsDb::ForReading, error))
            return nullptr;
        return connection;
    }
    const StationSettings settings = StationSettings::load(options.configPath);
    if (!settings.factory.enabled) {
        *error =
            QStringLiteral("%1 names no factory database ([factory_db])").arg(options.configPath);
        return nullptr;
    }
    auto connection = std::make_unique<DatabaseConnection>(QStringLiteral("QPSQL"));
    *source = QStringLiteral("factory database ") + settings.factory.target();
    const FactoryDb::Opened opened =
        FactoryDb::open(*connection, settings.factory, FactoryDb::ForReading);
    if (!opened.ok()) {
        *error = QStringLiteral("%1: %2: %3")
                     .arg(*source, ForwardStatus::reason(opened.state), opened.detail);
        return nullptr;
    }
    return connection;
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

    QString source;
    QString error;
    int status = ExitDone;
    {
        const std::unique_ptr<DatabaseConnection> connection = openSource(options, &source, &error);
        YieldFigures figures;
        if (!connection) {
            status = ExitNoDatabase;
        } else if (!YieldReport::compute(*connection, options.filter, &figures, &error)) {
            error = source + QStringLiteral(": ") + error;
            status = ExitNoDatabase;
        } else {
            figures.source = source;
            out << ReportWriter::write(figures, options.format);
        }
    }
    if (status != ExitDone)
        err << "benchreport: " << error << '\n';
    out.flush();
    err.flush();
    return status;
}
