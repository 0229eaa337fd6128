#pragma once
// TDnsQuery asks a DNS server directly, over UDP or TCP, IPv4 or IPv6, and
// keeps the decoded answer in indexed result arrays. Only the server asked
// is heard: its socket is connected to the server's address and port, the
// query's ID comes from the system's random source, and a response counts
// only with that ID and the question asked. A UDP answer that comes back
// truncated is asked again over TCP. A request ends with OnRequestDone: 0
// after a decoded response, a socket error code, 500 when the response's
// records run outside the message, or WSAETIMEDOUT (10060) when no matching
// response came within Timeout milliseconds.
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <string>

#include "mail/dnsquery_msg.h"
#include "platform/rtl/classes.h"
#include "platform/sock/winsock.h"
#include "platform/win/messages.h"

namespace mail {

using TDnsRequestDoneEvent = std::function<void(rtl::TObject* Sender, uint16_t Error)>;

constexpr uint16_t DnsErrorMalformed = 500;

// Response codes of the header.
enum TDnsResponseCode { DnsNoError = 0, DnsFormErr = 1, DnsServFail = 2, DnsNXDomain = 3, DnsNotImp = 4, DnsRefused = 5 };
// "NOERROR", "NXDOMAIN" ...; "RCODE" and the number for others.
std::string DnsResponseCodeName(int Code);

class TDnsQuery : public rtl::TComponent {
public:
    explicit TDnsQuery(rtl::TComponent* owner = nullptr);
    ~TDnsQuery() override;
    const char* ClassName() const override { return "TDnsQuery"; }

    int MXLookup(const std::string& Domain);
    int ALookup(const std::string& Host);
    int PTRLookup(const std::string& IP);
    int QueryAny(const std::string& Name, int QType);

    virtual void BuildRequestHeader(uint8_t* Dst, uint16_t ID, int OPCode, bool Recursion, uint16_t QDCount,
                                    uint16_t ANCount, uint16_t NSCount, uint16_t ARCount);
    virtual int BuildQuestionSection(uint8_t* Dst, const std::string& QName, uint16_t QType, uint16_t QClass);

    // Results of the last accepted response; out-of-range indexes give 0 or "".
    std::string GetAnswerName(int i) const;
    int GetAnswerType(int i) const;
    int GetAnswerClass(int i) const;
    uint32_t GetAnswerTTL(int i) const;
    int GetAnswerTag(int i) const;
    int GetMXPreference(int i) const;
    std::string GetMXExchange(int i) const;
    in_addr GetAddress(int i) const;
    in6_addr GetAddress6(int i) const;
    std::string GetHostname(int i) const;
    std::string GetResponseBuf() const { return FResponseBuf; }
    int ResponseLen() const { return FResponseLen; }

    int ResponseID() const { return FResult.ID; }
    int ResponseCode() const { return FResult.ResponseCode; }
    int ResponseOpCode() const { return FResult.OpCode; }
    bool ResponseAuthoritative() const { return FResult.Authoritative; }
    bool ResponseTruncated() const { return FResult.Truncated; }
    bool ResponseRecursionAvailable() const { return FResult.RecursionAvailable; }
    int ResponseQDCount() const { return FResult.QDCount; }
    int ResponseANCount() const { return FResult.ANCount; }
    int ResponseNSCount() const { return FResult.NSCount; }
    int ResponseARCount() const { return FResult.ARCount; }
    const std::string& QuestionName() const { return FResult.QuestionName; }
    int QuestionType() const { return FResult.QuestionType; }
    int QuestionClass() const { return FResult.QuestionClass; }
    int AnswerCount() const { return FResult.AnswerCount; }
    int MXRecordCount() const { return FResult.MXRecordCount; }
    int AddressCount() const { return FResult.AddressCount; }
    int Address6Count() const { return FResult.Address6Count; }
    int HostnameCount() const { return FResult.HostnameCount; }
    const TLOCInfo& LocInfo() const { return FResult.LocInfo; }
    // The UDP answer came back truncated and the question went again over TCP.
    bool RetriedOverTcp() const { return FRetriedOverTcp; }
    // The local port the last query went out from (0 before one did).
    uint16_t LocalPort() const { return FLocalPort; }

    static std::string ReverseIP(const std::string& IP) { return mail::ReverseIP(IP); }
    static std::string LongLatToDMS(uint32_t Value, const std::string& Hemis) {
        return mail::LongLatToDMS(Value, Hemis);
    }
    static TLogGeo Loc2Geo(const TLOCInfo& LOC) { return mail::Loc2Geo(LOC); }

    // Properties.
    std::string Port = "53";
    std::string Addr;  // an IPv4 or IPv6 address, or a name the system resolves
    const std::string& Proto() const { return FProto; }
    void SetProto(const std::string& v);
    bool MultiThreaded = false;  // kept for callers; the one loop serves every socket
    unsigned Timeout = 5000;     // ms to wait for a matching response, per protocol tried
    TDnsRequestDoneEvent OnRequestDone;

private:
    int SendQuery(const std::string& Name, int QType);
    void StartAttempt(bool OverTcp);
    void CloseSocket();
    void WndProc(win::TMessage& Msg);
    void SocketEvent(int Event, int Error);
    void SendOverTcp();
    void ReceiveUdp();
    void ReceiveTcp();
    void HandleMessage(const uint8_t* Msg, size_t Len);
    void Finish(uint16_t Error);

    win::HWND FWindowHandle = 0;
    ws::SOCKET FSocket = ws::INVALID_SOCKET;
    bool FOverTcp = false;  // the attempt under way
    std::string FProto = "udp";
    sockaddr_storage FServer{};
    socklen_t FServerLen = 0;
    uint16_t FLocalPort = 0;
    uint16_t FQueryID = 0;
    uint8_t FQueryBuf[DnsQueryBufSize]{};
    int FQueryLen = 0;
    std::string FQueryName;  // of the open query, as its question must come back
    int FQueryType = 0;
    bool FBusy = false;
    bool FRetriedOverTcp = false;
    std::string FResponseBuf;
    int FResponseLen = -1;
    std::string FTcpBuf;  // length prefix and message read so far
    TDnsResponse FResult;
};

}  // namespace mail
