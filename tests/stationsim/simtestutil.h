#ifndef SIMTESTUTIL_H
#define SIMTESTUTIL_H

#include "simclient.h"
#include "simstation.h"

#include <QTemporaryDir>

// Starts a station with a scenario (JSON text) and extra arguments; the
// scenario file lives in dir.
bool startWithScenario(SimStation &sim, QTemporaryDir &dir, const QByteArray &scenario,
                       QStringList extraArgs = {});
// Connects a client to a chip of the station without touching its lines.
bool connectClient(SimClient &client, const SimStation &sim, const QString &name);

#endif // SIMTESTUTIL_H
