#include "setupcheck.h"

#include "deviceconfigfile.h"

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

namespace {

// Line of the settings file (1-based) of each number and of the firmware.
int lineOf(SetupField field)
{
    switch (field) {
    case SetupField::Firmware:
        return 27;
    case SetupField::RxRssiMax:
        return 28;
    case SetupField::RxRssiMin:
        return 29;
    case SetupField::RxFreqMax:
        return 30;
    case SetupField::RxFreqMin:
        return 31;
    case SetupField::TxRssiMax:
        return 32;
    case SetupField::TxRssiMin:
        return 33;
    case SetupField::TestCha:
        return 35;
    case SetupField::SendInterval:
        return 36;
    case SetupField::TimeOut:
        return 37;
    case SetupField::GoldenPort:
        return 2;
    default:
        return 0;
    }
}

QString number(double value)
{
    return QString::number(value, 'g', 6);
}

// A port as the chip tool names it: COM3 and com3 are the same port.
QString portKey(const QString &port)
{
    return port.trimmed().toLower();
}

class Checker
{
public:
    QList<SetupProblem> problems;

    // A number field: its value when it is one within its range.
    bool numberField(SetupField field, const QString &text, double *value, int slot = -1)
    {
        const FieldRange range = SetupCheck::range(field);
        SetupProblem p;
        p.field = field;
        p.slot = slot;
        p.text = text;
        if (!SetupCheck::parse(text, FieldRange{range.min, range.max, 99}, value)) {
            p.kind = SetupProblem::NotANumber;
            problems << p;
            return false;
        }
        if (!SetupCheck::parse(text, range, value)) {
            p.kind = SetupProblem::TooPrecise;
            p.decimals = range.decimals;
            problems << p;
            return false;
        }
        if (*value < range.min || *value > range.max) {
            p.kind = SetupProblem::OutOfRange;
            p.min = range.min;
            p.max = range.max;
            problems << p;
            return false;
        }
        return true;
    }

    void limitPair(SetupField upperField, const QString &upper, SetupField lowerField,
                   const QString &lower)
    {
        double high = 0;
        double low = 0;
        const bool highOk = numberField(upperField, upper, &high);
        const bool lowOk = numberField(lowerField, lower, &low);
        if (highOk && lowOk && !(low < high)) {
            SetupProblem p;
            p.field = lowerField;
            p.kind = SetupProblem::NotBelowUpper;
            p.text = lower;
            p.bound = high;
            problems << p;
        }
    }

    // A text the settings file keeps in a comma-separated line.
    bool keptText(SetupField field, const QString &text, int slot = -1)
    {
        if (!text.contains(QLatin1Char(',')))
            return true;
        SetupProblem p;
        p.field = field;
        p.kind = SetupProblem::HasComma;
        p.slot = slot;
        p.text = text;
        problems << p;
        return false;
    }

    void missing(SetupField field, int slot = -1)
    {
        SetupProblem p;
        p.field = field;
        p.kind = SetupProblem::Missing;
        p.slot = slot;
        problems << p;
    }
};

} // namespace

SetupTexts SetupTexts::fromConfig(const DeviceConfig &config)
{
    SetupTexts texts;
    static_cast<DeviceConfig::Texts &>(texts) = config.texts;
    texts.gmPort = config.rows[0].port;
    texts.firmwarePath = config.firmwarePath;
    for (int row = 1; row < DeviceConfig::rowCount; ++row) {
        const DeviceConfigRow &r = config.rows[size_t(row)];
        if (r.enabled)
            texts.duts.append({row - 1, r.port, r.txCal, r.rxCal});
    }
    return texts;
}

