#ifndef STATIONSIM_COMMANDSET_H
#define STATIONSIM_COMMANDSET_H

#include <QByteArray>
#include <QList>

namespace stationsim {

class SimChip;

// One program the chip can run (boot ROM, ramcode, AT firmware): it gets the
// command lines the chip receives, without their line ends.
class CommandSet
{
public:
    explicit CommandSet(SimChip &chip)
        : chip(chip)
    {}
    virtual ~CommandSet() = default;
    CommandSet(const CommandSet &) = delete;
    CommandSet &operator=(const CommandSet &) = delete;

    virtual void command(const QByteArray &line) = 0;

protected:
    // The line split at runs of spaces.
    static QList<QByteArray> words(const QByteArray &line);

    SimChip &chip;
};

} // namespace stationsim

#endif // STATIONSIM_COMMANDSET_H
