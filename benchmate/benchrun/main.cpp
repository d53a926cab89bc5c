// benchrun: the station's test cycles without a window, for automated lines
// and headless machines. See BenchOptions::usage().
#include "benchoptions.h"
#include "benchrunner.h"
#include "filesizelimit.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

namespace {

bool verboseConsole = false;

// The engine's console lines (debug level) only with --verbose; warnings
// always, on standard error.
void consoleFilter(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg && !verboseConsole)
        return;
    const QByteArray text = message.toUtf8() + '\n';
    std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
    std::fflush(stderr);
}

} // namespace

int main(int argc, char *argv[])
{
    ignoreFileSizeLimitSignal();
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    const BenchOptions options = BenchOptions::parse(args);
    verboseConsole = options.verbose;
    qInstallMessageHandler(consoleFilter);

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
    BenchRunner runner(options, out, err);
    const int status = runner.run();
    out.flush();
    err.flush();
    return status;
}
