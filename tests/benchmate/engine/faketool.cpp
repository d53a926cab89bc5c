#include "faketool.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QVector>

namespace {

QString escaped(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c == QLatin1Char('\r'))
            out += QStringLiteral("\\r");
        else if (c == QLatin1Char('\t'))
            out += QStringLiteral("\\t");
        else if (c == QChar(0))
            out += QStringLiteral("\\0");
        else
            out += c;
    }
    return out;
}

QString number(float value)
{
    return QString::number(double(value), 'g', 7);
}

} // namespace

FakeTool::FakeTool()
    : m_oldCwd(QDir::currentPath())
{
    if (!m_dir.isValid())
        return;
    const QString toolDir = m_dir.path() + QStringLiteral("/config/CHIPCTL");
    if (!QDir().mkpath(toolDir))
        return;
    const QString tool = toolDir + QStringLiteral("/Chipctl");
    if (!QFile::copy(QStringLiteral(FAKE_CHIPCTL_PATH), tool))
        return;
    QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeScript();
    m_valid = QDir::setCurrent(m_dir.path());
}

FakeTool::~FakeTool()
{
    QDir::setCurrent(m_oldCwd);
}

void FakeTool::on(const QString &pattern, const QString &output, const QString &options)
{
    m_rules.append(pattern + QLatin1Char('\t') +
                   (options.isEmpty() ? QStringLiteral("-") : options) + QLatin1Char('\t') +
                   escaped(output));
    writeScript();
}

void FakeTool::clear()
{
    m_rules.clear();
    writeScript();
    QFile::remove(m_dir.path() + QStringLiteral("/config/CHIPCTL/fake.state"));
    QFile::remove(m_dir.path() + QStringLiteral("/config/CHIPCTL/calls.log"));
}

void FakeTool::writeScript()
{
    QFile file(m_dir.path() + QStringLiteral("/config/CHIPCTL/fake.script"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write((m_rules.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
}

QStringList FakeTool::calls() const
{
    QFile file(m_dir.path() + QStringLiteral("/config/CHIPCTL/calls.log"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QStringList FakeTool::callsStartingWith(const QString &prefix) const
{
    QStringList matching;
    const QStringList all = calls();
    for (const QString &call : all) {
        if (call.startsWith(prefix))
            matching.append(call);
    }
    return matching;
}

qint64 FakeTool::lastPid() const
{
    QFile file(m_dir.path() + QStringLiteral("/config/CHIPCTL/last.pid"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return file.readAll().trimmed().toLongLong();
}

QString FakeTool::rxAnswer(float freq, int rssiCount, int freqCount, float rssi)
{
    QString text = QStringLiteral("result:\n");
    for (int i = 0; i < qMax(rssiCount, freqCount); ++i) {
        QStringList fields;
        if (i < freqCount)
            fields << QStringLiteral("freq=") + number(freq);
        if (i < rssiCount)
            fields << QStringLiteral("rssi=") + number(rssi);
        text += fields.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return text + QStringLiteral("Ok.");
}

QString FakeTool::rxAnswer(const QList<float> &freqs, float rssi)
{
    QString text = QStringLiteral("result:\n");
    for (float f : freqs)
        text += QStringLiteral("freq=") + number(f) + QStringLiteral(",rssi=") + number(rssi) +
                QLatin1Char('\n');
    return text + QStringLiteral("Ok.");
}

QString FakeTool::txAnswer(const QList<int> &rssi)
{
    QString text = QStringLiteral("result:\n");
    for (int r : rssi)
        text += QStringLiteral("rssi:") + QString::number(r) + QLatin1Char('\n');
    return text + QStringLiteral("Ok.");
}

QString FakeTool::txAnswer(int rssi, int count)
{
    return txAnswer(QList<int>() << QVector<int>(count, rssi).toList());
}

void FakeTool::healthyGolden(const QString &gmMac)
{
    on(QStringLiteral("GM gm_mac"), QStringLiteral("mac:") + gmMac + QStringLiteral("\r\nOk."));
    on(QStringLiteral("GM xtal_cap read flash_otp"), QStringLiteral("xtal_cap:-3\nOk."));
    on(QStringLiteral("GM xtal_cap write ram *"), QStringLiteral("Ok."));
    on(QStringLiteral("GM rx_gm *"), QStringLiteral("Ok."));
    on(QStringLiteral("GM rf_stop"), QStringLiteral("Ok."));
    on(QStringLiteral("GM tx_gm 1 *"), txAnswer(-45, 20));
}

void FakeTool::healthyDut(const QString &port, const QString &rxOptions)
{
    on(port + QStringLiteral(" entry_boot_mode"), QStringLiteral("Ok."));
    on(port + QStringLiteral(" download ram 0x20000000 *"), QStringLiteral("Ok."));
    on(port + QStringLiteral(" test_dut mac_gm *"), QStringLiteral("Ok."));
    on(port + QStringLiteral(" uuid"),
       QStringLiteral("uid:0x00112233445566778899aabbccdd") +
           QString::number(qHash(port) & 0xffff, 16).rightJustified(4, QLatin1Char('0')) +
           QStringLiteral("\nOk."));
    on(port + QStringLiteral(" test_dut mac_dut *"), QStringLiteral("Ok."));
    on(port + QStringLiteral(" xtal_cap write *"), QStringLiteral("Ok."));
    on(port + QStringLiteral(" rx_dut *"), rxAnswer(2.0f), rxOptions);
    on(port + QStringLiteral(" rx_dut *"), rxAnswer(3.0f), rxOptions);
    on(port + QStringLiteral(" rx_dut *"), rxAnswer(2.0f), rxOptions);
    on(port + QStringLiteral(" tx_dut *"), QStringLiteral("Ok."));
    on(port + QStringLiteral(" rf_stop"), QStringLiteral("Ok."));
}
