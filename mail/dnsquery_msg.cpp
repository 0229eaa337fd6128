#include "mail/dnsquery_msg.h"

#include <arpa/inet.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace mail {

namespace {

constexpr size_t kHeaderSize = 12;
constexpr size_t kMaxNameWire = 255;  // bytes of a name on the wire, RFC 1035 2.3.4
constexpr int kMaxPointerHops = 127;  // a name has no more labels than this

uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
uint32_t get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}
void put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

// An address answer of exactly the address's size, kept while the list has
// room; false when its length is wrong.
template <typename T, size_t N>
bool keepAddress(const uint8_t* Data, size_t Length, std::array<T, N>& List, int& Count, int& Tag) {
    if (Length != sizeof(T)) return false;
    if (Count < static_cast<int>(N)) {
        std::memcpy(&List[static_cast<size_t>(Count)], Data, sizeof(T));
        Tag = Count++;
    }
    return true;
}

std::vector<std::string> splitLabels(const std::string& name) {
    std::vector<std::string> labels;
    size_t start = 0;
    while (start <= name.size()) {
        const size_t dot = name.find('.', start);
        const size_t end = dot == std::string::npos ? name.size() : dot;
        labels.push_back(name.substr(start, end - start));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    // "example.org." names the same as "example.org"; the root is "" or ".".
    if (!labels.empty() && labels.back().empty()) labels.pop_back();
    return labels;
}

}  // namespace

void DnsBuildRequestHeader(uint8_t* Dst, uint16_t ID, int OPCode, bool Recursion, uint16_t QDCount,
                           uint16_t ANCount, uint16_t NSCount, uint16_t ARCount) {
    put16(Dst, ID);
    put16(Dst + 2, static_cast<uint16_t>((OPCode & 0xF) * 2048 + (Recursion ? 256 : 0)));
    put16(Dst + 4, QDCount);
    put16(Dst + 6, ANCount);
    put16(Dst + 8, NSCount);
    put16(Dst + 10, ARCount);
}

int DnsBuildQuestionSection(uint8_t* Dst, const std::string& QName, uint16_t QType, uint16_t QClass) {
    const std::vector<std::string> labels = splitLabels(QName);
    size_t wire = 1;
    for (const auto& l : labels) {
        if (l.empty() || l.size() > 63)
            throw EDnsQueryException("Invalid name for a DNS query: \"" + QName + "\"");
        wire += 1 + l.size();
    }
    if (wire > kMaxNameWire) throw EDnsQueryException("Name too long for a DNS query: \"" + QName + "\"");
    uint8_t* p = Dst;
    for (const auto& l : labels) {
        *p++ = static_cast<uint8_t>(l.size());
        std::memcpy(p, l.data(), l.size());
        p += l.size();
    }
    *p++ = 0;
    put16(p, QType);
    put16(p + 2, QClass);
    return static_cast<int>(p + 4 - Dst);
}

bool DnsExtractName(const uint8_t* Msg, size_t Len, size_t& Pos, std::string& Name) {
    Name.clear();
    size_t p = Pos;
    bool jumped = false;
    int hops = 0;
    size_t wire = 1;
    for (;;) {
        if (p >= Len) return false;
        const uint8_t n = Msg[p];
        if (n == 0) {
            if (!jumped) Pos = p + 1;
            return true;
        }
        if ((n & 0xC0) == 0xC0) {
            if (p + 1 >= Len) return false;
            const size_t target = static_cast<size_t>(n & 0x3F) << 8 | Msg[p + 1];
            if (target >= Len || ++hops > kMaxPointerHops) return false;
            if (!jumped) Pos = p + 2;
            jumped = true;
            p = target;
            continue;
        }
        if (n & 0xC0) return false;  // 01 and 10 label types are not in use
        if (p + 1 + n > Len) return false;
        wire += 1 + n;
        if (wire > kMaxNameWire) return false;
        if (!Name.empty()) Name += '.';
        Name.append(reinterpret_cast<const char*>(Msg + p + 1), n);
        p += 1 + n;
    }
}

