#include "host/scenario.h"

#include "host/strictjson.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QRegularExpression>

namespace stationsim {

namespace {
constexpr int maxBaud = 4000000;

// The "delivery" member: a model's name.
void readDelivery(StrictJson &json, Delivery *out)
{
    QString name;
    if (!json.string(QStringLiteral("delivery"), &name) || name.isNull())
        return;
    if (const auto kind = DeliveryModel::parse(name))
        *out = *kind;
    else
        json.fail(QStringLiteral("%1 must be one of %2")
                      .arg(json.pathOf(QStringLiteral("delivery")),
                           DeliveryModel::names().join(QStringLiteral(", "))));
}

// The "pace" member: how fast the chip's firmware prints.
void readPace(StrictJson &json, ChipPace *out)
{
    QString name;
    if (!json.string(QStringLiteral("pace"), &name) || name.isNull())
        return;
    if (const auto pace = AnswerPacer::parse(name))
        *out = *pace;
    else
        json.fail(QStringLiteral("%1 must be one of %2")
                      .arg(json.pathOf(QStringLiteral("pace")),
                           AnswerPacer::names().join(QStringLiteral(", "))));
}

// The "versionTail" fault: "none", "crlf" or "pppp".
void readVersionTail(StrictJson &json, VersionTail *out)
{
    QString name;
    if (!json.string(QStringLiteral("versionTail"), &name) || name.isNull())
        return;
    if (name == QLatin1String("none"))
        *out = VersionTail::None;
    else if (name == QLatin1String("crlf"))
        *out = VersionTail::LineEnd;
    else if (name == QLatin1String("pppp"))
        *out = VersionTail::Confirmation;
    else
        json.fail(QStringLiteral("%1 must be one of none, crlf, pppp")
                      .arg(json.pathOf(QStringLiteral("versionTail"))));
}

bool isMac(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("^[0-9A-Fa-f]{2}(:[0-9A-Fa-f]{2}){5}$"));
    return re.match(text).hasMatch();
}
} // namespace

QString Scenario::chipName(int slot)
{
    return slot == 0 ? QStringLiteral("gm")
                     : QStringLiteral("dut%1").arg(slot, 2, 10, QLatin1Char('0'));
}

ChipSetup Scenario::defaultChip(int slot)
{
    ChipSetup chip;
    chip.name = chipName(slot);
    chip.slot = slot;
    if (slot == 0) {
        // The golden machine as an operator prepares it before a shift: ramcode
        // running, MAC and calibrated crystal value in OTP.
        chip.start = StartMode::Ramcode;
        chip.radio.optimum = 3;
        chip.radio.pathLoss = 0;
        chip.radio.txPower = 2;
        chip.storage.mac = QStringLiteral("02:54:4b:00:00:10");
        chip.storage.xtal = 3;
        chip.storage.txPower = 10;
        chip.storage.txPowerB = 8;
        chip.storage.txPowerGn = 6;
    } else {
        // Optima spread over -19..18 without a pattern along the slots; path
        // losses over 42..55 dB.
        chip.start = StartMode::Firmware;
        chip.radio.optimum = (slot * 7) % 41 - 20;
        chip.radio.pathLoss = 42 + (slot * 5) % 14;
        chip.radio.txPower = 0;
    }
    return chip;
}

bool Scenario::load(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the scenario %1: %2").arg(path, file.errorString());
        return false;
    }
    if (!parse(file.readAll(), error)) {
        *error = QStringLiteral("scenario %1: %2").arg(path, *error);
        return false;
    }
    return true;
}

bool Scenario::parse(const QByteArray &json, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = QStringLiteral("not valid JSON at offset %1: %2")
                     .arg(parseError.offset)
                     .arg(parseError.errorString());
        return false;
    }
    if (!doc.isObject()) {
        *error = QStringLiteral("the top level must be an object");
        return false;
    }
    root = doc.object();
    StationSetup probe;
    if (!apply(&probe, error)) {
        root = QJsonObject();
        return false;
    }
    return true;
}

StationSetup Scenario::build(std::optional<int> duts, std::optional<int> basePort,
                             std::optional<quint32> seed, std::optional<Delivery> delivery,
                             std::optional<ChipPace> pace) const
{
    StationSetup setup;
    QString ignored;
    apply(&setup, &ignored); // checked in parse()
    if (duts)
        setup.duts = *duts;
    if (basePort)
        setup.basePort = *basePort;
    if (seed)
        setup.seed = *seed;
    if (delivery) {
        for (ChipSetup &chip : setup.chips)
            chip.delivery = *delivery;
    }
    if (pace) {
        for (ChipSetup &chip : setup.chips)
            chip.pace = *pace;
    }
    while (setup.chips.size() > setup.duts + 1)
        setup.chips.removeLast();
    return setup;
}

