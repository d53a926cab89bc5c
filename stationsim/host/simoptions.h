#ifndef STATIONSIM_SIMOPTIONS_H
#define STATIONSIM_SIMOPTIONS_H

#include "chip/answerpacer.h"
#include "wire/deliverymodel.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace stationsim {

// stationsim's command line. Options take their value as the next word or
// after "="; every problem is one line naming it.
struct SimOptions
{
    bool help = false;
    // Leave the process's priority as it was started (ProcessPriority).
    bool normalPriority = false;
    QString scenario;
    std::optional<int> duts;
    std::optional<int> basePort;
    std::optional<quint32> seed;
    std::optional<Delivery> delivery;
    std::optional<ChipPace> chipPace;
    QString ptyDir;
    QString stateDir;
    QString deviceConfig;
    QString traceDir;
    QString firmwarePath;
    QString makeRamcode;

    // arguments without the program name.
    bool parse(const QStringList &arguments, QString *error);
    static QString helpText();
};

} // namespace stationsim

#endif // STATIONSIM_SIMOPTIONS_H
