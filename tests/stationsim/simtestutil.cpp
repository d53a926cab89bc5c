#include "simtestutil.h"

#include "chipinfo.h"
#include "tooloutput.h"

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

bool accepts(SimClient &client, const QByteArray &line, const AnswerRule &rule, int timeoutMs)
{
    return client.answer(line, rule, timeoutMs) == AnswerState::Accepted;
}

AnswerRule recognisedAs(const QString &name)
{
    // Chipctl writes its built-in chip list when it finds no file.
    static QTemporaryDir dir;
    static chipInfo chips(dir.filePath(QStringLiteral("chip_info.json")));
    static const bool loaded = (chips.load(), true);
    Q_UNUSED(loaded)
    return [name](const Answer &reply) {
        QString answer;
        QString banner;
        const AnswerState state = chips.recognise(reply, answer, banner);
        if (state != AnswerState::Accepted)
            return state;
        return answer == name ? AnswerState::Accepted : AnswerState::Rejected;
    };
}

bool rxSamples(SimClient &client, const QByteArray &line, RfSamples *samples, int timeoutMs)
{
    *samples = RfSamples();
    if (!accepts(
            client, line,
            [samples](const Answer &reply) {
                return answerRules::slaveRxLines(reply, samples->lines);
            },
            timeoutMs))
        return false;
    toolOutput::parseRxSamples(samples->lines.join(QLatin1Char('\n')), &samples->rssi,
                               &samples->freq);
    return true;
}

bool txSamples(SimClient &client, const QByteArray &line, int n, RfSamples *samples, int timeoutMs)
{
    *samples = RfSamples();
    if (!accepts(
            client, line,
            [samples, n](const Answer &reply) {
                return answerRules::masterTxLines(reply, uint8_t(n), samples->lines);
            },
            timeoutMs))
        return false;
    samples->txRssi = toolOutput::parseTxRssi(samples->lines.join(QLatin1Char('\n')));
    return true;
}
