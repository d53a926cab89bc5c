#include "chip/chipstorage.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace stationsim {

ChipStorage::ChipStorage(const QString &name)
    : name(name)
    , otp(otpSize, char(0xff))
    , fuses(efuseWords, 0)
{}

QString ChipStorage::jsonPath() const
{
    return dir + QLatin1Char('/') + name + QStringLiteral(".json");
}

QString ChipStorage::flashPath() const
{
    return dir + QLatin1Char('/') + name + QStringLiteral(".flash");
}

bool ChipStorage::open(const QString &stateDir, const InitialStorage &initial, bool lockOtp,
                       QString *error)
{
    dir = stateDir;
    bool fresh = true;
    if (!dir.isEmpty()) {
        QFile file(jsonPath());
        if (file.exists()) {
            if (!file.open(QIODevice::ReadOnly)) {
                *error =
                    QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString());
                return false;
            }
            const QJsonObject state = QJsonDocument::fromJson(file.readAll()).object();
            const QByteArray otpBytes =
                QByteArray::fromHex(state.value(QStringLiteral("otp")).toString().toLatin1());
            const QJsonArray fuseArray = state.value(QStringLiteral("efuse")).toArray();
            uid = state.value(QStringLiteral("flashUid")).toString();
            if (otpBytes.size() != otpSize || fuseArray.size() != efuseWords || uid.size() != 32) {
                *error = QStringLiteral("%1 is damaged; remove it to start this chip afresh")
                             .arg(file.fileName());
                return false;
            }
            otp = otpBytes;
            for (int i = 0; i < efuseWords; ++i)
                fuses[i] = quint32(fuseArray.at(i).toDouble());
            locked = state.value(QStringLiteral("otpLocked")).toBool();
            fresh = false;
        }
        QFile flashFile(flashPath());
        if (flashFile.exists()) {
            if (!flashFile.open(QIODevice::ReadOnly) || flashFile.size() != qint64(flashSize)) {
                *error = QStringLiteral("%1 is damaged; remove it to start with an erased flash")
                             .arg(flashFile.fileName());
                return false;
            }
            flash = flashFile.readAll();
        }
    }
    if (fresh)
        create(initial);
    if (lockOtp)
        locked = true;
    if (!save()) {
        *error = saveError;
        return false;
    }
    return true;
}

void ChipStorage::create(const InitialStorage &initial)
{
    uid = initial.flashUid;
    if (uid.isEmpty()) {
        const QByteArray digest =
            QCryptographicHash::hash("TK716A flash " + name.toUtf8(), QCryptographicHash::Sha256);
        uid = QString::fromLatin1(digest.left(16).toHex());
    }
    if (!initial.mac.isEmpty())
        setOtpMac(QByteArray::fromHex(initial.mac.toLatin1().replace(':', "")));
    if (initial.xtal)
        setOtpValue(Value::Xtal, *initial.xtal);
    if (initial.txPower)
        setOtpValue(Value::TxPower, *initial.txPower);
    if (initial.txPowerB)
        setOtpValue(Value::TxPowerB, *initial.txPowerB);
    if (initial.txPowerGn)
        setOtpValue(Value::TxPowerGn, *initial.txPowerGn);
}

bool ChipStorage::save()
{
    if (dir.isEmpty())
        return true;
    QJsonObject state;
    state.insert(QStringLiteral("flashUid"), uid);
    state.insert(QStringLiteral("otpLocked"), locked);
    state.insert(QStringLiteral("otp"), QString::fromLatin1(otp.toHex()));
    QJsonArray fuseArray;
    for (quint32 word : fuses)
        fuseArray.append(double(word));
    state.insert(QStringLiteral("efuse"), fuseArray);
    QSaveFile file(jsonPath());
    if (!file.open(QIODevice::WriteOnly)) {
        saveError = QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString());
        return false;
    }
    file.write(QJsonDocument(state).toJson());
    if (!file.commit()) {
        saveError = QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString());
        return false;
    }
    return true;
}

bool ChipStorage::saveFlash()
{
    if (dir.isEmpty())
        return true;
    QSaveFile file(flashPath());
    if (!file.open(QIODevice::WriteOnly)) {
        saveError = QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString());
        return false;
    }
    file.write(flash);
    if (!file.commit()) {
        saveError = QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString());
        return false;
    }
    return true;
}

