#ifndef BENCH_SZRELAY_H
#define BENCH_SZRELAY_H

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QSerialPort>
#include <QString>

// lrzsz's sz as a peer sender: sz runs with pipes for its standard input
// and output, and this relay passes its bytes to and from a chip's pty,
// counting what crosses the serial line each way and the chip's answers
// (the first bytes from the chip after bytes were sent). The relay writes the
// boot ROM's download command first, so the transfer is the same exchange
// Chipctl has with the chip.
class SzRelay : public QObject
{
    Q_OBJECT
public:
    explicit SzRelay(QObject *parent = nullptr);
    ~SzRelay() override;

    bool openPty(const QString &path);
    // Sends `command` on the pty, then runs `sz` with `arguments` in
    // `workDir` until it ends or `timeoutMs` pass. True when sz exited 0.
    bool send(const QByteArray &command, const QString &sz, const QStringList &arguments,
              const QString &workDir, int timeoutMs);

    qint64 sentBytes() const { return sent; }
    qint64 receivedBytes() const { return received; }
    qint64 answers() const { return answered; }
    QString errorText() const { return error; }

private:
    void fromChip();
    void fromSz();

    QSerialPort pty;
    QProcess sz;
    QByteArray pending; // chip bytes that came before sz was ready to read
    qint64 sent = 0;
    qint64 received = 0;
    qint64 answered = 0;
    bool awaiting = false;
    QString error;
};

#endif // BENCH_SZRELAY_H
