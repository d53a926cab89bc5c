#ifndef CHIPTOOL_H
#define CHIPTOOL_H

#include <QProcess>
#include <QString>
#include <QStringList>

#include <atomic>
#include <climits>
#include <cstdint>

class logRecord;

// Runs the chip tool Chipctl, one chip operation per run, and keeps what it
// printed. The tool lives at "./config/CHIPCTL/Chipctl" (".exe" on Windows)
// relative to the working directory, which the child inherits. A worker
// creates one runner at the start of its run() and uses it for all its steps;
// the process object belongs to the worker's thread.
class chipTool
{
public:
    // Wait for the tool process to start, in ms.
    static constexpr int startWait = 1000;

    chipTool();
    ~chipTool();

    // The program started for every step.
    static QString toolPath();

    // A time-out of the settings (unsigned ms) as a finish wait; one beyond
    // an int's range waits as long as an int allows.
    static int finishWait(uint32_t ms) { return ms > uint32_t(INT_MAX) ? INT_MAX : int(ms); }

    // The tool's version as "version" prints it ("V1.0.16"); empty when the
    // tool does not run or does not answer "Ok.".
    static QString toolVersion();

    // The command line as the operator's log shows it. It has always read
    // "cmd.exe ./config/CHIPCTL/Chipctl.exe " and the arguments, and keeps
    // that text on every platform so logs compare across stations.
    static QString logCommandLine(const QStringList &args);

    // The stop flag of the worker that owns this runner. Once it is set, a
    // running step ends at once, its tool killed and reaped, rather than
    // after its whole finish wait (the time-out of the settings for some),
    // and no further step starts: a stopped cycle holds no port and leaves
    // no tool behind.
    void setStopFlag(const std::atomic<uint8_t> *flag) { m_stop = flag; }

    // One run: `args` is the port name followed by the command words. Waits
    // up to startWait ms for the start and `finishWait` ms for the end, then
    // reads all output. A tool still running then is killed and reaped, so
    // it never keeps the port busy for the next run. A run with a short
    // finish wait first takes its turn (ToolGate); a stop ends that wait.
    // Returns true when the output holds "Ok.".
    bool run(const QStringList &args, int finishWait);

    // run(), then the two debug lines into `log`: the command line and the
    // output unchanged.
    bool runTool(const QStringList &args, int finishWait, logRecord *log);

    // The decoded output of the last run.
    const QString &output() const { return m_output; }

private:
    void reap();
    void waitForEnd(int finishWait);
    bool stopped() const { return m_stop && m_stop->load() != 0; }

    QProcess m_process;
    QString m_output;
    const std::atomic<uint8_t> *m_stop = nullptr;
};

#endif // CHIPTOOL_H