FieldRange SetupCheck::range(SetupField field)
{
    switch (field) {
    // RSSI in dBm as the chip reports it: a signed byte.
    case SetupField::RxRssiMax:
    case SetupField::RxRssiMin:
    case SetupField::TxRssiMax:
    case SetupField::TxRssiMin:
        return {-128, 127, 2};
    // Frequency offset against the golden machine, kHz.
    case SetupField::RxFreqMax:
    case SetupField::RxFreqMin:
        return {-1000, 1000, 2};
    // The 2.4 GHz Wi-Fi channels the chip tests on.
    case SetupField::TestCha:
        return {1, 14, 0};
    case SetupField::SendInterval:
        return {0, 999999, 0};
    // ms; also the RF test time and the wait for the DUTs.
    case SetupField::TimeOut:
        return {1, 999999, 0};
    // Added to the RSSI limits as a signed byte.
    case SetupField::TxCal:
    case SetupField::RxCal:
        return {-128, 127, 0};
    default:
        return {};
    }
}

bool SetupCheck::parse(const QString &text, const FieldRange &range, double *value)
{
    static const QRegularExpression decimal(
        QStringLiteral("^[+-]?(?:[0-9]+(?:\\.([0-9]*))?|\\.([0-9]+))$"));
    const QRegularExpressionMatch m = decimal.match(text);
    if (!m.hasMatch())
        return false;
    const int decimals = qMax(m.capturedLength(1), m.capturedLength(2));
    if (decimals > range.decimals)
        return false;
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (ok && value)
        *value = v;
    return ok;
}

QList<SetupProblem> SetupCheck::check(const SetupTexts &texts)
{
    Checker c;
    c.limitPair(SetupField::RxRssiMax, texts.rxRssiMax, SetupField::RxRssiMin, texts.rxRssiMin);
    c.limitPair(SetupField::RxFreqMax, texts.rxFreqMax, SetupField::RxFreqMin, texts.rxFreqMin);
    c.limitPair(SetupField::TxRssiMax, texts.txRssiMax, SetupField::TxRssiMin, texts.txRssiMin);
    double unused = 0;
    c.numberField(SetupField::TestCha, texts.testCha, &unused);
    c.numberField(SetupField::SendInterval, texts.sendInterval, &unused);
    c.numberField(SetupField::TimeOut, texts.timeOut, &unused);

    if (texts.firmwarePath.isEmpty()) {
        c.missing(SetupField::Firmware);
    } else if (c.keptText(SetupField::Firmware, texts.firmwarePath) &&
               !QFileInfo(texts.firmwarePath).isFile()) {
        SetupProblem p;
        p.field = SetupField::Firmware;
        p.kind = SetupProblem::NotFound;
        p.text = texts.firmwarePath;
        c.problems << p;
    }

    // Two chip-tool runs on one port at once would read each other's
    // answers: every port of the cycle is its own.
    QHash<QString, int> portOwner;
    if (texts.gmPort.trimmed().isEmpty())
        c.missing(SetupField::GoldenPort);
    else if (c.keptText(SetupField::GoldenPort, texts.gmPort))
        portOwner.insert(portKey(texts.gmPort), -1);

    if (texts.duts.isEmpty()) {
        SetupProblem p;
        p.field = SetupField::Duts;
        p.kind = SetupProblem::NoDut;
        c.problems << p;
    }
    for (const SetupTexts::Dut &dut : texts.duts) {
        if (dut.port.trimmed().isEmpty()) {
            c.missing(SetupField::DutPort, dut.slot);
        } else if (c.keptText(SetupField::DutPort, dut.port, dut.slot)) {
            const QString key = portKey(dut.port);
            if (portOwner.contains(key)) {
                SetupProblem p;
                p.field = SetupField::DutPort;
                p.kind = SetupProblem::SamePort;
                p.slot = dut.slot;
                p.text = dut.port;
                p.otherSlot = portOwner.value(key);
                c.problems << p;
            } else {
                portOwner.insert(key, dut.slot);
            }
        }
        c.numberField(SetupField::TxCal, dut.txCal, &unused, dut.slot);
        c.numberField(SetupField::RxCal, dut.rxCal, &unused, dut.slot);
    }
    return c.problems;
}

