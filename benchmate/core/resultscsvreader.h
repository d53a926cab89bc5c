#ifndef RESULTSCSVREADER_H
#define RESULTSCSVREADER_H

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

// Reads the rows of a day's results file by the names of its columns, as
// its header row gives them, so that a file of another layout (a station
// of another version wrote it, a column was added since) reads alike.
// Rows before any header row (a cycle's rows as the station writes them)
// are in the layout this station writes (ResultsCsv::header()). A header row
// further down (files put together) sets the layout of the rows after it.
//
// A row that cannot be read (another number of fields than its header has,
// or one its reader refuses with reject()) is never passed over silently:
// it is counted, and problems() says which line and why.
class ResultsCsvReader
{
public:
    explicit ResultsCsvReader(const QByteArray &csv);

    // Moves to the next row of results; false at the end of the text.
    // Header rows and blank lines are no rows.
    bool next();

    // The field of the current row under that header; empty when the row
    // has it empty or the file has no such column.
    QString value(const QString &header) const;
    bool hasColumn(const QString &header) const;
    // The current row's line in the text, from 1, as an editor counts.
    int line() const { return m_line; }

    // The current row cannot be used: it is counted as unreadable.
    void reject(const QString &why);

    int unreadable() const { return m_unreadable; }
    // "line 5: 21 fields where its header has 20", one per unreadable row
    // (the first 20; the count says how many more).
    const QStringList &problems() const { return m_problems; }

private:
    void setLayout(const QStringList &header);

    QStringList m_lines;
    int m_next = 0;
    int m_line = 0;
    QString m_headerStart;
    QStringList m_fields;
    QHash<QString, int> m_columns;
    int m_columnCount = 0;
    int m_unreadable = 0;
    QStringList m_problems;
};

#endif // RESULTSCSVREADER_H
