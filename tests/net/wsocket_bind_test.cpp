#include <gtest/gtest.h>

#include "net/twsocket.h"
#include "platform/rtl/sysutils.h"

using namespace net;

TEST(WinsockBinding, DottedAddressRules) {
    struct Case {
        const char* text;
        bool dotted;
    };
    const Case cases[] = {
        {"1.2.3.4", true},    {"  1.2.3.4  ", true}, {"0.0.0.0", true},     {"255.255.255.255", true},
        {".1.2.3", false},    {"1.2.3", false},      {"1.2.3.4.5", false},  {"1.2.3.256", false},
        {"1.2.3.", false},    {"1.2..3", false},     {"1.2.3.4x", false},   {"1.2.3.4 x", false},
        {"300.1.1.1", false}, {"localhost", false},  {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(WSocketIsDottedIP(c.text), c.dotted) << "'" << c.text << "'";
}

TEST(WinsockBinding, ResolveHost) {
    EXPECT_EQ(WSocketResolveHost("255.255.255.255"), 0xFFFFFFFFu);
    EXPECT_EQ(WSocketResolveHost(" 127.0.0.1 "), htonl(INADDR_LOOPBACK));
    EXPECT_EQ(WSocketResolveHost("localhost"), htonl(INADDR_LOOPBACK));
    struct Case {
        std::string host, message;
    };
    const Case failing[] = {
        {"", "Winsock Resolve Host: '' Invalid Hostname."},
        {std::string(257, 'a'), "Winsock Resolve Host: '" + std::string(257, 'a') + "' Invalid Hostname."},
        {"no-such-host.invalid", "Winsock Resolve Host: Cannot convert host address 'no-such-host.invalid' - Host not found (#11001)"},
    };
    for (const auto& c : failing) {
        try {
            WSocketResolveHost(c.host);
            ADD_FAILURE() << "no exception for " << c.host;
        } catch (const ESocketException& e) {
            EXPECT_EQ(e.Message, c.message);
            EXPECT_STREQ(e.ClassName(), "ESocketException");
        }
    }
}

TEST(WinsockBinding, ResolvePortAndProto) {
    EXPECT_EQ(WSocketResolvePort("110", "tcp"), 110);
    EXPECT_EQ(WSocketResolvePort("pop3", "tcp"), 110);  // through the service table
    EXPECT_EQ(WSocketResolvePort("smtp", " "), 25);      // a blank protocol asks for any
    EXPECT_THROW(WSocketResolvePort("70000", "tcp"), rtl::ERangeError);
    const struct {
        std::string port, proto, message;
    } failing[] = {
        {"", "tcp", "Winsock Resolve Port: Invalid Port."},
        {std::string(32, 'p'), "tcp", "Winsock Resolve Port: Invalid Port."},
        {"pop3", "", "Winsock Resolve Port: Invalid Proto."},
        {"nosuchservice", "tcp", "Winsock Resolve Port: Cannot convert port 'nosuchservice' - No Data (#11004)"},
    };
    for (const auto& c : failing) {
        try {
            WSocketResolvePort(c.port, c.proto);
            ADD_FAILURE() << "no exception for " << c.port;
        } catch (const ESocketException& e) {
            EXPECT_EQ(e.Message, c.message);
        }
    }

    const struct {
        const char* proto;
        int number;
    } protos[] = {{"tcp", 6}, {"TCP", 6}, {" udp ", 17}, {"raw", 255}, {"17", 17}, {"icmp", 1}};
    for (const auto& c : protos) EXPECT_EQ(WSocketResolveProto(c.proto), c.number) << c.proto;
    EXPECT_THROW(WSocketResolveProto(""), ESocketException);
    EXPECT_THROW(WSocketResolveProto("nosuchproto"), ESocketException);
}

TEST(WinsockBinding, ErrorTexts) {
    EXPECT_EQ(GetWinsockErr(10061), "Connection refused (#10061)");
    EXPECT_EQ(GetWinsockErr(0), "No Error (#0)");
    EXPECT_EQ(WSocketErrorDesc(11004), "No Data");
    EXPECT_EQ(WSocketErrorDesc(12345), "Not a WinSock error");
}

TEST(WinsockBinding, MissingProcedureIsNamed) {
    try {
        WSocketGetProc("nosuchproc");
        FAIL() << "no exception";
    } catch (const ESocketException& e) {
        EXPECT_EQ(rtl::Copy(e.Message, 1, 45), "Procedure nosuchproc not found in wsock32.dll");
    }
}

TEST(WinsockBinding, LastSocketReleasesTheLibraryAndANewOneLoadsIt) {
    ASSERT_EQ(SafeWSocketGCount(), 0) << "a socket of an earlier test is still alive";
    {
        TWSocket s;
        EXPECT_EQ(SafeWSocketGCount(), 1);
        s.SetAddr("127.0.0.1");
        WSocketResolveHost("127.0.0.1");
        EXPECT_TRUE(WSocketIsLoaded());
    }
    EXPECT_EQ(SafeWSocketGCount(), 0);
    EXPECT_FALSE(WSocketIsLoaded());
    TWSocket again;
    WSocketResolveHost("127.0.0.1");
    EXPECT_TRUE(WSocketIsLoaded());

    // A forced load holds the library past its users.
    WSocketForceLoadWinsock();
    EXPECT_EQ(SafeWSocketGCount(), 2);
    WSocketCancelForceLoadWinsock();
    EXPECT_EQ(SafeWSocketGCount(), 1);
}

TEST(WinsockBinding, VersionCannotChangeWhileLoaded) {
    TWSocket s;
    WSocketResolveHost("127.0.0.1");
    try {
        s.SetReqVerHigh(2);
        FAIL() << "no exception";
    } catch (const ESocketException& e) {
        EXPECT_EQ(e.Message, "Invalid argument (#10022 in SetReqVerHigh: WinSock version can't be changed now)");
    }
}
