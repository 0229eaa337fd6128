#pragma once
// DNS message layouts (RFC 1035): the query a TDnsQuery sends and the decoding
// of a response into the component's result arrays, plus the LOC record
// (RFC 1876) routines. No sockets here, so the decoder can be fuzzed alone.
#include <netinet/in.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/rtl/exceptions.h"

namespace mail {

RTL_EXCEPTION_CLASS(EDnsQueryException, rtl::Exception);

constexpr int DnsQueryTypeA = 1;
constexpr int DnsQueryTypePTR = 12;
constexpr int DnsQueryTypeMX = 15;
constexpr int DnsQueryTypeAAAA = 28;
constexpr int DnsQueryTypeLOC = 29;
constexpr int DnsClassIN = 1;

constexpr int MAX_ANCOUNT = 50;     // answers kept of one response
constexpr int MAX_ADDRESSES = 50;   // A answers
constexpr int MAX_MX_RECORDS = 50;  // MX answers
constexpr int MAX_PTR_RECORDS = 10; // PTR answers
constexpr int MAX_ADDRESSES6 = 50;  // AAAA answers
constexpr int DnsQueryBufSize = 514;
constexpr int DnsUdpResponseSize = 512;

// The raw RDATA of a LOC answer; the 32-bit fields stay in network order.
struct TLOCInfo {
    uint8_t Version;
    uint8_t Size;
    uint8_t HorizPre;
    uint8_t VertPre;
    uint32_t Latitude;
    uint32_t Longitude;
    uint32_t Altitude;
};
static_assert(sizeof(TLOCInfo) == 16);

// A LOC record decoded. SizeExp is ten to the power of the SIZE byte's low
// nibble and SizeBase its high nibble, so the size is SizeBase * SizeExp cm.
struct TLogGeo {
    int Version = 0;
    int64_t SizeExp = 0;
    int64_t SizeBase = 0;
    int HorizPre = 0;
    int VertPre = 0;
    int LatDeg = 0, LatMin = 0, LatSec = 0, LatMSec = 0;
    char LatHemis = 'N';
    int LongDeg = 0, LongMin = 0, LongSec = 0, LongMSec = 0;
    char LongHemis = 'E';
    int64_t Altitude = 0;  // metres
};

// Everything a response yields, as the component keeps it.
struct TDnsResponse {
    int ID = 0;
    int ResponseCode = 0;
    int OpCode = 0;
    bool Authoritative = false;
    bool Truncated = false;
    bool RecursionAvailable = false;
    int QDCount = 0, ANCount = 0, NSCount = 0, ARCount = 0;

    std::string QuestionName;
    int QuestionType = 0;
    int QuestionClass = 0;

    int AnswerCount = 0;
    std::array<std::string, MAX_ANCOUNT> AnswerName{};
    std::array<int, MAX_ANCOUNT> AnswerType{};
    std::array<int, MAX_ANCOUNT> AnswerClass{};
    std::array<uint32_t, MAX_ANCOUNT> AnswerTTL{};
    std::array<int, MAX_ANCOUNT> AnswerTag{};

    int MXRecordCount = 0;
    std::array<int, MAX_MX_RECORDS> MXPreference{};
    std::array<std::string, MAX_MX_RECORDS> MXExchange{};

    int AddressCount = 0;
    std::array<in_addr, MAX_ADDRESSES> Address{};

    int Address6Count = 0;
    std::array<in6_addr, MAX_ADDRESSES6> Address6{};

    int HostnameCount = 0;
    std::array<std::string, MAX_PTR_RECORDS> Hostname{};

    TLOCInfo LocInfo{};
};

enum class TDnsDecodeResult {
    NotAResponse,  // too short, a query, or a question that cannot be read: ignored
    BadAnswers,    // header and question read, an answer runs outside the message
    Ok
};

// Writes the 12-byte header; all fields go out in network order.
void DnsBuildRequestHeader(uint8_t* Dst, uint16_t ID, int OPCode, bool Recursion, uint16_t QDCount,
                           uint16_t ANCount, uint16_t NSCount, uint16_t ARCount);
// Writes the question (QNAME, QTYPE, QCLASS); returns its length. A name that
// cannot be written as labels (an empty label, one over 63 bytes, over 255 in
// all) raises EDnsQueryException.
int DnsBuildQuestionSection(uint8_t* Dst, const std::string& QName, uint16_t QType, uint16_t QClass);

// Reads the possibly compressed name at Pos of the message; Pos moves past the
// name's bytes in place. False when a label, a pointer or the name's length
// leaves the message (compression loops end this way too).
bool DnsExtractName(const uint8_t* Msg, size_t Len, size_t& Pos, std::string& Name);

// Decodes a whole response into R (answer results reset first).
TDnsDecodeResult DnsDecodeResponse(const uint8_t* Msg, size_t Len, TDnsResponse& R);

std::string ReverseIP(const std::string& IP);
std::string LongLatToDMS(uint32_t Value, const std::string& Hemis);
TLogGeo Loc2Geo(const TLOCInfo& LOC);

}  // namespace mail
