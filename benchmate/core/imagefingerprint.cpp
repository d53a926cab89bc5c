#include "imagefingerprint.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

ImageFingerprint::Print ImageFingerprint::of(const QString &path)
{
    const QFileInfo info(path);
    if (path == m_print.path && info.isFile() && info.size() == m_print.size &&
        info.lastModified() == m_modified && !m_print.sha256.isEmpty())
        return m_print;

    m_print = Print();
    m_print.path = path;
    m_modified = info.lastModified();
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        return m_print;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return m_print;
    m_print.size = file.size();
    m_print.sha256 = QString::fromLatin1(hash.result().toHex());
    return m_print;
}
