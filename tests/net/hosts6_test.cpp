// Host names that resolve to IPv6 addresses: run by with_hosts.sh with
// hosts6.txt as /etc/hosts.
#include <gtest/gtest.h>

#include "net/twsocket.h"
#include "platform/win/pump.h"
#include "tests/support/loopback.h"

using namespace net;

namespace {

const char* const kV6Only = "v6only.pelliwox.test";

void lookUp(TWSocket& s, const std::string& name) {
    int done = -1;
    s.OnDnsLookupDone = [&](rtl::TObject*, uint16_t e) { done = e; };
    s.DnsLookup(name);
    ASSERT_TRUE(win::PumpUntil([&] { return done >= 0; }, 10000));
    ASSERT_EQ(done, 0) << name << " does not resolve: run the test through with_hosts.sh (ctest)";
}

}  // namespace

TEST(HostsIpv6, LookUpGivesIPv6AddressesAfterIPv4Ones) {
    TWSocket s;
    lookUp(s, kV6Only);
    EXPECT_EQ(s.DnsResult(), "::1");
    lookUp(s, "both.pelliwox.test");
    EXPECT_EQ(s.DnsResult(), "127.0.0.1");
    ASSERT_EQ(s.DnsResultList().Count(), 2);
    EXPECT_EQ(s.DnsResultList()[1], "::1");
}

TEST(HostsIpv6, ConnectToANameWithOnlyAnIPv6Address) {
    testsupport::LoopbackPeer peer([](int fd) { testsupport::sendAll(fd, "over ipv6"); }, AF_INET6);
    TWSocket s;
    std::string got, peerAddr;
    bool closed = false;
    s.OnSessionConnected = [&](rtl::TObject*, uint16_t) { peerAddr = s.PeerAddr(); };
    s.OnDataAvailable = [&](rtl::TObject*, uint16_t) { got += s.ReceiveStr(); };
    s.OnSessionClosed = [&](rtl::TObject*, uint16_t) { closed = true; };
    s.SetAddr(kV6Only);
    s.SetPort(peer.portText());
    s.Connect();
    ASSERT_TRUE(win::PumpUntil([&] { return closed; }, 10000));
    EXPECT_EQ(got, "over ipv6");
    EXPECT_EQ(peerAddr, "::1");
    // The IPv4 resolver still wants an IPv4 address.
    EXPECT_THROW(WSocketResolveHost(kV6Only), ESocketException);
}
