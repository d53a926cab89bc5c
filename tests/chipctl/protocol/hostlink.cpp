#include "hostlink.h"

#include "waitms.h"

HostLink::HostLink(const QString &configDir, QObject *parent)
    : QObject(parent)
    , link(std::make_unique<Serial>())
    , proto(std::make_unique<tranProtocol>(configDir))
{}

HostLink::~HostLink() = default;

bool HostLink::open(const QString &portName)
{
    if (!link->openPort(portName, 115200))
        return false;
    connect(link.get(), &Serial::recvSerialData, proto.get(), &tranProtocol::recvData);
    connect(proto.get(), &tranProtocol::sendData, link.get(), &Serial::sendData);
    connect(proto.get(), &tranProtocol::setBaudRate, link.get(), &Serial::setBaudRate);
    connect(proto.get(), &tranProtocol::setRTS, link.get(), &Serial::setRTS);
    connect(proto.get(), &tranProtocol::setDTR, link.get(), &Serial::setDTR);
    connect(link.get(), &Serial::recvSerialData, this, [this](const QByteArray &data) {
        received += data.size();
        answered += awaiting ? 1 : 0;
        awaiting = false;
    });
    connect(proto.get(), &tranProtocol::sendData, this, [this](const QByteArray &data) {
        sent += data.size();
        awaiting = true;
    });
    return true;
}

void HostLink::resetIntoBootRom()
{
    link->setDTR(1);
    link->setRTS(0);
    waitMs(40);
    link->setRTS(1);
    link->setDTR(0);
    waitMs(50);
    link->setDTR(1);
    link->setRTS(0);
    waitMs(100);
    link->setDTR(0);
    waitMs(10);
}

void HostLink::resetCounters()
{
    sent = 0;
    received = 0;
    answered = 0;
    awaiting = false;
}
