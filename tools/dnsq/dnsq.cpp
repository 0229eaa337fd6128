// dnsq: asks a DNS server one question with TDnsQuery and prints the
// response code and the truncation flag, then the decoded answers, one per
// line, in the layout of a zone file:
//   ;; status: NXDOMAIN, truncated: no
//   NAME. TTL IN TYPE DATA
// Usage: dnsq [--tcp] [--port N] [--timeout MS] SERVER TYPE NAME
// SERVER is an IPv4 or IPv6 address. TYPE is A, AAAA, MX, PTR (NAME is then
// an IPv4 address), LOC or a number.
// Exit status: 0 answered, 1 usage, 2 the request ended with an error, 3 the
// server answered with an error (NXDOMAIN, SERVFAIL, REFUSED ...).
#include <arpa/inet.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstring>
#include <string>

#include "mail/dnsquery.h"
#include "platform/rtl/sysutils.h"
#include "platform/win/pump.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: dnsq [--tcp] [--port N] [--timeout MS] SERVER TYPE NAME\n");
    return 1;
}

std::string typeName(int t) {
    switch (t) {
    case mail::DnsQueryTypeA: return "A";
    case mail::DnsQueryTypeAAAA: return "AAAA";
    case mail::DnsQueryTypePTR: return "PTR";
    case mail::DnsQueryTypeMX: return "MX";
    case mail::DnsQueryTypeLOC: return "LOC";
    default: return "TYPE" + std::to_string(t);
    }
}

std::string fqdn(const std::string& name) { return name + "."; }

std::string answerData(const mail::TDnsQuery& q, int i) {
    const int tag = q.GetAnswerTag(i);
    switch (q.GetAnswerType(i)) {
    case mail::DnsQueryTypeA: {
        char text[INET_ADDRSTRLEN];
        const in_addr a = q.GetAddress(tag);
        return inet_ntop(AF_INET, &a, text, sizeof text);
    }
    case mail::DnsQueryTypeAAAA: {
        char text[INET6_ADDRSTRLEN];
        const in6_addr a = q.GetAddress6(tag);
        return inet_ntop(AF_INET6, &a, text, sizeof text);
    }
    case mail::DnsQueryTypePTR: return fqdn(q.GetHostname(tag));
    case mail::DnsQueryTypeMX: return std::to_string(q.GetMXPreference(tag)) + " " + fqdn(q.GetMXExchange(tag));
    case mail::DnsQueryTypeLOC: {
        const mail::TLOCInfo& loc = q.LocInfo();
        const mail::TLogGeo g = mail::TDnsQuery::Loc2Geo(loc);
        return mail::TDnsQuery::LongLatToDMS(ntohl(loc.Latitude), "NS") + " " +
               mail::TDnsQuery::LongLatToDMS(ntohl(loc.Longitude), "EW") + " " + std::to_string(g.Altitude) + "m";
    }
    default: return "";
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    mail::TDnsQuery q;
    int i = 1;
    for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
        const std::string opt = argv[i];
        if (opt == "--tcp") q.SetProto("tcp");
        else if (opt == "--port" && i + 1 < argc) q.Port = argv[++i];
        else if (opt == "--timeout" && i + 1 < argc) q.Timeout = static_cast<unsigned>(std::atoi(argv[++i]));
        else return usage();
    }
    if (argc - i != 3) return usage();
    q.Addr = argv[i];
    const std::string type = rtl::UpperCase(argv[i + 1]);
    const std::string name = argv[i + 2];

    bool done = false;
    uint16_t error = 0;
    q.OnRequestDone = [&](rtl::TObject*, uint16_t e) {
        error = e;
        done = true;
    };
    try {
        if (type == "A") q.ALookup(name);
        else if (type == "MX") q.MXLookup(name);
        else if (type == "PTR") q.PTRLookup(name);
        else if (type == "LOC") q.QueryAny(name, mail::DnsQueryTypeLOC);
        else if (type == "AAAA") q.QueryAny(name, mail::DnsQueryTypeAAAA);
        else if (rtl::StrToIntDef(type, -1) > 0) q.QueryAny(name, rtl::StrToIntDef(type, 0));
        else return usage();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dnsq: %s\n", e.what());
        return 2;
    }
    win::PumpUntil([&] { return done; }, -1);
    if (error) {
        std::fprintf(stderr, "dnsq: request failed with error %u\n", error);
        if (error != mail::DnsErrorMalformed) return 2;
    }
    std::printf(";; status: %s, truncated: %s, asked again over TCP: %s\n",
                mail::DnsResponseCodeName(q.ResponseCode()).c_str(), q.ResponseTruncated() ? "yes" : "no",
                q.RetriedOverTcp() ? "yes" : "no");
    for (int n = 0; n < q.AnswerCount(); ++n)
        std::printf("%s\t%u\tIN\t%s\t%s\n", fqdn(q.GetAnswerName(n)).c_str(), q.GetAnswerTTL(n),
                    typeName(q.GetAnswerType(n)).c_str(), answerData(q, n).c_str());
    if (error) return 2;
    if (q.ResponseCode() != mail::DnsNoError) {
        std::fprintf(stderr, "dnsq: the server answered %s\n", mail::DnsResponseCodeName(q.ResponseCode()).c_str());
        return 3;
    }
    return 0;
}
