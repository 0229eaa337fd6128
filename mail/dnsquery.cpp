#include "mail/dnsquery.h"

#include <arpa/inet.h>

#include <cstring>

#include "platform/rtl/sysutils.h"
#include "platform/sock/winsock.h"

namespace mail {

namespace {
constexpr uintptr_t kTimeoutTimerId = 1;
constexpr size_t kTcpMaxMessage = 65535;
}  // namespace

TDnsQuery::TDnsQuery(rtl::TComponent* owner) : rtl::TComponent(owner), FWSocket(std::make_unique<net::TWSocket>()) {
    FWindowHandle = win::AllocateHWnd([this](win::TMessage& m) { WndProc(m); });
}

TDnsQuery::~TDnsQuery() {
    BeginDestroy();
    win::KillTimer(FWindowHandle, kTimeoutTimerId);
    win::DeallocateHWnd(FWindowHandle);
    BindEvents(false);
    FWSocket.reset();
}

void TDnsQuery::SetProto(const std::string& v) {
    const std::string p = rtl::LowerCase(v);
    if (p != "tcp" && p != "udp") throw EDnsQueryException("TDnsQuery accept only TCP or UDP protocol");
    FProto = p;
}

int TDnsQuery::MXLookup(const std::string& Domain) { return SendQuery(Domain, DnsQueryTypeMX); }
int TDnsQuery::ALookup(const std::string& Host) { return SendQuery(Host, DnsQueryTypeA); }
int TDnsQuery::PTRLookup(const std::string& IP) {
    return SendQuery(ReverseIP(IP) + ".in-addr.arpa", DnsQueryTypePTR);
}
int TDnsQuery::QueryAny(const std::string& Name, int QType) { return SendQuery(Name, QType); }

void TDnsQuery::BuildRequestHeader(uint8_t* Dst, uint16_t ID, int OPCode, bool Recursion, uint16_t QDCount,
                                   uint16_t ANCount, uint16_t NSCount, uint16_t ARCount) {
    DnsBuildRequestHeader(Dst, ID, OPCode, Recursion, QDCount, ANCount, NSCount, ARCount);
}

int TDnsQuery::BuildQuestionSection(uint8_t* Dst, const std::string& QName, uint16_t QType, uint16_t QClass) {
    return DnsBuildQuestionSection(Dst, QName, QType, QClass);
}

void TDnsQuery::BindEvents(bool on) {
    if (!FWSocket) return;
    if (!on) {
        FWSocket->OnSessionConnected = nullptr;
        FWSocket->OnDataAvailable = nullptr;
        FWSocket->OnSessionClosed = nullptr;
        return;
    }
    FWSocket->OnSessionConnected = [this](rtl::TObject*, uint16_t e) { WSocketSessionConnected(e); };
    FWSocket->OnDataAvailable = [this](rtl::TObject*, uint16_t e) { WSocketDataAvailable(e); };
    FWSocket->OnSessionClosed = [this](rtl::TObject*, uint16_t e) { WSocketSessionClosed(e); };
}

int TDnsQuery::SendQuery(const std::string& Name, int QType) {
    // Build first: a name that cannot be asked leaves the previous request alone.
    uint8_t buf[DnsQueryBufSize];
    const uint16_t id = static_cast<uint16_t>(FQueryID + 1);
    BuildRequestHeader(buf, id, 0, true, 1, 0, 0, 0);
    const int qlen = BuildQuestionSection(buf + 12, Name, static_cast<uint16_t>(QType), DnsClassIN);

    // A new query ends the one in progress without a report.
    win::KillTimer(FWindowHandle, kTimeoutTimerId);
    FBusy = false;
    BindEvents(false);
    FWSocket->Abort();

    FQueryID = id;
    std::memcpy(FQueryBuf, buf, sizeof buf);
    FQueryLen = 12 + qlen;
    FQueryName = Name;
    while (!FQueryName.empty() && FQueryName.back() == '.') FQueryName.pop_back();
    FQueryType = QType;
    FResponseLen = -1;
    FTcpBuf.clear();

    BindEvents(true);
    FWSocket->MultiThreaded = MultiThreaded;
    FWSocket->SetProto(FProto);
    FWSocket->SetPort(Port);
    FWSocket->SetAddr(Addr);
    FBusy = true;
    // The clock runs from here, so a connection that never completes ends too.
    win::SetTimer(FWindowHandle, kTimeoutTimerId, Timeout);
    FWSocket->Connect();
    return FQueryID;
}

void TDnsQuery::WSocketSessionConnected(uint16_t Error) {
    if (!FBusy) return;
    if (Error) {
        Finish(Error);
        return;
    }
    if (FProto == "tcp") {
        const uint8_t prefix[2] = {static_cast<uint8_t>(FQueryLen >> 8), static_cast<uint8_t>(FQueryLen)};
        FWSocket->Send(prefix, 2);
    }
    FWSocket->Send(FQueryBuf, FQueryLen);
}

void TDnsQuery::WSocketDataAvailable(uint16_t Error) {
    if (!FBusy) return;
    if (Error) {
        Finish(Error);
        return;
    }
    if (FProto == "tcp") ReceiveTcp();
    else ReceiveUdp();
}

void TDnsQuery::WSocketSessionClosed(uint16_t Error) {
    // Over TCP the server hung up before a whole matching answer came.
    if (FBusy && FProto == "tcp") Finish(Error ? Error : static_cast<uint16_t>(ws::WSAECONNRESET));
}

void TDnsQuery::ReceiveUdp() {
    uint8_t buf[DnsUdpResponseSize];
    sockaddr_in from{};
    int fromLen = sizeof from;
    const int n = FWSocket->ReceiveFrom(buf, sizeof buf, from, fromLen);
    if (n < 0) {
        const int err = FWSocket->LastError();
        if (err != ws::WSAEWOULDBLOCK) Finish(static_cast<uint16_t>(err));
        return;
    }
    HandleMessage(buf, static_cast<size_t>(n));
}

void TDnsQuery::ReceiveTcp() {
    // The 2-byte length first, then exactly that many bytes: nothing of what
    // follows is read into this message.
    while (FBusy) {
        size_t want = 2;
        if (FTcpBuf.size() >= 2)
            want = 2 + (static_cast<size_t>(static_cast<uint8_t>(FTcpBuf[0])) << 8 | static_cast<uint8_t>(FTcpBuf[1]));
        if (FTcpBuf.size() == want && want > 2) {
            const std::string msg = FTcpBuf.substr(2);
            FTcpBuf.clear();
            HandleMessage(reinterpret_cast<const uint8_t*>(msg.data()), msg.size());
            continue;
        }
        if (want == 2 && FTcpBuf.size() == 2) {  // an empty message: nothing to decode
            FTcpBuf.clear();
            continue;
        }
        const size_t have = FTcpBuf.size();
        FTcpBuf.resize(want);
        const int n = FWSocket->Receive(FTcpBuf.data() + have, static_cast<int>(want - have));
        if (n <= 0) {
            FTcpBuf.resize(have);
            const int err = n < 0 ? FWSocket->LastError() : 0;
            if (n < 0 && err != ws::WSAEWOULDBLOCK) Finish(static_cast<uint16_t>(err));
            return;  // more comes with the next data event, or the close ends it
        }
        FTcpBuf.resize(have + static_cast<size_t>(n));
    }
}

void TDnsQuery::HandleMessage(const uint8_t* Msg, size_t Len) {
    TDnsResponse r;
    const TDnsDecodeResult res = DnsDecodeResponse(Msg, Len, r);
    if (res == TDnsDecodeResult::NotAResponse) return;
    // Only the answer to this query counts: a stray or forged message is dropped
    // and the wait goes on.
    if (r.ID != FQueryID) return;
    if (r.QDCount > 0 && (!rtl::SameText(r.QuestionName, FQueryName) || r.QuestionType != FQueryType ||
                          r.QuestionClass != DnsClassIN))
        return;
    FResult = r;
    FResponseBuf.assign(reinterpret_cast<const char*>(Msg), Len);
    FResponseLen = static_cast<int>(Len);
    Finish(res == TDnsDecodeResult::Ok ? 0 : DnsErrorMalformed);
}

void TDnsQuery::Finish(uint16_t Error) {
    if (!FBusy) return;
    FBusy = false;
    win::KillTimer(FWindowHandle, kTimeoutTimerId);
    FWSocket->Close();
    if (OnRequestDone) OnRequestDone(this, Error);
}

void TDnsQuery::WndProc(win::TMessage& Msg) {
    if (Msg.Msg != win::WM_TIMER || Msg.WParam != kTimeoutTimerId) return;
    win::KillTimer(FWindowHandle, kTimeoutTimerId);
    if (!FBusy) return;
    BindEvents(false);
    FWSocket->Abort();
    BindEvents(true);
    Finish(static_cast<uint16_t>(ws::WSAETIMEDOUT));
}

namespace {
template <typename T, size_t N>
T at(const std::array<T, N>& a, int i, int count) {
    return i >= 0 && i < count ? a[static_cast<size_t>(i)] : T{};
}
}  // namespace

std::string TDnsQuery::GetAnswerName(int i) const { return at(FResult.AnswerName, i, FResult.AnswerCount); }
int TDnsQuery::GetAnswerType(int i) const { return at(FResult.AnswerType, i, FResult.AnswerCount); }
int TDnsQuery::GetAnswerClass(int i) const { return at(FResult.AnswerClass, i, FResult.AnswerCount); }
uint32_t TDnsQuery::GetAnswerTTL(int i) const { return at(FResult.AnswerTTL, i, FResult.AnswerCount); }
int TDnsQuery::GetAnswerTag(int i) const { return at(FResult.AnswerTag, i, FResult.AnswerCount); }
int TDnsQuery::GetMXPreference(int i) const { return at(FResult.MXPreference, i, FResult.MXRecordCount); }
std::string TDnsQuery::GetMXExchange(int i) const { return at(FResult.MXExchange, i, FResult.MXRecordCount); }
in_addr TDnsQuery::GetAddress(int i) const { return at(FResult.Address, i, FResult.AddressCount); }
std::string TDnsQuery::GetHostname(int i) const { return at(FResult.Hostname, i, FResult.HostnameCount); }

}  // namespace mail
