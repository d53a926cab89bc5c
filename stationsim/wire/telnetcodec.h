#ifndef STATIONSIM_TELNETCODEC_H
#define STATIONSIM_TELNETCODEC_H

#include <QByteArray>
#include <QList>

namespace stationsim {

// The telnet side of one RFC 2217 connection: splits the client's stream into
// data bytes and COM-PORT-OPTION requests (in their order on the wire),
// answers option negotiation (BINARY, SUPPRESS-GO-AHEAD and COM-PORT-OPTION
// are accepted, everything else refused) and frames what the server sends.
class TelnetCodec
{
public:
    static constexpr quint8 IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250,
                            SE = 240;
    static constexpr quint8 optBinary = 0, optEcho = 1, optSga = 3, optComPort = 44;

    struct Item
    {
        bool isRequest = false;
        QByteArray data;    // data bytes (isRequest false)
        quint8 command = 0; // COM-PORT-OPTION command (isRequest true)
        QByteArray value;   // its value bytes, unescaped
    };

    // The server's offers, sent once a client connects.
    QByteArray greeting();
    // Decodes bytes from the client; negotiation answers collect in replies().
    QList<Item> feed(const QByteArray &bytes);
    QByteArray takeReplies();

    // Data for the client with every 0xFF doubled.
    static QByteArray escape(const QByteArray &data);
    // IAC SB COM-PORT-OPTION command value IAC SE, value escaped.
    static QByteArray comPortMessage(quint8 command, const QByteArray &value);

private:
    enum class State
    {
        Data,
        Iac,
        Verb,
        Sb,
        SbIac
    };
    struct Option
    {
        bool enabled = false;
        bool pending = false; // we asked and wait for the answer
    };
    static bool supported(quint8 option)
    {
        return option == optBinary || option == optSga || option == optComPort;
    }
    void negotiate(quint8 verb, quint8 option);
    // One side of an option: `want` is what the peer asks for; `agree` and
    // `refuse` the verbs that answer it.
    void settle(Option &o, bool want, quint8 option, quint8 agree, quint8 refuse);
    void send(quint8 verb, quint8 option);
    void finishSubnegotiation(QList<Item> *items);

    State state = State::Data;
    quint8 verb = 0;
    QByteArray sb;
    QByteArray replies;
    Option ours[256];   // options we perform (WILL/WONT)
    Option theirs[256]; // options the client performs (DO/DONT)
};

} // namespace stationsim

#endif // STATIONSIM_TELNETCODEC_H
