#ifndef LOCALRESULTSDB_H
#define LOCALRESULTSDB_H

#include <QString>

class DatabaseConnection;

// The station's own results database: one SQLite file, "./log/results.sqlite"
// by default, in WAL mode with every commit on disk before it returns, so
// that a station killed at any moment keeps each cycle it recorded whole.
class LocalResultsDb
{
public:
    static QString defaultPath() { return QStringLiteral("./log/results.sqlite"); }

    enum Mode
    {
        ForRecording, // creates the file and its folder, brings the schema up to date
        ForReading,   // the file must exist; read only, the schema as it is
    };

    // False with *error set when the file cannot be used: also when it is
    // no SQLite database, is damaged (PRAGMA quick_check), or its schema is
    // newer than this station knows.
    static bool open(DatabaseConnection &connection, const QString &path, Mode mode,
                     QString *error);

    // What is wrong with the file at `path`, with what to do about it; empty
    // when it is whole or not there yet. For a station's start.
    static QString checkFile(const QString &path);

    // The uid of the station folder whose file this is, made with the file
    // (ForRecording); empty with *error set when it cannot be read. A copy
    // of the file carries it along until a station records in it: a file
    // opened ForRecording at another place (another path or PC) than the
    // one noted takes a new uid, and says so once.
    static QString folderUid(DatabaseConnection &connection, QString *error);
};

#endif // LOCALRESULTSDB_H
