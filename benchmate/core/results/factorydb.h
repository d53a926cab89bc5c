#ifndef FACTORYDB_H
#define FACTORYDB_H

#include "forwardstatus.h"

#include <QtGlobal>

#include <functional>

class DatabaseConnection;
struct FactoryDbSettings;

// The factory's shared PostgreSQL database, through Qt's QPSQL driver.
class FactoryDb
{
public:
    struct Opened
    {
        ForwardStatus::State state = ForwardStatus::Failed; // UpToDate when open
        QString detail;
        // (ForReading) the database is there but holds no results tables.
        bool noResults = false;
        // (ForForwarding) the station id the login forwards for.
        QString stationId;
        bool ok() const { return state == ForwardStatus::UpToDate; }
    };

    enum Mode
    {
        ForForwarding, // a station login, the schema at this station's version
        ForReading,    // the schema as it is
        ForSetup,      // no check: the administrator's step brings it up to date
    };

    // Connects (giving up on a server that does not answer within a few
    // seconds) and checks the schema. A station never changes the schema:
    // one missing or older than the station's says what the administrator
    // must run. `socket` is told
    // the connection's socket as soon as it is connected, and -1 before it
    // is closed again (for breakSocket() from another thread).
    static Opened open(DatabaseConnection &connection, const FactoryDbSettings &settings, Mode mode,
                       const std::function<void(qintptr)> &socket = {});

    // What a failed connection means, from the driver's message.
    static ForwardStatus::State classifyConnectError(const QString &message);

    // The socket of an open connection; -1 when it cannot be had.
    static qintptr socketOf(DatabaseConnection &connection);
    // From any thread: shuts the socket down both ways, so that a call
    // waiting on it in another thread returns at once with an error. For a
    // server that keeps the connection open but never answers (its kernel
    // acknowledges every byte, so no keep-alive or time-out of TCP fires).
    // The socket stays open until its connection is dropped.
    static void breakSocket(qintptr socket);
};

#endif // FACTORYDB_H