QString SetupCheck::fieldName(SetupField field, int slot)
{
    const QString dut = QStringLiteral("DUT") + QString::number(slot);
    switch (field) {
    case SetupField::RxRssiMax:
        return QStringLiteral("RX RSSI upper limit");
    case SetupField::RxRssiMin:
        return QStringLiteral("RX RSSI lower limit");
    case SetupField::RxFreqMax:
        return QStringLiteral("RX frequency offset upper limit");
    case SetupField::RxFreqMin:
        return QStringLiteral("RX frequency offset lower limit");
    case SetupField::TxRssiMax:
        return QStringLiteral("TX RSSI upper limit");
    case SetupField::TxRssiMin:
        return QStringLiteral("TX RSSI lower limit");
    case SetupField::TestCha:
        return QStringLiteral("test channel");
    case SetupField::SendInterval:
        return QStringLiteral("send interval");
    case SetupField::TimeOut:
        return QStringLiteral("time-out");
    case SetupField::Firmware:
        return QStringLiteral("firmware file");
    case SetupField::GoldenPort:
        return QStringLiteral("golden machine's serial port");
    case SetupField::DutPort:
        return QStringLiteral("serial port of ") + dut;
    case SetupField::TxCal:
        return QStringLiteral("TX RSSI calibration offset of ") + dut;
    case SetupField::RxCal:
        return QStringLiteral("RX RSSI calibration offset of ") + dut;
    case SetupField::Duts:
        return QStringLiteral("DUT rows");
    }
    return QString();
}

int SetupCheck::configLine(SetupField field, int slot)
{
    switch (field) {
    case SetupField::DutPort:
    case SetupField::TxCal:
    case SetupField::RxCal:
        return slot + 3;
    default:
        return lineOf(field);
    }
}

QString SetupCheck::describe(const SetupProblem &p)
{
    QString where = fieldName(p.field, p.slot);
    if (const int line = configLine(p.field, p.slot))
        where += QStringLiteral(" (line %1)").arg(line);
    const QString quoted = QLatin1Char('"') + p.text + QLatin1Char('"');
    switch (p.kind) {
    case SetupProblem::NotANumber:
        return where + QStringLiteral(": not a number (") + quoted + QLatin1Char(')');
    case SetupProblem::TooPrecise:
        if (p.decimals == 0)
            return where + QStringLiteral(": not a whole number (") + quoted + QLatin1Char(')');
        return where + QStringLiteral(": more than %1 decimals (").arg(p.decimals) + quoted +
               QLatin1Char(')');
    case SetupProblem::OutOfRange:
        return where +
               QStringLiteral(": out of range %1 to %2 (").arg(number(p.min), number(p.max)) +
               quoted + QLatin1Char(')');
    case SetupProblem::NotBelowUpper:
        return where + QStringLiteral(": not below the upper limit (%1 is not below %2)")
                           .arg(p.text, number(p.bound));
    case SetupProblem::Missing:
        if (p.field == SetupField::GoldenPort)
            return QStringLiteral("the golden machine has no serial port (line 2)");
        return where + QStringLiteral(": empty");
    case SetupProblem::NotFound:
        return QStringLiteral("the firmware file ") + quoted +
               QStringLiteral(" named in line 27 does not exist");
    case SetupProblem::HasComma:
        return where + QStringLiteral(": a comma cannot be kept in the settings file (") + quoted +
               QLatin1Char(')');
    case SetupProblem::SamePort:
        return where + QStringLiteral(": ") + quoted + QStringLiteral(" is also the port of ") +
               (p.otherSlot < 0 ? QStringLiteral("the golden machine")
                                : QStringLiteral("DUT") + QString::number(p.otherSlot));
    case SetupProblem::NoDut:
        return QStringLiteral("no DUT is enabled: enable at least one row (first field 1)");
    }
    return where;
}
