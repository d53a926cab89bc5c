#include "wire/telnetcodec.h"

namespace stationsim {

QByteArray TelnetCodec::greeting()
{
    replies.clear();
    for (quint8 option : {optBinary, optSga, optComPort}) {
        ours[option].pending = true;
        send(WILL, option);
        theirs[option].pending = true;
        send(DO, option);
    }
    return takeReplies();
}

QByteArray TelnetCodec::takeReplies()
{
    QByteArray out = replies;
    replies.clear();
    return out;
}

void TelnetCodec::send(quint8 verb, quint8 option)
{
    replies.append(char(IAC));
    replies.append(char(verb));
    replies.append(char(option));
}

void TelnetCodec::negotiate(quint8 verb, quint8 option)
{
    // DO/DONT ask about an option we perform, WILL/WONT about one the client
    // performs; the answers are the other pair.
    switch (verb) {
    case DO:
    case DONT:
        settle(ours[option], verb == DO, option, WILL, WONT);
        return;
    case WILL:
    case WONT:
        settle(theirs[option], verb == WILL, option, DO, DONT);
        return;
    default:
        return;
    }
}

void TelnetCodec::settle(Option &o, bool want, quint8 option, quint8 agree, quint8 refuse)
{
    // Answer only changes of state, so two peers never loop.
    if (want && !supported(option)) {
        if (!o.pending)
            send(refuse, option);
        o = Option();
        return;
    }
    if (o.enabled == want) {
        o.pending = false;
        return;
    }
    if (!o.pending)
        send(want ? agree : refuse, option);
    o.enabled = want;
    o.pending = false;
}

void TelnetCodec::finishSubnegotiation(QList<Item> *items)
{
    if (sb.size() >= 2 && quint8(sb.at(0)) == optComPort) {
        Item item;
        item.isRequest = true;
        item.command = quint8(sb.at(1));
        item.value = sb.mid(2);
        items->append(item);
    }
    sb.clear();
}

QList<TelnetCodec::Item> TelnetCodec::feed(const QByteArray &bytes)
{
    QList<Item> items;
    QByteArray data;
    auto flushData = [&] {
        if (!data.isEmpty()) {
            Item item;
            item.data = data;
            items.append(item);
            data.clear();
        }
    };
    for (char ch : bytes) {
        const quint8 b = quint8(ch);
        switch (state) {
        case State::Data:
            if (b == IAC)
                state = State::Iac;
            else
                data.append(ch);
            break;
        case State::Iac:
            if (b == IAC) {
                data.append(ch);
                state = State::Data;
            } else if (b == DO || b == DONT || b == WILL || b == WONT) {
                verb = b;
                state = State::Verb;
            } else if (b == SB) {
                sb.clear();
                state = State::Sb;
            } else {
                state = State::Data; // NOP, DM, BRK, GA ...: nothing to do
            }
            break;
        case State::Verb:
            negotiate(verb, b);
            state = State::Data;
            break;
        case State::Sb:
            if (b == IAC)
                state = State::SbIac;
            else if (sb.size() < 64)
                sb.append(ch);
            break;
        case State::SbIac:
            if (b == IAC) {
                if (sb.size() < 64)
                    sb.append(ch);
                state = State::Sb;
            } else if (b == SE) {
                flushData();
                finishSubnegotiation(&items);
                state = State::Data;
            } else {
                // A malformed subnegotiation: drop it and go on with the data.
                sb.clear();
                state = State::Data;
            }
            break;
        }
    }
    flushData();
    return items;
}

QByteArray TelnetCodec::escape(const QByteArray &data)
{
    if (!data.contains(char(IAC)))
        return data;
    QByteArray out;
    out.reserve(data.size() + 8);
    for (char ch : data) {
        out.append(ch);
        if (quint8(ch) == IAC)
            out.append(ch);
    }
    return out;
}

QByteArray TelnetCodec::comPortMessage(quint8 command, const QByteArray &value)
{
    QByteArray out;
    out.append(char(IAC));
    out.append(char(SB));
    out.append(char(optComPort));
    out.append(char(command));
    out.append(escape(value));
    out.append(char(IAC));
    out.append(char(SE));
    return out;
}

} // namespace stationsim
