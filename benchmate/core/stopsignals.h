#ifndef STOPSIGNALS_H
#define STOPSIGNALS_H

#include <QObject>
#include <QString>

class QSocketNotifier;

// The requests to end a station program from outside: SIGINT (Ctrl-C in its
// console), SIGTERM (a service manager, kill) and SIGHUP (its terminal
// closed, its user logged out). Left to their default, each ends the program
// on the spot, and its chip tools run on, holding their serial ports for up
// to the step's time-out. While an object of this class lives, each becomes
// stopRequested() in the thread that made the object, so that the program
// stops its cycle as the stop button does, saves and exits with
// exitStatus(): 130, 143 and 129, as a shell reports a program the signal
// ended. A SIGHUP ignored when the object is made (nohup) stays ignored.
//
// One object at a time. On Windows the console's events stand for the
// signals: Ctrl-C is SIGINT; Ctrl-Break, the console window closed, the user
// logging off and the PC shutting down are SIGTERM (there is no SIGHUP). For
// the last three the system ends the process 5 s after the event at the
// latest; the event's handler holds it until the object goes (the program
// has saved), for at most 4.5 s.
class StopSignals : public QObject
{
    Q_OBJECT

public:
    explicit StopSignals(QObject *parent = nullptr);
    // Gives the signals back their previous handling.
    ~StopSignals() override;

    // The first stop signal received while an object lived; 0 before one.
    static int received();
    // What a shell reports for a program ended by `signal`: 128 + its number.
    static int exitStatus(int signal);
    // "SIGTERM", "SIGINT", "SIGHUP".
    static QString name(int signal);

signals:
    void stopRequested(int signal);

private:
    void deliver();

    QSocketNotifier *m_notifier = nullptr;
};

#endif // STOPSIGNALS_H
