#ifndef STATIONSIM_SHUTDOWNWATCHER_H
#define STATIONSIM_SHUTDOWNWATCHER_H

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace stationsim {

// Turns SIGTERM, SIGINT and SIGHUP, and the end of standard input when it is
// a pipe or a socket, into one signal in the event loop. Standard input that
// is a terminal, a file or /dev/null is not watched: a simulator started in
// the background of a script would otherwise end at once.
class ShutdownWatcher : public QObject
{
    Q_OBJECT
public:
    explicit ShutdownWatcher(QObject *parent = nullptr);
    ~ShutdownWatcher() override;

signals:
    void shutdownRequested(const QString &reason);

private:
    void onSignal();
    void onStdin();

    std::unique_ptr<QSocketNotifier> signalNotifier;
    std::unique_ptr<QSocketNotifier> stdinNotifier;
    bool requested = false;
};

} // namespace stationsim

#endif // STATIONSIM_SHUTDOWNWATCHER_H