bool Scenario::apply(StationSetup *setup, QString *error) const
{
    StrictJson top(root, QString());
    int baud = 0;
    int seed = int(setup->seed);
    QJsonObject dutDefaults;
    QJsonObject chips;
    Delivery delivery = ChipSetup().delivery;
    top.integer(QStringLiteral("basePort"), &setup->basePort, 0, 65535);
    top.integer(QStringLiteral("duts"), &setup->duts, 0, maxDuts);
    top.integer(QStringLiteral("seed"), &seed, 0, 2147483647);
    top.integer(QStringLiteral("baud"), &baud, 0, maxBaud);
    readDelivery(top, &delivery);
    top.object(QStringLiteral("dutDefaults"), &dutDefaults);
    top.object(QStringLiteral("chips"), &chips);
    if (!top.finish()) {
        *error = top.error();
        return false;
    }
    if (root.contains(QStringLiteral("baud")) && baud < 300) {
        *error = QStringLiteral("baud must be between 300 and %1").arg(maxBaud);
        return false;
    }
    setup->seed = quint32(seed);

    // Chips are built for every slot so that the whole file is checked; build()
    // drops the ones beyond the DUT count.
    setup->chips.clear();
    for (int slot = 0; slot <= maxDuts; ++slot) {
        ChipSetup chip = defaultChip(slot);
        if (baud > 0)
            chip.baud = quint32(baud);
        chip.delivery = delivery;
        if (slot > 0 && !applyChip(dutDefaults, QStringLiteral("dutDefaults"), &chip, error))
            return false;
        setup->chips.append(chip);
    }
    for (auto it = chips.constBegin(); it != chips.constEnd(); ++it) {
        int slot = -1;
        for (int s = 0; s <= maxDuts; ++s) {
            if (chipName(s) == it.key())
                slot = s;
        }
        const QString path = QStringLiteral("chips.") + StrictJson::shownKey(it.key());
        if (slot < 0) {
            *error = QStringLiteral("unknown chip %1 (gm, dut01 ... dut24)").arg(path);
            return false;
        }
        if (!it.value().isObject()) {
            *error = QStringLiteral("%1 must be an object").arg(path);
            return false;
        }
        if (!applyChip(it.value().toObject(), path, &setup->chips[slot], error))
            return false;
    }
    return true;
}

bool Scenario::applyChip(const QJsonObject &object, const QString &path, ChipSetup *chip,
                         QString *error)
{
    StrictJson json(object, path);
    QString start;
    int baud = int(chip->baud);
    QJsonObject storage;
    QJsonObject faults;
    QJsonObject drift;
    json.string(QStringLiteral("start"), &start);
    json.integer(QStringLiteral("baud"), &baud, 300, maxBaud);
    readDelivery(json, &chip->delivery);
    readPace(json, &chip->pace);
    json.integer(QStringLiteral("optimum"), &chip->radio.optimum, -128, 127);
    json.number(QStringLiteral("slope"), &chip->radio.slope, 0.01, 100);
    json.number(QStringLiteral("freqNoise"), &chip->radio.freqNoise, 0, 100);
    json.number(QStringLiteral("pathLoss"), &chip->radio.pathLoss, 0, 200);
    json.number(QStringLiteral("txPower"), &chip->radio.txPower, -60, 40);
    json.number(QStringLiteral("rssiNoise"), &chip->radio.rssiNoise, 0, 30);
    json.object(QStringLiteral("storage"), &storage);
    json.object(QStringLiteral("faults"), &faults);
    json.object(QStringLiteral("drift"), &drift);
    if (json.ok() && !start.isNull()) {
        if (start == QLatin1String("firmware"))
            chip->start = StartMode::Firmware;
        else if (start == QLatin1String("bootrom"))
            chip->start = StartMode::BootRom;
        else if (start == QLatin1String("ramcode"))
            chip->start = StartMode::Ramcode;
        else
            json.fail(QStringLiteral("%1 must be \"firmware\", \"bootrom\" or \"ramcode\"")
                          .arg(json.pathOf(QStringLiteral("start"))));
    }
    if (!json.finish()) {
        *error = json.error();
        return false;
    }
    chip->baud = quint32(baud);

    StrictJson storageJson(storage, path + QStringLiteral(".storage"));
    if (!readStorage(storageJson, &chip->storage) || !storageJson.finish()) {
        *error = storageJson.error();
        return false;
    }
    StrictJson driftJson(drift, path + QStringLiteral(".drift"));
    if (!readDrift(driftJson, &chip->drift) || !driftJson.finish()) {
        *error = driftJson.error();
        return false;
    }
    StrictJson faultJson(faults, path + QStringLiteral(".faults"));
    if (!readFaults(faultJson, &chip->faults) || !faultJson.finish()) {
        *error = faultJson.error();
        return false;
    }
    return true;
}

