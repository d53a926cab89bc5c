#include "simtestutil.h"

#include <QFile>

bool startWithScenario(SimStation &sim, QTemporaryDir &dir, const QByteArray &scenario,
                       QStringList extraArgs)
{
    const QString path = dir.filePath(QStringLiteral("scenario.json"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(scenario) != scenario.size())
        return false;
    file.close();
    extraArgs << QStringLiteral("--scenario") << path;
    return sim.start(extraArgs);
}

bool connectClient(SimClient &client, const SimStation &sim, const QString &name)
{
    const quint16 port = sim.port(name);
    return port != 0 && client.connectTo(port) && client.setBaud(115200);
}
