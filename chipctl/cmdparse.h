#ifndef CMDPARSE_H
#define CMDPARSE_H

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <memory>

class ATCMD;
class Serial;
class tranProtocol;

// Read by the progress printer of a multi-image flash download.
extern std::atomic<tranProtocol *> activeProtocol;
extern std::atomic<int32_t> downloadFileCount;

// Chipctl's front end: one run, one chip operation. Word 0 of the command
// line names the serial port, word 1 the command, the rest its arguments.
// Prints the data lines of the operation and exactly one result text.
class CMD_PARSE : public QObject
{
    Q_OBJECT
public:
    // `configDir` holds chip_info.json and the ramcode image; empty means
    // the Config directory beside the program.
    explicit CMD_PARSE(const QString &configDir = QString(), QObject *parent = nullptr);
    ~CMD_PARSE() override;

    void execute(QStringList args);

private:
    // A handler prints its data lines and returns the result code to print,
    // or `resultPrinted` when it has printed its result text itself.
    static constexpr uint32_t resultPrinted = 0xFFFFFFFFu;
    using Handler = uint32_t (CMD_PARSE::*)();

    uint32_t run();

    // Words of the command line; false when the line is too short.
    bool word(int index, QString &out) const;
    int count() const { return int(words.size()); }

    // Commands on the control lines and the boot ROM.
    uint32_t cmdMode();
    uint32_t cmdRts();
    uint32_t cmdDtr();
    uint32_t cmdUsbIo();
    uint32_t cmdEntryBootMode();

    QString configDir;
    QStringList words;
    std::unique_ptr<Serial> serial;
    std::unique_ptr<tranProtocol> protocol;
    std::unique_ptr<ATCMD> at;
};

#endif // CMDPARSE_H
