#ifndef FAKETOOL_H
#define FAKETOOL_H

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A scripted chip tool for the engine's tests. Creates a temporary station
// directory with the fake program at config/CHIPCTL/Chipctl, makes it the
// working directory (restored on destruction) and writes the fake's script.
class FakeTool
{
public:
    FakeTool();
    ~FakeTool();

    bool isValid() const { return m_valid; }
    QString dir() const { return m_dir.path(); }

    // Adds a rule: runs whose arguments (port first, joined by spaces) match
    // the glob answer `output`. Rules with the same pattern are answered in
    // turn, the last one repeating. Options: "sleep=MS", "hang", "pid".
    void on(const QString &pattern, const QString &output, const QString &options = QString());

    // Forgets every rule and run count.
    void clear();

    // The runs so far, one entry per run: the arguments joined by spaces.
    QStringList calls() const;
    // The runs whose arguments start with `prefix`.
    QStringList callsStartingWith(const QString &prefix) const;

    // The process id written by the last run with the "pid" option.
    qint64 lastPid() const;

    // Answers as the chip tool prints them.
    static QString rxAnswer(float freq, int rssiCount = 20, int freqCount = 20,
                            float rssi = -52.5f);
    static QString rxAnswer(const QList<float> &freqs, float rssi = -52.5f);
    static QString txAnswer(const QList<int> &rssi);
    static QString txAnswer(int rssi, int count);

    // Rules for a golden machine on port "GM" with MAC `gmMac` and crystal
    // value -3, answering every command.
    void healthyGolden(const QString &gmMac = QStringLiteral("A0:B1:C2:D3:E4:F5"));
    // Rules for a DUT on `port` that answers everything and whose crystal
    // search ends after three RX tests (offsets 2.0, 3.0, 2.0): accepted at
    // the start value + 0. `rxOptions` go with its three RX answers.
    void healthyDut(const QString &port, const QString &rxOptions = QString());

private:
    void writeScript();

    QTemporaryDir m_dir;
    QString m_oldCwd;
    QStringList m_rules;
    bool m_valid = false;
};

#endif // FAKETOOL_H
