#include "chipinfo.h"

#include "chipfacts.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSaveFile>

namespace {

QJsonObject builtInChips()
{
    QJsonObject chips;
    chips.insert(QStringLiteral("TK602C"), QStringLiteral("Aug  9 2021/16:16:40"));
    chips.insert(QLatin1String(chipfacts::chipName), QStringLiteral("Mar 14 2021/00:23:32"));
    return chips;
}

} // namespace

chipInfo::chipInfo(const QString &filePath)
    : path(filePath)
{}

bool chipInfo::load()
{
    loaded = true;
    QFile file(path);
    if (!file.exists()) {
        useBuiltIn(true);
        return false;
    }
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qWarning().noquote() << QStringLiteral("Chipctl: cannot read %1 (%2); the built-in chips "
                                               "serve this run.")
                                    .arg(QDir::toNativeSeparators(path), file.errorString());
        useBuiltIn(false);
        return false;
    }
    const QByteArray data = file.readAll();
    file.close();
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (data.isEmpty() || error.error != QJsonParseError::NoError) {
        useBuiltIn(true);
        return false;
    }
    chips = doc.object();
    names = doc.isObject() ? chips.keys() : QStringList();
    return true;
}

// The built-in chips, written to the file as indented JSON when `writeFile`.
void chipInfo::useBuiltIn(bool writeFile)
{
    chips = builtInChips();
    names = chips.keys();
    if (!writeFile)
        return;
    QDir().mkpath(QFileInfo(path).absolutePath());
    // Whole or not at all, also when several runs start at once; in place
    // where only the file, not its directory, may be written.
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    const QByteArray text = QJsonDocument(chips).toJson(QJsonDocument::Indented);
    if (file.open(QIODevice::WriteOnly | QIODevice::Text) && file.write(text) == text.size() &&
        file.commit())
        return;
    qWarning().noquote() << QStringLiteral("Chipctl: cannot write %1 (%2); the built-in chips "
                                           "serve this run.")
                                .arg(QDir::toNativeSeparators(path), file.errorString());
}

namespace {

// Where `needle` stands in the answer: not at all, on a line still on its
// way, or on a line that has ended (or will not end: a long silence).
enum class Found
{
    No,
    LineOpen,
    LineEnded
};

Found find(const Answer &reply, const QByteArray &needle)
{
    const int at = reply.bytes.indexOf(needle);
    if (at < 0)
        return Found::No;
    return reply.bytes.indexOf('\n', at + needle.size()) >= 0 || reply.complete ? Found::LineEnded
                                                                                : Found::LineOpen;
}

} // namespace

AnswerState chipInfo::recognise(const Answer &reply, QString &answer, QString &banner) const
{
    if (reply.bytes.isEmpty())
        return AnswerState::Pending;
    // A name or "RAMCODE" counts once its line has ended: the rest of that
    // line belongs to this answer, not to the next command's.
    for (const QString &name : names) {
        readBanner(name, banner);
        const Found chip = banner.isEmpty() ? Found::No : find(reply, banner.toUtf8());
        if (chip == Found::LineOpen)
            return AnswerState::Pending;
        if (chip == Found::LineEnded) {
            answer = name;
            return AnswerState::Accepted;
        }
        const Found ramcode = find(reply, QByteArray(chipfacts::ramcodeAnswer));
        if (ramcode == Found::LineOpen)
            return AnswerState::Pending;
        if (ramcode == Found::LineEnded) {
            answer = QLatin1String(chipfacts::ramcodeAnswer);
            return AnswerState::Accepted;
        }
    }
    return AnswerState::Pending;
}

bool chipInfo::readBanner(const QString &name, QString &banner) const
{
    if (!loaded)
        return false;
    banner = chips.value(name).toString();
    return true;
}
