#include "fakechip.h"

#include <QTimer>

FakeChip::FakeChip(QObject *parent)
    : QObject(parent)
{}

void FakeChip::deliverAfter(int ms, const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    const int step = chunkSize > 0 ? chunkSize : bytes.size();
    int piece = 0;
    for (int at = 0; at < bytes.size(); at += step, ++piece) {
        const QByteArray part = bytes.mid(at, step);
        QTimer::singleShot(ms + delayMs + piece, this, [this, part] { emit chipSent(part); });
    }
}

void FakeChip::hostSent(QByteArray data)
{
    if (rawMode) {
        received.append(data);
        if (responder)
            deliver(responder(data));
        return;
    }
    pending.append(data);
    int end;
    while ((end = pending.indexOf("\r\n")) >= 0) {
        const QByteArray line = pending.left(end + 2);
        pending.remove(0, end + 2);
        received.append(line);
        if (responder)
            deliver(responder(line));
        // A command that switched the chip to raw bytes (a transfer): what
        // follows it is no longer cut into lines.
        if (rawMode && !pending.isEmpty()) {
            const QByteArray rest = pending;
            pending.clear();
            hostSent(rest);
            return;
        }
    }
}
