#ifndef TELNETCODEC_H
#define TELNETCODEC_H

#include <QByteArray>
#include <QList>

#include <cstdint>

// Telnet framing as serial device servers speak it: data bytes with 0xFF
// doubled, option negotiations (IAC WILL/WONT/DO/DONT option) and
// subnegotiations (IAC SB option ... IAC SE). Received bytes may be split
// anywhere; the decoder keeps its state between calls. Malformed sequences
// are dropped.
class TelnetCodec
{
public:
    static constexpr uint8_t IAC = 255;
    static constexpr uint8_t DONT = 254;
    static constexpr uint8_t DO = 253;
    static constexpr uint8_t WONT = 252;
    static constexpr uint8_t WILL = 251;
    static constexpr uint8_t SB = 250;
    static constexpr uint8_t SE = 240;

    static constexpr uint8_t optionBinary = 0;
    static constexpr uint8_t optionEcho = 1;
    static constexpr uint8_t optionSuppressGoAhead = 3;
    static constexpr uint8_t optionComPort = 44;

    // Longest subnegotiation kept (option byte excluded); longer ones are
    // dropped whole. The serial server's answers have at most 5 bytes.
    static constexpr int maxSubnegotiation = 64;

    // Something the peer said that is not data.
    struct Event
    {
        enum Kind
        {
            Negotiation,
            Subnegotiation
        };
        Kind kind = Negotiation;
        uint8_t verb = 0;   // WILL, WONT, DO or DONT (Negotiation only)
        uint8_t option = 0; // the option named
        QByteArray payload; // Subnegotiation only, un-doubled, without the option byte
    };

    // Data ready to send: every 0xFF doubled.
    static QByteArray escape(const QByteArray &data);
    // IAC verb option.
    static QByteArray negotiation(uint8_t verb, uint8_t option);
    // IAC SB option payload IAC SE, with 0xFF in the payload doubled.
    static QByteArray subnegotiation(uint8_t option, const QByteArray &payload);

    // Splits received bytes: data is appended to `data`, everything else to
    // `events`, in the order received.
    void decode(const QByteArray &received, QByteArray &data, QList<Event> &events);

private:
    enum class State
    {
        Data,
        Command,
        Option,
        Sub,
        SubIac
    };

    void afterIac(uint8_t byte, QByteArray &data);

    State state = State::Data;
    uint8_t verb = 0;
    QByteArray sub;
    bool subTooLong = false;
};

#endif // TELNETCODEC_H
