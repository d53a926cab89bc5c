// Network port names: what opens a network serial port and what is refused.
#include "netportaddress.h"

#include <QtTest>

class TestNetPortAddress : public QObject
{
    Q_OBJECT

private slots:
    void validNames_data();
    void validNames();
    void invalidNames_data();
    void invalidNames();
    void networkNamesAreTold();
};

void TestNetPortAddress::validNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("rfc2217");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");

    QTest::newRow("rfc2217 ipv4") << "rfc2217://127.0.0.1:7000" << true << "127.0.0.1" << 7000;
    QTest::newRow("rfc2217 name") << "rfc2217://serial-server.lan:2001" << true
                                  << "serial-server.lan" << 2001;
    QTest::newRow("socket") << "socket://localhost:1" << false << "localhost" << 1;
    QTest::newRow("highest port") << "socket://10.0.0.5:65535" << false << "10.0.0.5" << 65535;
    QTest::newRow("ipv6") << "rfc2217://[::1]:4001" << true << "::1" << 4001;
    QTest::newRow("ipv6 with scope")
        << "rfc2217://[fe80::1%eth0]:2001" << true << "fe80::1%eth0" << 2001;
    QTest::newRow("scheme in capitals") << "RFC2217://host:4001" << true << "host" << 4001;
    QTest::newRow("leading zeros") << "socket://host:00080" << false << "host" << 80;
}

void TestNetPortAddress::validNames()
{
    QFETCH(QString, name);
    QFETCH(bool, rfc2217);
    QFETCH(QString, host);
    QFETCH(int, port);
    NetPortAddress address;
    QVERIFY(NetPortAddress::parse(name, address));
    QCOMPARE(address.kind == NetPortAddress::Kind::Rfc2217, rfc2217);
    QCOMPARE(address.host, host);
    QCOMPARE(int(address.port), port);
}

void TestNetPortAddress::invalidNames_data()
{
    QTest::addColumn<QString>("name");

    QTest::newRow("no port") << "rfc2217://127.0.0.1";
    QTest::newRow("empty port") << "rfc2217://127.0.0.1:";
    QTest::newRow("port 0") << "rfc2217://127.0.0.1:0";
    QTest::newRow("port 65536") << "rfc2217://127.0.0.1:65536";
    QTest::newRow("port that overflows") << "socket://host:4294967297";
    QTest::newRow("negative port") << "socket://host:-1";
    QTest::newRow("port with sign") << "socket://host:+80";
    QTest::newRow("port with space") << "socket://host: 80";
    QTest::newRow("empty host") << "rfc2217://:7000";
    QTest::newRow("nothing") << "rfc2217://";
    QTest::newRow("path after port") << "rfc2217://host:7000/";
    QTest::newRow("options after port") << "rfc2217://host:7000?ign_set_control";
    QTest::newRow("bare ipv6") << "rfc2217://::1:7000";
    QTest::newRow("ipv6 without port") << "rfc2217://[::1]";
    QTest::newRow("bracketed ipv4") << "rfc2217://[127.0.0.1]:7000";
    QTest::newRow("unclosed bracket") << "rfc2217://[::1:7000";
    QTest::newRow("user part") << "socket://user@host:7000";
    QTest::newRow("space in host") << "socket://my host:7000";
    QTest::newRow("other scheme") << "telnet://host:23";
    QTest::newRow("platform port") << "COM3";
}

void TestNetPortAddress::invalidNames()
{
    QFETCH(QString, name);
    NetPortAddress address;
    address.port = 42;
    QVERIFY(!NetPortAddress::parse(name, address));
    QCOMPARE(int(address.port), 42);
}

void TestNetPortAddress::networkNamesAreTold()
{
    QVERIFY(NetPortAddress::isNetworkName(QStringLiteral("rfc2217://x")));
    QVERIFY(NetPortAddress::isNetworkName(QStringLiteral("Socket://x")));
    QVERIFY(!NetPortAddress::isNetworkName(QStringLiteral("/dev/ttyUSB0")));
    QVERIFY(!NetPortAddress::isNetworkName(QStringLiteral("COM3")));
    QVERIFY(!NetPortAddress::isNetworkName(QStringLiteral("rfc2217:/x")));
}

QTEST_GUILESS_MAIN(TestNetPortAddress)
#include "tst_netportaddress.moc"