TDnsDecodeResult DnsDecodeResponse(const uint8_t* Msg, size_t Len, TDnsResponse& R) {
    R = TDnsResponse{};
    if (Len < kHeaderSize) return TDnsDecodeResult::NotAResponse;
    const uint16_t flags = get16(Msg + 2);
    if (!(flags & 0x8000)) return TDnsDecodeResult::NotAResponse;
    R.ID = get16(Msg);
    R.ResponseCode = flags & 0xF;
    R.OpCode = (flags >> 11) & 0xF;
    R.Authoritative = flags & 0x0400;
    R.Truncated = flags & 0x0200;
    R.RecursionAvailable = flags & 0x0080;
    R.QDCount = get16(Msg + 4);
    R.ANCount = get16(Msg + 6);
    R.NSCount = get16(Msg + 8);
    R.ARCount = get16(Msg + 10);

    size_t pos = kHeaderSize;
    for (int q = 0; q < R.QDCount; ++q) {
        std::string name;
        if (!DnsExtractName(Msg, Len, pos, name) || pos + 4 > Len) return TDnsDecodeResult::NotAResponse;
        if (q == 0) {
            R.QuestionName = name;
            R.QuestionType = get16(Msg + pos);
            R.QuestionClass = get16(Msg + pos + 2);
        }
        pos += 4;
    }

    for (int a = 0; a < R.ANCount && a < MAX_ANCOUNT; ++a) {
        std::string name;
        if (!DnsExtractName(Msg, Len, pos, name) || pos + 10 > Len) return TDnsDecodeResult::BadAnswers;
        const int type = get16(Msg + pos);
        const int cls = get16(Msg + pos + 2);
        const uint32_t ttl = get32(Msg + pos + 4);
        const size_t rdlength = get16(Msg + pos + 8);
        const size_t rdata = pos + 10;
        if (rdata + rdlength > Len) return TDnsDecodeResult::BadAnswers;
        const size_t rdend = rdata + rdlength;
        int tag = -1;
        switch (type) {
        case DnsQueryTypeA:
            if (!keepAddress(Msg + rdata, rdlength, R.Address, R.AddressCount, tag)) return TDnsDecodeResult::BadAnswers;
            break;
        case DnsQueryTypeAAAA:
            if (!keepAddress(Msg + rdata, rdlength, R.Address6, R.Address6Count, tag))
                return TDnsDecodeResult::BadAnswers;
            break;
        case DnsQueryTypePTR:
            if (R.HostnameCount < MAX_PTR_RECORDS) {
                size_t p = rdata;
                std::string host;
                if (!DnsExtractName(Msg, Len, p, host) || p > rdend) return TDnsDecodeResult::BadAnswers;
                R.Hostname[R.HostnameCount] = host;
                tag = R.HostnameCount++;
            }
            break;
        case DnsQueryTypeMX:
            if (R.MXRecordCount < MAX_MX_RECORDS) {
                if (rdlength < 3) return TDnsDecodeResult::BadAnswers;
                size_t p = rdata + 2;
                std::string exchange;
                if (!DnsExtractName(Msg, Len, p, exchange) || p > rdend) return TDnsDecodeResult::BadAnswers;
                R.MXPreference[R.MXRecordCount] = get16(Msg + rdata);
                R.MXExchange[R.MXRecordCount] = exchange;
                tag = R.MXRecordCount++;
            }
            break;
        case DnsQueryTypeLOC:
            if (rdlength == sizeof(TLOCInfo)) std::memcpy(&R.LocInfo, Msg + rdata, sizeof(TLOCInfo));
            else R.LocInfo = TLOCInfo{};
            break;
        default:
            break;
        }
        R.AnswerName[a] = name;
        R.AnswerType[a] = type;
        R.AnswerClass[a] = cls;
        R.AnswerTTL[a] = ttl;
        R.AnswerTag[a] = tag;
        R.AnswerCount = a + 1;
        pos = rdend;
    }
    return TDnsDecodeResult::Ok;
}

std::string ReverseIP(const std::string& IP) {
    std::string out;
    size_t end = IP.size();
    for (;;) {
        const size_t dot = end == 0 ? std::string::npos : IP.rfind('.', end - 1);
        const size_t start = dot == std::string::npos ? 0 : dot + 1;
        if (!out.empty()) out += '.';
        out += IP.substr(start, end - start);
        if (dot == std::string::npos) return out;
        end = dot;
    }
}

namespace {

// Thousandths of an arc second from the equator or the prime meridian,
// positive to the north or east.
struct TDms {
    int Deg, Min, Sec, MSec;
    char Hemis;
};

TDms toDms(uint32_t Value, const std::string& Hemis) {
    const int64_t signedValue = static_cast<int64_t>(Value) - (int64_t{1} << 31);
    int64_t rest = std::llabs(signedValue);
    TDms d{};
    d.Deg = static_cast<int>(rest / 3600000);
    rest %= 3600000;
    d.Min = static_cast<int>(rest / 60000);
    rest %= 60000;
    d.Sec = static_cast<int>(rest / 1000);
    d.MSec = static_cast<int>(rest % 1000);
    const size_t which = Value >= (uint32_t{1} << 31) ? 0 : 1;
    d.Hemis = which < Hemis.size() ? Hemis[which] : '?';
    return d;
}

}  // namespace

std::string LongLatToDMS(uint32_t Value, const std::string& Hemis) {
    const TDms d = toDms(Value, Hemis);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d %02d %02d.%03d %c", d.Deg, d.Min, d.Sec, d.MSec, d.Hemis);
    return buf;
}

TLogGeo Loc2Geo(const TLOCInfo& LOC) {
    TLogGeo g;
    g.Version = LOC.Version;
    g.SizeExp = 1;
    for (int i = 0; i < (LOC.Size & 0xF); ++i) g.SizeExp *= 10;
    g.SizeBase = LOC.Size >> 4;
    g.HorizPre = LOC.HorizPre;
    g.VertPre = LOC.VertPre;
    const TDms lat = toDms(ntohl(LOC.Latitude), "NS");
    g.LatDeg = lat.Deg;
    g.LatMin = lat.Min;
    g.LatSec = lat.Sec;
    g.LatMSec = lat.MSec;
    g.LatHemis = lat.Hemis;
    const TDms lon = toDms(ntohl(LOC.Longitude), "EW");
    g.LongDeg = lon.Deg;
    g.LongMin = lon.Min;
    g.LongSec = lon.Sec;
    g.LongMSec = lon.MSec;
    g.LongHemis = lon.Hemis;
    g.Altitude = std::llround((static_cast<double>(ntohl(LOC.Altitude)) - 10000000.0) / 100.0);
    return g;
}

}  // namespace mail
