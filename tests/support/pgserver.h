#ifndef PGSERVER_H
#define PGSERVER_H

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A PostgreSQL server of a test's own: initdb into a temporary folder, on
// 127.0.0.1 at a free port, with password login (scram-sha-256) for the
// superuser "station". The server refuses to run as root: a root test runs
// its programs as the "postgres" user of Debian's package (runuser), in a
// folder that user owns.
//
//   PgServer pg;
//   QVERIFY2(pg.init() && pg.start(), qPrintable(pg.error()));
//   QVERIFY2(pg.createDatabase("results"), qPrintable(pg.error()));
//
// The programs come from the newest /usr/lib/postgresql/*/bin, or from
// STATION_PG_BINDIR. The destructor stops the server at once and removes
// its folder.
class PgServer
{
public:
    PgServer();
    ~PgServer();
    PgServer(const PgServer &) = delete;
    PgServer &operator=(const PgServer &) = delete;

    bool init();
    bool start();
    // `mode`: "fast" or "immediate" (as a crash would leave it).
    bool stop(const QString &mode = QStringLiteral("fast"));
    // SIGSTOP (true) or SIGCONT (false) to every process of the server: it
    // keeps its connections and takes new ones (the kernel does), and
    // answers nothing, like a server hung or paused.
    bool pause(bool paused);

    int port() const { return m_port; }
    QString host() const { return QStringLiteral("127.0.0.1"); }
    QString user() const { return QStringLiteral("station"); }
    QString password() const { return QStringLiteral("tk716a-results"); }
    // A file holding the password, readable by the test (and by its owner
    // alone).
    QString passwordFile() const;
    QString error() const { return m_error; }

    // Through Qt's QPSQL driver, connected to the "postgres" database.
    bool createDatabase(const QString &name);
    // Runs statements in database `name`; false with error() on the first
    // that fails.
    bool exec(const QString &name, const QStringList &statements);
    // The first column of the first row of a query, as text; empty on an
    // error.
    QString scalar(const QString &name, const QString &query);

    // The bin folder the programs are run from; empty when none is found.
    static QString binDir();

private:
    bool run(const QString &program, const QStringList &args, int ms = 60000);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_data;
    int m_port = 0;
    bool m_running = false;
    bool m_paused = false;
    QString m_error;
};

#endif // PGSERVER_H
