#ifndef FORWARDSTATUS_H
#define FORWARDSTATUS_H

#include <QMetaType>
#include <QString>

// Where forwarding to the factory database stands: how many cycles of the
// station's own database wait to go over, and why they wait.
struct ForwardStatus
{
    enum State
    {
        Off,             // no factory database set up
        Starting,        // not tried yet
        UpToDate,        // connected; everything went over
        Sending,         // connected; cycles are going over
        Unreachable,     // no connection to the server
        LoginRefused,    // the server refused the user or password
        DatabaseMissing, // the server has no such database
        SchemaMismatch,  // the database's schema is newer or foreign
        Failed,          // another database error
        LocalFailed,     // the station's own database cannot be read
    };

    State state = Off;
    qint64 waiting = 0;   // cycles not yet in the factory database
    qint64 forwarded = 0; // cycles sent by this process
    qint64 attempts = 0;  // attempts finished so far
    // Cycles the factory database cannot store (a value it refuses), passed
    // over by this process; they stay in the station's file.
    qint64 setAside = 0;
    QString setAsideReason; // the last one's
    QString target;         // host:port/name
    QString detail;         // the server's or driver's words

    // A word or two for the state: "unreachable", "refused login" ...
    static QString reason(State state);
    // Whether cycles wait because something is wrong.
    bool isProblem() const;
    // One line for a console: "factory db host:5432/results: 3 cycle(s)
    // wait to be forwarded: unreachable (connection refused)".
    QString summary() const;
};

Q_DECLARE_METATYPE(ForwardStatus)

#endif // FORWARDSTATUS_H
