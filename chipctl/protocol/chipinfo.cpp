#include "chipinfo.h"

#include "chipfacts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace {

QJsonObject builtInChips()
{
    QJsonObject chips;
    chips.insert(QStringLiteral("TK602C"), QStringLiteral("Aug  9 2021/16:16:40"));
    chips.insert(QLatin1String(chipfacts::chipName), QStringLiteral("Mar 14 2021/00:23:32"));
    return chips;
}

// Reads and parses the file; false when it cannot be opened, is empty or is
// not JSON. Opening for reading and writing creates an empty file when none
// exists, as the chip tool always has.
bool parseFile(const QString &path, QJsonDocument &doc)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Text))
        return false;
    const QByteArray data = file.readAll();
    file.close();
    if (data.isEmpty())
        return false;
    QJsonParseError error{};
    doc = QJsonDocument::fromJson(data, &error);
    return error.error == QJsonParseError::NoError;
}

} // namespace

chipInfo::chipInfo(const QString &filePath)
    : path(filePath)
{}

bool chipInfo::load()
{
    QJsonDocument doc;
    if (parseFile(path, doc)) {
        names = doc.isObject() ? doc.object().keys() : QStringList();
        return true;
    }
    const QJsonObject chips = builtInChips();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Text))
        file.write(QJsonDocument(chips).toJson(QJsonDocument::Indented));
    names = chips.keys();
    return false;
}

AnswerState chipInfo::recognise(const Answer &reply, QString &answer, QString &banner) const
{
    if (!reply.complete || reply.bytes.isEmpty())
        return AnswerState::Pending;
    for (const QString &name : names) {
        readBanner(name, banner);
        if (!banner.isEmpty() && reply.bytes.contains(banner.toUtf8())) {
            answer = name;
            return AnswerState::Accepted;
        }
        if (reply.bytes.contains(chipfacts::ramcodeAnswer)) {
            answer = QLatin1String(chipfacts::ramcodeAnswer);
            return AnswerState::Accepted;
        }
    }
    return AnswerState::Pending;
}

bool chipInfo::readBanner(const QString &name, QString &banner) const
{
    QJsonDocument doc;
    if (!parseFile(path, doc))
        return false;
    banner = doc.object().value(name).toString();
    return true;
}
