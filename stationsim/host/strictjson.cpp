#include "host/strictjson.h"

#include <QStringList>

#include <cmath>

namespace stationsim {

StrictJson::StrictJson(const QJsonObject &object, const QString &path)
    : members(object)
    , path(path)
{}

QString StrictJson::shownKey(const QString &key)
{
    QString out;
    for (const QChar c : key) {
        if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c == QLatin1Char('\r'))
            out += QStringLiteral("\\r");
        else if (c == QLatin1Char('\t'))
            out += QStringLiteral("\\t");
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

QString StrictJson::pathOf(const QString &key) const
{
    return path.isEmpty() ? shownKey(key) : path + QLatin1Char('.') + shownKey(key);
}

void StrictJson::fail(const QString &message)
{
    if (problem.isEmpty())
        problem = message;
}

const QJsonValue *StrictJson::find(const QString &key)
{
    seen.insert(key);
    if (!ok() || !members.contains(key))
        return nullptr;
    current = members.value(key);
    return &current;
}

bool StrictJson::integer(const QString &key, int *out, int min, int max)
{
    std::optional<int> value;
    if (!integer(key, &value, min, max))
        return false;
    if (value)
        *out = *value;
    return true;
}

bool StrictJson::integer(const QString &key, std::optional<int> *out, int min, int max)
{
    const QJsonValue *value = find(key);
    if (!value)
        return ok();
    const double d = value->toDouble();
    if (!value->isDouble() || std::floor(d) != d) {
        fail(QStringLiteral("%1 must be a whole number").arg(pathOf(key)));
        return false;
    }
    if (d < min || d > max) {
        fail(QStringLiteral("%1 must be between %2 and %3, not %4")
                 .arg(pathOf(key))
                 .arg(min)
                 .arg(max)
                 .arg(d, 0, 'g', 12));
        return false;
    }
    *out = int(d);
    return true;
}

bool StrictJson::number(const QString &key, double *out, double min, double max)
{
    const QJsonValue *value = find(key);
    if (!value)
        return ok();
    if (!value->isDouble()) {
        fail(QStringLiteral("%1 must be a number").arg(pathOf(key)));
        return false;
    }
    const double d = value->toDouble();
    if (d < min || d > max) {
        fail(QStringLiteral("%1 must be between %2 and %3, not %4")
                 .arg(pathOf(key))
                 .arg(min)
                 .arg(max)
                 .arg(d));
        return false;
    }
    *out = d;
    return true;
}

bool StrictJson::boolean(const QString &key, bool *out)
{
    const QJsonValue *value = find(key);
    if (!value)
        return ok();
    if (!value->isBool()) {
        fail(QStringLiteral("%1 must be true or false").arg(pathOf(key)));
        return false;
    }
    *out = value->toBool();
    return true;
}

bool StrictJson::string(const QString &key, QString *out)
{
    const QJsonValue *value = find(key);
    if (!value)
        return ok();
    if (!value->isString()) {
        fail(QStringLiteral("%1 must be a string").arg(pathOf(key)));
        return false;
    }
    *out = value->toString();
    return true;
}

bool StrictJson::object(const QString &key, QJsonObject *out)
{
    const QJsonValue *value = find(key);
    if (!value)
        return ok();
    if (!value->isObject()) {
        fail(QStringLiteral("%1 must be an object").arg(pathOf(key)));
        return false;
    }
    *out = value->toObject();
    return true;
}

bool StrictJson::finish()
{
    if (!ok())
        return false;
    QStringList unknown;
    for (auto it = members.constBegin(); it != members.constEnd(); ++it) {
        if (!seen.contains(it.key()))
            unknown.append(it.key());
    }
    if (!unknown.isEmpty())
        fail(QStringLiteral("unknown key %1").arg(pathOf(unknown.first())));
    return ok();
}

} // namespace stationsim
