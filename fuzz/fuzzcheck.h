#ifndef FUZZCHECK_H
#define FUZZCHECK_H

#include <QByteArray>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <vector>

// What every harness shares: a property check that stops the run with a
// report, the bytes of an input as a QByteArray, and the one application
// object that Qt's event processing and file handling need.

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #condition, __FILE__,          \
                         __LINE__);                                                                \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

inline QByteArray fuzzBytes(const std::vector<char> &bytes)
{
    return QByteArray(bytes.data(), int(bytes.size()));
}

inline void fuzzApplication()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *app = QCoreApplication::instance() ? QCoreApplication::instance()
                                                                : new QCoreApplication(argc, argv);
    (void)app;
}

#endif // FUZZCHECK_H
