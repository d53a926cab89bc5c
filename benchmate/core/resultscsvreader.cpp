#include "resultscsvreader.h"

#include "resultscsv.h"

namespace {

const int problemsKept = 20;

} // namespace

ResultsCsvReader::ResultsCsvReader(const QByteArray &csv)
    : m_lines(QString::fromUtf8(csv).split(QStringLiteral("\r\n")))
{
    const QStringList header = ResultsCsv::headerFields();
    m_headerStart = header.first();
    setLayout(header);
}

void ResultsCsvReader::setLayout(const QStringList &header)
{
    m_columns.clear();
    for (int i = 0; i < header.size(); ++i)
        m_columns.insert(header.at(i), i);
    m_columnCount = header.size();
}

bool ResultsCsvReader::next()
{
    while (m_next < m_lines.size()) {
        m_line = ++m_next;
        const QString &text = m_lines.at(m_line - 1);
        if (text.trimmed().isEmpty())
            continue;
        m_fields = ResultsCsv::fields(text);
        // The header's first column names every layout's header row.
        if (m_fields.first() == m_headerStart) {
            setLayout(m_fields);
            continue;
        }
        if (m_fields.size() != m_columnCount) {
            reject(QStringLiteral("%1 field(s) where its header has %2")
                       .arg(m_fields.size())
                       .arg(m_columnCount));
            continue;
        }
        return true;
    }
    m_fields.clear();
    return false;
}

QString ResultsCsvReader::value(const QString &header) const
{
    const int index = m_columns.value(header, -1);
    return index >= 0 && index < m_fields.size() ? m_fields.at(index) : QString();
}

bool ResultsCsvReader::hasColumn(const QString &header) const
{
    return m_columns.contains(header);
}

void ResultsCsvReader::reject(const QString &why)
{
    ++m_unreadable;
    if (m_problems.size() < problemsKept)
        m_problems << QStringLiteral("line %1: %2").arg(m_line).arg(why);
}
