// tranProtocol: reading a flash range into a file, a chunk at a time at the
// fast flash-read rate, each chunk checked against the CRC the ramcode
// appends.
#include "tranprotocol.h"

#include "answerrules.h"
#include "chipfacts.h"
#include "wiretrace.h"

#include <QDebug>
#include <QFileInfo>
#include <QSaveFile>

namespace {

constexpr uint32_t chunkSize = chipfacts::flashReadChunk;
constexpr uint32_t chunkWaitCount = 100;
// Failed reads of one chunk allowed before the next one ends the read.
constexpr int failureLimit = 10;

} // namespace

// One chunk: up to 12 reads of the same address; each answer that arrives
// is logged, then it must parse and its CRC must match.
bool tranProtocol::readChunk(uint32_t address, qint64 received, QByteArray &chunk)
{
    QString dump;
    int failures = 0;
    while (!flashReadChunk(address, chunkSize, dump)) {
        if (failures > failureLimit)
            return false;
        ++failures;
    }
    qDebug().noquote() << QStringLiteral("flash read: address 0x%1, received 0x%2, failures %3")
                              .arg(address, 0, 16)
                              .arg(received, 0, 16)
                              .arg(failures);
    if (answerRules::dumpBytes(dump, chunkSize, chunk))
        return true;
    if (WireTrace *trace = WireTrace::active())
        trace->verdict("chunk CRC", "refused");
    return false;
}

bool tranProtocol::readToFile(uint32_t address, uint32_t length, const QString &path)
{
    // Opening a FIFO for writing would wait for a reader that never comes.
    const QFileInfo target(path);
    if (target.exists() && !target.isFile())
        return false;
    // Dropped, with the target untouched, unless committed.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (!changeBaudRate(chipfacts::flashReadBaud))
        return false;
    waitCount = chunkWaitCount;

    bool ok = true;
    // 64 bits, so that a length near 4 GiB cannot wrap the count.
    qint64 received = 0;
    while (ok && received < qint64(length)) {
        QByteArray chunk;
        // Each chunk goes to the temporary file before the next is read.
        ok = readChunk(address, received, chunk) && file.write(chunk) == chunk.size() &&
             file.flush();
        received += chunkSize;
        address += chunkSize;
    }
    changeBaudRate(chipfacts::normalBaud);
    return ok && file.commit();
}
