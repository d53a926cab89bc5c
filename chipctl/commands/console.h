#ifndef CONSOLE_H
#define CONSOLE_H

#include <QString>
#include <QTextStream>

class QIODevice;

// Chipctl's one output stream: buffered, UTF-8, on standard output. Data
// lines end with "\n"; the result text comes last without a line end.
// Tests may point the stream at a buffer instead.
class Console
{
public:
    static QTextStream &out();
    static void flush();

    // Redirects the stream to `device` (nullptr: back to standard output).
    static void setDevice(QIODevice *device);

private:
    Console() = default;
};

#endif // CONSOLE_H
