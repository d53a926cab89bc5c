#ifndef FACTORYDB_H
#define FACTORYDB_H

#include "forwardstatus.h"

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
        bool ok() const { return state == ForwardStatus::UpToDate; }
    };

    enum Mode
    {
        ForForwarding, // brings the schema up to date
        ForReading,    // the schema as it is
    };

    // Connects (giving up on a server that does not answer within a few
    // seconds) and checks or brings the schema up to date.
    static Opened open(DatabaseConnection &connection, const FactoryDbSettings &settings,
                       Mode mode);

    // What a failed connection means, from the driver's message.
    static ForwardStatus::State classifyConnectError(const QString &message);
};

#endif // FACTORYDB_H