bool ChipStorage::flashInRange(quint32 address, quint32 length) const
{
    return address <= flashSize && length <= flashSize - address;
}

QByteArray ChipStorage::flashRead(quint32 address, quint32 length) const
{
    if (!flashInRange(address, length))
        return QByteArray();
    if (flash.isEmpty()) // never written: all erased
        return QByteArray(int(length), char(0xff));
    return flash.mid(int(address), int(length));
}

bool ChipStorage::flashErase(quint32 address, quint32 length)
{
    if (address % sectorSize != 0 || length % sectorSize != 0 || !flashInRange(address, length))
        return false;
    if (length == 0)
        return true;
    if (flash.isEmpty())
        return true;
    flash.replace(int(address), int(length), QByteArray(int(length), char(0xff)));
    return saveFlash();
}

void ChipStorage::flashEraseAll()
{
    if (flash.isEmpty())
        return;
    flash.fill(char(0xff));
    saveFlash();
}

bool ChipStorage::flashWrite(quint32 address, const QByteArray &data)
{
    const quint32 length = quint32(data.size());
    if (!flashInRange(address, length))
        return false;
    if (length == 0)
        return true;
    if (flash.isEmpty())
        flash = QByteArray(int(flashSize), char(0xff));
    const quint32 first = address - address % sectorSize;
    const quint32 end = address + length;
    const quint32 last = (end + sectorSize - 1) / sectorSize * sectorSize;
    flash.replace(int(first), int(last - first), QByteArray(int(last - first), char(0xff)));
    flash.replace(int(address), int(length), data);
    return saveFlash();
}

bool ChipStorage::otpInRange(int address, int length) const
{
    return address >= 0 && length >= 0 && address <= otpSize && length <= otpSize - address;
}

QByteArray ChipStorage::otpRead(int address, int length) const
{
    if (!otpInRange(address, length))
        return QByteArray();
    return otp.mid(address, length);
}

bool ChipStorage::otpProgram(int address, quint8 value)
{
    if (locked || !otpInRange(address, 1))
        return false;
    otp[address] = char(quint8(otp.at(address)) & value);
    return save();
}

bool ChipStorage::lockOtp()
{
    locked = true;
    return save();
}

std::optional<int> ChipStorage::otpValue(Value which) const
{
    std::optional<int> value;
    const int base = valueRegion(which);
    for (int at = base; at < base + valueRegionSize; at += 2) {
        const quint8 marker = quint8(otp.at(at));
        if (marker == 0xff)
            break;
        if (marker == recordMarker)
            value = int(qint8(otp.at(at + 1)));
    }
    return value;
}

bool ChipStorage::setOtpValue(Value which, int value)
{
    if (locked || value < -128 || value > 127)
        return false;
    const int base = valueRegion(which);
    for (int at = base; at < base + valueRegionSize; at += 2) {
        if (quint8(otp.at(at)) == 0xff && quint8(otp.at(at + 1)) == 0xff) {
            otp[at] = char(recordMarker);
            otp[at + 1] = char(qint8(value));
            return save();
        }
    }
    return false; // region full
}

std::optional<QByteArray> ChipStorage::otpMac() const
{
    std::optional<QByteArray> mac;
    for (int i = 0; i < macRecords; ++i) {
        const int at = macRegion + i * macRecord;
        const quint8 marker = quint8(otp.at(at));
        if (marker == 0xff)
            break;
        if (marker == recordMarker)
            mac = otp.mid(at + 1, 6);
    }
    return mac;
}

bool ChipStorage::setOtpMac(const QByteArray &mac)
{
    if (locked || mac.size() != 6)
        return false;
    for (int i = 0; i < macRecords; ++i) {
        const int at = macRegion + i * macRecord;
        if (otp.mid(at, macRecord) == QByteArray(macRecord, char(0xff))) {
            otp[at] = char(recordMarker);
            otp.replace(at + 1, 6, mac);
            return save();
        }
    }
    return false;
}

bool ChipStorage::burnEfuse(int index, quint32 bits)
{
    if (index < 0 || index >= efuseWords)
        return false;
    fuses[index] |= bits;
    return save();
}

} // namespace stationsim
