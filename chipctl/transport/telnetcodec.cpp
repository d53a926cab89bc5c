#include "telnetcodec.h"

QByteArray TelnetCodec::escape(const QByteArray &data)
{
    const int iacs = data.count(char(IAC));
    if (iacs == 0)
        return data;
    QByteArray out;
    out.reserve(data.size() + iacs);
    for (const char c : data) {
        out.append(c);
        if (uint8_t(c) == IAC)
            out.append(c);
    }
    return out;
}

QByteArray TelnetCodec::negotiation(uint8_t verb, uint8_t option)
{
    QByteArray out;
    out.append(char(IAC));
    out.append(char(verb));
    out.append(char(option));
    return out;
}

QByteArray TelnetCodec::subnegotiation(uint8_t option, const QByteArray &payload)
{
    QByteArray out;
    out.append(char(IAC));
    out.append(char(SB));
    out.append(escape(QByteArray(1, char(option))));
    out.append(escape(payload));
    out.append(char(IAC));
    out.append(char(SE));
    return out;
}

// The byte after an IAC outside a subnegotiation.
void TelnetCodec::afterIac(uint8_t byte, QByteArray &data)
{
    if (byte == IAC) {
        data.append(char(IAC));
        state = State::Data;
    } else if (byte >= WILL) {
        verb = byte;
        state = State::Option;
    } else if (byte == SB) {
        sub.clear();
        subTooLong = false;
        state = State::Sub;
    } else {
        // SE without SB, the one-byte commands (NOP, GA, ...) and bytes
        // that are no command at all: nothing for a serial line.
        state = State::Data;
    }
}

void TelnetCodec::decode(const QByteArray &received, QByteArray &data, QList<Event> &events)
{
    for (const char c : received) {
        const uint8_t byte = uint8_t(c);
        switch (state) {
        case State::Data:
            if (byte == IAC)
                state = State::Command;
            else
                data.append(c);
            break;
        case State::Command:
            afterIac(byte, data);
            break;
        case State::Option: {
            Event event;
            event.kind = Event::Negotiation;
            event.verb = verb;
            event.option = byte;
            events.append(event);
            state = State::Data;
            break;
        }
        case State::Sub:
            if (byte == IAC)
                state = State::SubIac;
            else if (sub.size() <= maxSubnegotiation)
                sub.append(c);
            else
                subTooLong = true;
            break;
        case State::SubIac:
            if (byte == IAC) {
                // A doubled 0xFF inside the subnegotiation.
                if (sub.size() <= maxSubnegotiation)
                    sub.append(c);
                else
                    subTooLong = true;
                state = State::Sub;
            } else if (byte == SE) {
                if (!sub.isEmpty() && !subTooLong) {
                    Event event;
                    event.kind = Event::Subnegotiation;
                    event.option = uint8_t(sub.at(0));
                    event.payload = sub.mid(1);
                    events.append(event);
                }
                sub.clear();
                state = State::Data;
            } else {
                // An unterminated subnegotiation: drop it and read the
                // byte as the command it starts.
                sub.clear();
                afterIac(byte, data);
            }
            break;
        }
    }
}
