#ifndef HOSTRULES_H
#define HOSTRULES_H

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The station host's answer rules, written down again on the test side: each
// function looks at everything received since a command was sent and says
// whether (and with what result) the host would end its wait. nullopt means
// "keep waiting". The simulator's answers must satisfy exactly these.
namespace HostRules {
bool confirm(const QByteArray &rx);
std::optional<bool> passFail(const QByteArray &rx);
std::optional<quint32> fileCount(const QByteArray &rx);
std::optional<QByteArray> flashUid(const QByteArray &rx);
std::optional<QByteArray> efuseWord(const QByteArray &rx);
std::optional<int> lockState(const QByteArray &rx);
std::optional<int> gpioValue(const QByteArray &rx);
// A tagged value: the wait ends with ok (the value read) or a failure.
struct Tagged
{
    bool ok = false;
    int value = 0;
};
std::optional<Tagged> tagged(const QByteArray &rx, const QByteArray &tag);
std::optional<QByteArray> macLine(const QByteArray &rx, bool strict);
std::optional<QByteArray> hexDump(const QByteArray &rx, int length);
std::optional<QList<QByteArray>> rxLines(const QByteArray &rx);
std::optional<QList<QByteArray>> txLines(const QByteArray &rx, int n);
// Chip recognition of a "version" answer with the built-in chip list.
std::optional<QString> recognise(const QByteArray &rx);

// How the operator program reads the printed sample lines.
struct RxSamples
{
    QList<double> rssi;
    QList<double> freq;
};
RxSamples parseRxSamples(const QList<QByteArray> &lines);
QList<int> parseTxSamples(const QList<QByteArray> &lines);
} // namespace HostRules

#endif // HOSTRULES_H
