#ifndef SIMTESTUTIL_H
#define SIMTESTUTIL_H

#include "answerrules.h"
#include "simclient.h"
#include "simstation.h"

#include <QList>
#include <QTemporaryDir>

// Starts a station with a scenario (JSON text) and extra arguments; the
// scenario file lives in dir.
bool startWithScenario(SimStation &sim, QTemporaryDir &dir, const QByteArray &scenario,
                       QStringList extraArgs = {});
// Connects a client to a chip of the station without touching its lines.
bool connectClient(SimClient &client, const SimStation &sim, const QString &name);

// Sends `line` and reads the answer as Chipctl does: true when `rule` (one
// of Chipctl's answer rules) accepts it within timeoutMs.
bool accepts(SimClient &client, const QByteArray &line, const AnswerRule &rule,
             int timeoutMs = 2000);

// Chipctl's recognition of a "version" answer, with its built-in chip list:
// accepted when `name` answered ("TK716A", or "RAMCODE" for the ramcode),
// refused when another one did.
AnswerRule recognisedAs(const QString &name);

// An RF measurement as the station reads it: Chipctl's rule takes the
// sample lines of the answer, the engine reads the numbers from them.
struct RfSamples
{
    QStringList lines;
    QList<float> rssi;
    QList<float> freq;
    QList<int> txRssi;
};
// "start_s_rx_test": 20 "freq=F,rssi=R" lines.
bool rxSamples(SimClient &client, const QByteArray &line, RfSamples *samples, int timeoutMs = 2000);
// "start_m_tx_test": 20 × n "rssi:R" lines.
bool txSamples(SimClient &client, const QByteArray &line, int n, RfSamples *samples,
               int timeoutMs = 2000);

#endif // SIMTESTUTIL_H
