#include "telnetoptions.h"

#include "telnetcodec.h"

TelnetOptions::TelnetOptions(std::initializer_list<uint8_t> localOptions,
                             std::initializer_list<uint8_t> remoteOptions)
{
    local.fill(State::No);
    remote.fill(State::No);
    for (const uint8_t option : localOptions)
        localAccepted[option] = true;
    for (const uint8_t option : remoteOptions)
        remoteAccepted[option] = true;
}

QByteArray TelnetOptions::offerLocal(uint8_t option)
{
    if (local[option] != State::No)
        return QByteArray();
    local[option] = State::WantYes;
    return TelnetCodec::negotiation(TelnetCodec::WILL, option);
}

QByteArray TelnetOptions::requestRemote(uint8_t option)
{
    if (remote[option] != State::No)
        return QByteArray();
    remote[option] = State::WantYes;
    return TelnetCodec::negotiation(TelnetCodec::DO, option);
}

// The peer wants the option on (WILL for a remote option, DO for a local one).
QByteArray TelnetOptions::receiveOn(State &state, bool accepted, uint8_t yes, uint8_t no,
                                    uint8_t option)
{
    switch (state) {
    case State::No:
        if (!accepted)
            return TelnetCodec::negotiation(no, option);
        state = State::Yes;
        return TelnetCodec::negotiation(yes, option);
    case State::WantYes:
        state = State::Yes;
        return QByteArray();
    case State::Yes:
        break;
    }
    return QByteArray();
}

// The peer wants the option off or refuses it.
QByteArray TelnetOptions::receiveOff(State &state, uint8_t no, uint8_t option)
{
    const State was = state;
    state = State::No;
    if (was == State::Yes)
        return TelnetCodec::negotiation(no, option);
    return QByteArray();
}

QByteArray TelnetOptions::answer(uint8_t verb, uint8_t option)
{
    switch (verb) {
    case TelnetCodec::WILL:
        return receiveOn(remote[option], remoteAccepted[option], TelnetCodec::DO, TelnetCodec::DONT,
                         option);
    case TelnetCodec::WONT:
        return receiveOff(remote[option], TelnetCodec::DONT, option);
    case TelnetCodec::DO:
        return receiveOn(local[option], localAccepted[option], TelnetCodec::WILL, TelnetCodec::WONT,
                         option);
    case TelnetCodec::DONT:
        return receiveOff(local[option], TelnetCodec::WONT, option);
    default:
        return QByteArray();
    }
}
