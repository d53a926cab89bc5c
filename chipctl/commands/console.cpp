#include "console.h"

#include <QFile>

#include <cstdio>
#include <memory>

namespace {

struct ConsoleState
{
    std::unique_ptr<QFile> stdoutFile;
    std::unique_ptr<QTextStream> stream;
};

ConsoleState &state()
{
    static ConsoleState s;
    return s;
}

void attach(QIODevice *device)
{
    ConsoleState &s = state();
    if (s.stream)
        s.stream->flush();
    s.stream = std::make_unique<QTextStream>(device);
    // UTF-8 whatever the system's code page (Qt 5 would take the locale's).
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    s.stream->setEncoding(QStringConverter::Utf8);
#else
    s.stream->setCodec("UTF-8");
#endif
}

} // namespace

QTextStream &Console::out()
{
    ConsoleState &s = state();
    if (!s.stream) {
        s.stdoutFile = std::make_unique<QFile>();
        s.stdoutFile->open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered);
        attach(s.stdoutFile.get());
    }
    return *s.stream;
}

void Console::flush()
{
    if (state().stream)
        state().stream->flush();
}

void Console::setDevice(QIODevice *device)
{
    ConsoleState &s = state();
    if (device) {
        attach(device);
        return;
    }
    if (s.stream)
        s.stream->flush();
    s.stream.reset();
}
