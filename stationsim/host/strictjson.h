#ifndef STATIONSIM_STRICTJSON_H
#define STATIONSIM_STRICTJSON_H

#include <QJsonObject>
#include <QSet>
#include <QString>

#include <optional>

namespace stationsim {

// Reads the members of one JSON object with strict checks: every member must
// be read by one of the typed getters (anything left over is an unknown key),
// and every value must have the expected type and range. The first problem is
// kept as a one-line message naming the member by its path.
class StrictJson
{
public:
    StrictJson(const QJsonObject &object, const QString &path);

    // Each getter leaves *out untouched when the member is absent and returns
    // false once an error has been recorded.
    bool integer(const QString &key, int *out, int min, int max);
    bool integer(const QString &key, std::optional<int> *out, int min, int max);
    bool number(const QString &key, double *out, double min, double max);
    bool boolean(const QString &key, bool *out);
    bool string(const QString &key, QString *out);
    bool object(const QString &key, QJsonObject *out);

    // Checks for members no getter asked for; true when all is well.
    bool finish();

    bool ok() const { return problem.isEmpty(); }
    QString error() const { return problem; }
    QString pathOf(const QString &key) const;
    // A key as a message shows it: control characters (a line end typed into
    // a key) as \n, \r, \t or \xNN, so that the message stays one line.
    static QString shownKey(const QString &key);
    void fail(const QString &message);

private:
    const QJsonValue *find(const QString &key);

    QJsonObject members;
    QString path;
    QSet<QString> seen;
    QJsonValue current;
    QString problem;
};

} // namespace stationsim

#endif // STATIONSIM_STRICTJSON_H
