#ifndef TELNETOPTIONS_H
#define TELNETOPTIONS_H

#include <QByteArray>

#include <array>
#include <cstdint>
#include <initializer_list>

// The client's side of telnet option negotiation. Each option is on or off
// separately for each direction: "local" options are the ones this side
// performs (WILL/WONT), "remote" ones the peer performs (DO/DONT). An offer
// is made once and answered at most once, and an answer that confirms the
// current state draws no reply, so two peers never negotiate in a loop.
class TelnetOptions
{
public:
    // `local`: options this side agrees to perform; `remote`: options it
    // agrees to let the peer perform.
    TelnetOptions(std::initializer_list<uint8_t> local, std::initializer_list<uint8_t> remote);

    // Offers WILL `option` / asks DO `option`; the bytes to send (empty when
    // already on or asked).
    QByteArray offerLocal(uint8_t option);
    QByteArray requestRemote(uint8_t option);

    // The reply to a received WILL, WONT, DO or DONT (often empty).
    QByteArray answer(uint8_t verb, uint8_t option);

    bool localOn(uint8_t option) const { return local[option] == State::Yes; }
    bool remoteOn(uint8_t option) const { return remote[option] == State::Yes; }
    // False while an offer for the option has not been answered.
    bool localSettled(uint8_t option) const { return local[option] != State::WantYes; }
    bool remoteSettled(uint8_t option) const { return remote[option] != State::WantYes; }
    // True while the option is on or still offered: a peer that never answers
    // is taken to agree.
    bool localUsable(uint8_t option) const { return local[option] != State::No; }

private:
    enum class State : uint8_t
    {
        No,
        Yes,
        WantYes
    };

    static QByteArray receiveOn(State &state, bool accepted, uint8_t yes, uint8_t no,
                                uint8_t option);
    static QByteArray receiveOff(State &state, uint8_t no, uint8_t option);

    std::array<State, 256> local{};
    std::array<State, 256> remote{};
    std::array<bool, 256> localAccepted{};
    std::array<bool, 256> remoteAccepted{};
};

#endif // TELNETOPTIONS_H
