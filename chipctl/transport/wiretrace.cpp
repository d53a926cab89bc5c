#include "wiretrace.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <memory>

namespace {

// Only a regular file (or a path where one can be made) is a trace. A FIFO
// would block the run until a reader came (and kill it when the reader
// left), a device or a directory is no record of the run: each is refused
// before it is opened. A trace that cannot be had is said in one line on
// standard error, and the run goes on as without one.
std::unique_ptr<WireTrace> openTrace()
{
    const QString path = qEnvironmentVariable("CHIPCTL_TRACE");
    if (path.isEmpty())
        return nullptr;
    const QFileInfo target(path);
    if (target.exists() && !target.isFile()) {
        qWarning().noquote() << QStringLiteral(
                                    "Chipctl: CHIPCTL_TRACE %1 is not a regular file; no trace is "
                                    "written.")
                                    .arg(QDir::toNativeSeparators(path));
        return nullptr;
    }
    auto trace = std::make_unique<WireTrace>(path);
    if (trace->isOpen())
        return trace;
    qWarning().noquote() << QStringLiteral("Chipctl: cannot write the trace CHIPCTL_TRACE %1 "
                                           "(%2); no trace is written.")
                                .arg(QDir::toNativeSeparators(path), trace->openError());
    return nullptr;
}

} // namespace

WireTrace *WireTrace::active()
{
    static const std::unique_ptr<WireTrace> trace = openTrace();
    return trace.get();
}

WireTrace::WireTrace(const QString &path)
    : file(path)
{
    // Unbuffered: each line is in the file the moment it is written, even
    // if the run ends abruptly.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return;
    clock.start();
    QStringList args = QCoreApplication::arguments();
    if (!args.isEmpty())
        args.removeFirst();
    const QString header = QStringLiteral("# Chipctl run %1 pid %2: %3\n")
                               .arg(QDateTime::currentDateTime().toString(Qt::ISODateWithMs))
                               .arg(QCoreApplication::applicationPid())
                               .arg(args.join(QLatin1Char(' ')));
    file.write(header.toUtf8());
}

bool WireTrace::isOpen() const
{
    return file.isOpen();
}

QString WireTrace::openError() const
{
    return file.errorString();
}

void WireTrace::sent(const QByteArray &bytes)
{
    write('>', escaped(bytes));
}

void WireTrace::received(const QByteArray &bytes)
{
    write('<', escaped(bytes));
}

void WireTrace::line(const QString &change)
{
    write('*', change.toUtf8());
}

void WireTrace::verdict(const char *rule, const char *outcome)
{
    write('=', QByteArray(rule) + ": " + outcome);
}

QByteArray WireTrace::escaped(const QByteArray &bytes)
{
    QByteArray out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const uint8_t byte = uint8_t(c);
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\\')
            out += "\\\\";
        else if (byte >= 0x20 && byte < 0x7f)
            out += c;
        else
            out += "\\x" + QByteArray::number(byte, 16).rightJustified(2, '0');
    }
    return out;
}

void WireTrace::write(char kind, const QByteArray &text)
{
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    file.write(QByteArray::number(seconds, 'f', 6) + ' ' + kind + ' ' + text + '\n');
}
