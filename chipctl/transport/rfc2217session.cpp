#include "rfc2217session.h"

#include "comportoption.h"

#include <QList>

Rfc2217Session::Rfc2217Session()
    : options({TelnetCodec::optionBinary, TelnetCodec::optionSuppressGoAhead,
               TelnetCodec::optionComPort},
              {TelnetCodec::optionBinary, TelnetCodec::optionSuppressGoAhead,
               TelnetCodec::optionComPort})
{}

QByteArray Rfc2217Session::offers()
{
    return options.offerLocal(TelnetCodec::optionBinary) +
           options.requestRemote(TelnetCodec::optionBinary) +
           options.offerLocal(TelnetCodec::optionSuppressGoAhead) +
           options.requestRemote(TelnetCodec::optionSuppressGoAhead) +
           options.offerLocal(TelnetCodec::optionComPort);
}

bool Rfc2217Session::negotiationSettled() const
{
    return options.localSettled(TelnetCodec::optionBinary) &&
           options.remoteSettled(TelnetCodec::optionBinary) &&
           options.localSettled(TelnetCodec::optionComPort);
}

bool Rfc2217Session::comPortUsable() const
{
    return options.localUsable(TelnetCodec::optionComPort);
}

QByteArray Rfc2217Session::take(const QByteArray &bytes, QByteArray &data)
{
    QList<TelnetCodec::Event> events;
    codec.decode(bytes, data, events);
    QByteArray replies;
    for (const TelnetCodec::Event &event : std::as_const(events)) {
        if (event.kind == TelnetCodec::Event::Negotiation) {
            replies += options.answer(event.verb, event.option);
        } else if (event.option == TelnetCodec::optionComPort) {
            // Answers and notifications of the server; only the baud rate it
            // confirms is kept.
            uint32_t baudRate = 0;
            if (ComPortOption::readBaudRateAnswer(event.payload, baudRate))
                serverBaudRate = baudRate;
        }
    }
    return replies;
}
