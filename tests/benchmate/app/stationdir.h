#ifndef STATIONDIR_H
#define STATIONDIR_H

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A throwaway station working directory: a temporary directory that is the
// current directory while the object lives, with a "config" directory in it
// unless told otherwise.
class StationDir
{
public:
    explicit StationDir(bool withConfigDir = true);
    ~StationDir();
    StationDir(const StationDir &) = delete;
    StationDir &operator=(const StationDir &) = delete;

    bool isValid() const { return m_valid; }
    QString path() const { return m_dir.path(); }
    QString configFile() const;

    void writeConfig(const QByteArray &bytes) const;
    QByteArray readConfig() const;
    bool configExists() const;

private:
    QTemporaryDir m_dir;
    QString m_previous;
    bool m_valid = false;
};

// The settings file as text lines, for building test files: 42 lines, each
// written with its trailing "," and line feed.
class ConfigText
{
public:
    // A complete, well-formed set-up.
    static ConfigText sample();
    // What Benchmate writes when it had nothing to read.
    static ConfigText blank();

    ConfigText &set(int line, const QString &text);
    QString line(int line) const { return m_lines.at(line); }
    QByteArray bytes() const;
    // Splits a file back into lines (without the trailing ",").
    static QStringList linesOf(const QByteArray &bytes);

private:
    QStringList m_lines;
};

// Collects the warnings and debug lines written while it lives.
class MessageLog
{
public:
    MessageLog();
    ~MessageLog();
    MessageLog(const MessageLog &) = delete;
    MessageLog &operator=(const MessageLog &) = delete;

    int count(const QString &part) const;
    const QStringList &messages() const;
};

#endif // STATIONDIR_H