bool Scenario::readStorage(StrictJson &json, InitialStorage *storage)
{
    QString mac = storage->mac;
    json.string(QStringLiteral("mac"), &mac);
    json.integer(QStringLiteral("xtal"), &storage->xtal, -128, 127);
    json.integer(QStringLiteral("txPower"), &storage->txPower, -128, 127);
    json.integer(QStringLiteral("txPowerB"), &storage->txPowerB, -128, 127);
    json.integer(QStringLiteral("txPowerGn"), &storage->txPowerGn, -128, 127);
    json.string(QStringLiteral("flashUid"), &storage->flashUid);
    if (!json.ok())
        return false;
    if (!mac.isEmpty() && !isMac(mac)) {
        json.fail(QStringLiteral("%1 must be six hexadecimal pairs joined by ':'")
                      .arg(json.pathOf(QStringLiteral("mac"))));
        return false;
    }
    storage->mac = mac.toLower();
    static const QRegularExpression uid(QStringLiteral("^[0-9A-Fa-f]{32}$"));
    if (!storage->flashUid.isEmpty() && !uid.match(storage->flashUid).hasMatch()) {
        json.fail(QStringLiteral("%1 must be 32 hexadecimal digits")
                      .arg(json.pathOf(QStringLiteral("flashUid"))));
        return false;
    }
    storage->flashUid = storage->flashUid.toLower();
    return true;
}

bool Scenario::readDrift(StrictJson &json, ChipDrift *drift)
{
    constexpr int big = 1000000;
    json.integer(QStringLiteral("afterCycles"), &drift->afterCycles, 0, big);
    json.integer(QStringLiteral("rampCycles"), &drift->rampCycles, 0, big);
    json.number(QStringLiteral("optimum"), &drift->optimum, -100, 100);
    json.number(QStringLiteral("txPower"), &drift->txPower, -60, 60);
    if (json.ok() && drift->afterCycles < 0 && (drift->optimum != 0 || drift->txPower != 0))
        json.fail(QStringLiteral("%1 is missing: the cycle after which the drift sets in")
                      .arg(json.pathOf(QStringLiteral("afterCycles"))));
    return json.ok();
}

bool Scenario::readFaults(StrictJson &json, ChipFaults *faults)
{
    constexpr int big = 1000000;
    json.boolean(QStringLiteral("silent"), &faults->silent);
    json.boolean(QStringLiteral("ignoreResets"), &faults->ignoreResets);
    json.boolean(QStringLiteral("refuseImage"), &faults->refuseImage);
    json.integer(QStringLiteral("nakBlocks"), &faults->nakBlocks, 0, big);
    json.integer(QStringLiteral("cancelAfterBlocks"), &faults->cancelAfterBlocks, 0, big);
    json.number(QStringLiteral("lineNoise"), &faults->lineNoise, 0, 1);
    json.integer(QStringLiteral("answerDelayMs"), &faults->answerDelayMs, 0, 600000);
    json.integer(QStringLiteral("rfSamples"), &faults->rfSamples, 0, 1000);
    json.boolean(QStringLiteral("xtalNeverConverges"), &faults->xtalNeverConverges);
    json.boolean(QStringLiteral("otpLocked"), &faults->otpLocked);
    json.boolean(QStringLiteral("malformedMac"), &faults->malformedMac);
    json.integer(QStringLiteral("unplugAfterCommands"), &faults->unplugAfterCommands, 0, big);
    json.boolean(QStringLiteral("refuseBaud"), &faults->refuseBaud);
    readVersionTail(json, &faults->versionTail);
    return json.ok();
}

} // namespace stationsim
