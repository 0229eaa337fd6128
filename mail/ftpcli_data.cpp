// Data connections and transfers of the FTP client: PORT/EPRT (with port
// ranges) and PASV/EPSV, downloads into a file, a caller's stream or
// OnDisplayFile, uploads from a file or stream, TYPE A line ends, restart
// offsets, progress and statistics.
#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "mail/ftpcli.h"
#include "platform/rtl/sysutils.h"
#include "platform/win/pump.h"

namespace mail {

using rtl::IntToStr;

namespace {

// Larger than one segment: a block per event would bound loopback speed
// by the event rate. One block is still all that is ever queued.
constexpr int kSendBlock = 256 * 1024;
constexpr int kRecvBlock = 256 * 1024;
constexpr uintptr_t kCloseDownTimer = 2;
constexpr win::UINT kCloseDownPollMs = 20;

}  // namespace

// ---------------------------------------------------------------- helpers

void TCustomFtpCli::SetLocalStream(rtl::TStream* Stream) {
    ReleaseLocalStream();
    FLocalStream = Stream;
    FStreamFlag = Stream != nullptr;
    if (Stream) LocalFileName.clear();
}

void TCustomFtpCli::ReleaseLocalStream() {
    // A download never finished leaves the file it was to replace.
    CommitDownload(false);
    if (!FStreamFlag) delete FLocalStream;
    if (!FStreamFlag) FLocalStream = nullptr;
}

void TCustomFtpCli::CommitDownload(bool Ok) {
    if (!FReplacing) return;
    FReplacing = false;
    auto* file = static_cast<rtl::TFileStream*>(FLocalStream);
    if (!Ok) return file->Discard();
    rtl::TFileFailure why;
    if (file->Finish(why)) return;
    FLocalError = 550;
    Fail("550 Unable to move the received file to " + LocalFileName + ": " + why.Text(), 550);
}

void TCustomFtpCli::ResetDataHandlers() {
    FDataSocket->OnSessionAvailable = nullptr;
    FDataSocket->OnSessionConnected = nullptr;
    FDataSocket->OnSessionClosed = nullptr;
    FDataSocket->OnDataAvailable = nullptr;
    FDataSocket->OnDataSent = nullptr;
}

bool TCustomFtpCli::PasvAddress(std::string& Addr, std::string& DataPort) {
    uint8_t a[4] = {};
    uint16_t port = 0;
    const bool extended = FPasvResponse.compare(0, 3, "229") == 0;
    if (!(extended ? FtpParseEpsvReply(FPasvResponse, port) : FtpParsePasvReply(FPasvResponse, a, port))) {
        Fail("550 Malformed passive reply: " + FPasvResponse.substr(0, 80), 550);
        return false;
    }
    const std::string named = rtl::Format("%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
    Addr = named;
    // The data goes to the server we talk to, whatever address the reply names.
    if (extended || FConnectionType == ftpDirect) {
        Addr = FWSocket->GetPeerAddr();
        if (!extended && Addr != named)
            Display("! Passive reply names " + named + ", using the server's address " + Addr);
    }
    DataPort = IntToStr(port);
    return true;
}

bool TCustomFtpCli::ListenOnRange() {
    if (FDataPortRangeEnd < FDataPortRangeStart) {
        HandleError("DataPortRangeEnd must be greater than DataPortRangeStart");
        return false;
    }
    if (FNextDataPort < FDataPortRangeStart || FNextDataPort > FDataPortRangeEnd) FNextDataPort = FDataPortRangeStart;
    const unsigned first = FNextDataPort;
    unsigned port = first;
    while (true) {
        FDataSocket->SetPort(IntToStr(static_cast<int>(port)));
        try {
            FDataSocket->Listen();
            FNextDataPort = port + 1 > FDataPortRangeEnd ? FDataPortRangeStart : port + 1;
            return true;
        } catch (const std::exception& E) {
            const int err = FDataSocket->LastError();
            if (err != ws::WSAEADDRINUSE) {
                HandleError("Data connection winsock bind failed - " + net::WSocketErrorDesc(err));
                return false;
            }
        }
        port = port + 1 > FDataPortRangeEnd ? FDataPortRangeStart : port + 1;
        if (port == first) {
            HandleError("All ports in DataPortRange are in use");
            return false;
        }
    }
}

// ---------------------------------------------------------------- PORT / PASV

void TCustomFtpCli::PortAsync() {
    if (!CheckReady()) return;
    ResetDataHandlers();
    if (FDataSocket->State() != net::wsClosed) FDataSocket->Abort();
    FDataSocket->SetProto("tcp");
    FDataSocket->SetAddr("0.0.0.0");
    FDataSocket->SetPort("0");
    FDataSocket->SetSslEnable(false);
    const bool extended = ExtendedDataCommands();
    std::string cmd = extended ? "EPSV" : "PASV";
    // A server may connect as soon as PORT is answered: the direction and
    // the transfer's flags are settled here.
    FUploadDir = (FPendingFcts & (FtpFct(ftpFctPut) | FtpFct(ftpFctAppend))) != 0;
    FAnswered = FGetClosed = FPutClosed = FEof = FLastQueued = FPermitted = FPutOpened = FDataReplied = false;
    FDataRefusal.clear();
    if (!FPassive) {
        FDataSocket->OnSessionAvailable = [this](rtl::TObject*, uint16_t e) { DataSessionAvailable(e); };
        FDataSocket->LingerOnOff = net::wsLingerOn;
        FDataSocket->LingerTimeout = 10;
        // Listen on the control connection's own address: that is what PORT names.
        FDataSocket->SetAddr(FWSocket->GetXAddr());
        if (FDataPortRangeStart != 0 || FDataPortRangeEnd != 0) {
            if (!ListenOnRange()) return;
        } else {
            try {
                FDataSocket->Listen();
            } catch (const std::exception&) {
                return HandleError("Data connection winsock bind failed - " +
                                   net::WSocketErrorDesc(FDataSocket->LastError()));
            }
        }
        const unsigned port = static_cast<unsigned>(rtl::StrToIntDef(FDataSocket->GetXPort(), 0));
        std::string local = FWSocket->GetXAddr();
        // A zone names our interface, nothing the server could use.
        local = local.substr(0, local.find('%'));
        if (extended) {
            cmd = "EPRT |" + std::string(ControlIsIPv6() ? "2" : "1") + "|" + local + "|" + IntToStr(port) + "|";
        } else {
            std::string bytes = local;
            std::replace(bytes.begin(), bytes.end(), '.', ',');
            cmd = "PORT " + bytes + rtl::Format(",%u,%u", port >> 8, port & 255);
        }
    }
    ByteCount = 0;
    FLastFct = ftpFctPort;
    ExecAsync(ftpPortAsync, cmd, {200, 227, 229}, nullptr);
}

// EPSV and EPRT where the server's FEAT offered them, and always over IPv6,
// where PASV and PORT cannot name an address; through a proxy the data goes
// where its classic replies say.
bool TCustomFtpCli::ExtendedDataCommands() const {
    return FConnectionType == ftpDirect &&
           (ControlIsIPv6() || (SupportedExtensions & FtpFeat(FPassive ? ftpFeatEPSV : ftpFeatEPRT)));
}

bool TCustomFtpCli::ControlIsIPv6() const {
    return FWSocket->State() == net::wsConnected && FWSocket->GetXAddr().find(':') != std::string::npos;
}

void TCustomFtpCli::DataSocketGetInit(const std::string& DataPort, const std::string& DataAddr) {
    FDataSocket->SetPort(DataPort);
    FDataSocket->SetAddr(DataAddr);
    FDataSocket->SetLocalAddr(LocalAddr);
    FDataSocket->OnSessionConnected = [this](rtl::TObject*, uint16_t e) { DataGetConnected(e); };
    FDataSocket->LingerOnOff = net::wsLingerOff;
    FDataSocket->LingerTimeout = 0;
}

void TCustomFtpCli::DataSocketPutAppendInit(const std::string& DataPort, const std::string& DataAddr) {
    DataSocketGetInit(DataPort, DataAddr);
    FDataSocket->OnSessionConnected = [this](rtl::TObject*, uint16_t e) { DataPutConnected(e); };
}

// An active-mode connection is taken only from the server's own address.
bool TCustomFtpCli::AcceptFromPeer() {
    const ws::SOCKET s = FDataSocket->Accept();
    if (s == ws::INVALID_SOCKET) return false;
    sockaddr_storage peer{};
    socklen_t len = sizeof peer;
    ::getpeername(static_cast<int>(s), reinterpret_cast<sockaddr*>(&peer), &len);
    const std::string text = net::WSocketAddrText(peer);
    // The listener's close is not the data session's.
    const auto closed = FDataSocket->OnSessionClosed;
    FDataSocket->OnSessionClosed = nullptr;
    FDataSocket->Abort();
    FDataSocket->OnSessionClosed = closed;
    if (FConnectionType == ftpDirect && text != FWSocket->GetPeerAddr()) {
        ::close(static_cast<int>(s));
        RefuseDataPeer(text);
        return false;
    }
    DataSocketAcceptedTls();
    FDataSocket->Dup(s);
    FStartTick = win::GetTickCount();
    return true;
}

// A stranger came first: nobody else gets to try, and the transfer fails at
// once (or, when its command has not gone out yet, before it goes).
void TCustomFtpCli::RefuseDataPeer(const std::string& Peer) {
    FDataRefusal = "425 Data connection from " + Peer + " refused: the server is " + FWSocket->GetPeerAddr();
    Display("! " + FDataRefusal);
    if (DataReplyPending()) DataFailed(FDataRefusal, 425);
}

void TCustomFtpCli::DataSessionAvailable(uint16_t) {
    Display("! Data Session requested");
    if (FUploadDir) {
        // Upload.
        FDataSocket->OnSessionClosed = [this](rtl::TObject*, uint16_t e) { DataPutClosed(e); };
        FDataSocket->OnDataAvailable = [this](rtl::TObject*, uint16_t) {
            char discard[2048];
            FDataSocket->Receive(discard, sizeof discard);
        };
        FDataSocket->OnDataSent = [this](rtl::TObject*, uint16_t e) { DataPutSent(e); };
        if (!AcceptFromPeer()) return;
        FStartTick = 0;
        FPutOpened = true;
        if (FPermitted) {
            StartDataTls();
            FStartTick = win::GetTickCount();
            DataPutSent(0);
        }
    } else {
        FDataSocket->OnSessionClosed = [this](rtl::TObject*, uint16_t e) { DataGetClosed(e); };
        FDataSocket->OnDataAvailable = [this](rtl::TObject*, uint16_t) { DataGetAvailable(); };
        FDataSocket->OnDataSent = nullptr;
        if (!AcceptFromPeer()) return;
    }
    Display("! Data Session opened");
}

void TCustomFtpCli::DataFailed(const std::string& Response, int Code) {
    Fail(Response, Code);
    Display("! " + Response);
    EndTransfer(Code);
}

// Ends the transfer now. When its command's answer is still to come, the
// request's end leaves it owed (TriggerRequestDone).
void TCustomFtpCli::EndTransfer(int Code) {
    ReleaseLocalStream();
    CommitDownload(false);
    if (FDataSocket->State() != net::wsClosed) FDataSocket->Abort();
    ResumeAt = 0;
    FRequestResult = Code;
    RequestDone(static_cast<uint16_t>(Code));
}

bool TCustomFtpCli::DataReplyPending() const {
    return FNext == &TCustomFtpCli::Next1GetAsync || FNext == &TCustomFtpCli::Next2GetAsync ||
           FNext == &TCustomFtpCli::Next1PutAsync || FNext == &TCustomFtpCli::Next2PutAsync;
}

void TCustomFtpCli::FailDataTransfer(int Code) {
    FLocalError = Code;
    // The close ends the transfer through its completion check.
    if (FDataSocket->State() != net::wsClosed) FDataSocket->Abort();
}

// Ends the data connection with a reset: queued bytes are dropped and the
// server learns at once that the transfer did not end well.
void TCustomFtpCli::ResetDataConnection() {
    const int fd = FDataSocket->State() == net::wsClosed ? -1 : ::dup(static_cast<int>(FDataSocket->HSocket()));
    FDataSocket->Abort();
    if (fd < 0) return;
    const linger reset{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(fd);  // the last descriptor of the connection: its close sends the reset
}

void TCustomFtpCli::SendDataCommand() {
    FNext = FDataCommand.empty() ? &TCustomFtpCli::Next1PutAsync : &TCustomFtpCli::Next1GetAsync;
    FLastMultiResponse.clear();
    SetState(ftpWaitingResponse);
    const std::string word = FDataCommand.empty() ? (FAppendFlag ? "APPE" : "STOR") : FDataCommand;
    SendFtpCommand(HostFileName.empty() ? word : word + " " + HostFileName);
}

void TCustomFtpCli::TransfertStats() {
    FStopTick = win::GetTickCount();
    const uint32_t elapsed = FStopTick - FStartTick;
    std::string text = std::to_string(ByteCount) + " bytes received/sent in ";
    if (elapsed > 4999) {
        const int64_t rate = ByteCount < 32768 ? ByteCount * 1000 / elapsed : ByteCount / elapsed * 1000;
        text += std::to_string(elapsed / 1000) + " seconds (" + std::to_string(rate) + " Bytes/sec)";
    } else {
        text += std::to_string(elapsed) + " milliseconds";
    }
    Display("! " + text);
}

bool TCustomFtpCli::Progress() {
    bool abort = false;
    if (OnProgress) OnProgress(this, ByteCount + ResumeAt, abort);
    if (abort) AbortAsync();
    return !abort;
}

// ---------------------------------------------------------------- downloads

bool TCustomFtpCli::OpenDownloadTarget() {
    ReleaseLocalStream();
    CommitDownload(false);
    FTruncateAtStart = false;
    if (FStreamFlag) {
        if (ResumeAt > 0 && (FLocalStream->Size() < ResumeAt || FLocalStream->Seek(ResumeAt, rtl::soBeginning) != ResumeAt)) {
            DataFailed("Unable to set resume position in local file", 550);
            return false;
        }
        return true;
    }
    try {
        // Neither opening writes through a link or waits on a pipe: what
        // stands at the name is refused, with the reason.
        if (ResumeAt > 0) {
            auto* s = new rtl::TFileStream(LocalFileName, rtl::fmOpenWrite | FShareFlag);
            FLocalStream = s;
            if (s->Size() < ResumeAt || s->Seek(ResumeAt, rtl::soBeginning) != ResumeAt) {
                DataFailed("Unable to set resume position in local file", 550);
                return false;
            }
            // What lies beyond the offset goes only when the server has agreed.
            FTruncateAtStart = true;
            return true;
        }
        // The file named stays untouched until the transfer has succeeded:
        // the new one is written beside it, with the mode of the file it
        // replaces, else the mode a new file gets.
        FLocalStream = new rtl::TFileStream(LocalFileName, rtl::fmCreate | FShareFlag, 0666);
        FReplacing = true;
        return true;
    } catch (const std::exception& E) {
        DataFailed("Unable to open local file " + LocalFileName + ": " + E.what(), 550);
        return false;
    }
}

void TCustomFtpCli::DoGetAsync(TFtpRequest RqType) {
    static const char* words[] = {"RETR", "LIST", "NLST", "MLSD"};
    const int which = RqType == ftpDirAsync ? 1 : RqType == ftpLsAsync ? 2 : RqType == ftpMlsdAsync ? 3 : 0;
    if (!FConnected) return HandleError(std::string(words[which]) + ": not connected");
    if (LocalFileName.empty() && !DisplayFileFlag && !FStreamFlag) return HandleError("LocalFileName empty");
    if (!SafeArgument("HostFileName", HostFileName)) return;
    if (!FHighLevelFlag) FRequestType = RqType;
    FDataCommand = words[which];
    FAnswered = FEof = FPermitted = false;
    FAppendFlag = false;
    FRequestDoneFlag = false;
    ByteCount = 0;
    FDataCloseCode = 0;
    FLocalError = 0;
    FListLines.Reset();
    FAsciiIn.Reset();
    // Only a resumed download into a file of its own is ever cut (a listing
    // shown through OnDisplayFile opens no file).
    FTruncateAtStart = false;
    FStartTick = win::GetTickCount();
    if (!FDataRefusal.empty()) return DataFailed(FDataRefusal, 425);
    if (!DisplayFileFlag && !OpenDownloadTarget()) return;
    if (FPassive) {
        std::string addr, port;
        if (!PasvAddress(addr, port)) return DataFailed(FLastResponse, 550);
        DataSocketGetInit(port, addr);
        Display("! Data Socket Connect");
        try {
            FDataSocket->Connect();
        } catch (const std::exception& E) {
            return DataFailed(std::string("550 ") + rtl::ExceptionClassName(E) + ": " + E.what(), 550);
        }
    }
    SendDataCommand();
}

void TCustomFtpCli::DataGetConnected(uint16_t Error) {
    Display("! Data Session Connected (Get)");
    FDataSocket->OnSessionClosed = [this](rtl::TObject*, uint16_t e) { DataGetClosed(e); };
    FDataSocket->OnDataAvailable = [this](rtl::TObject*, uint16_t) { DataGetAvailable(); };
    FDataSocket->OnDataSent = nullptr;
    FStartTick = win::GetTickCount();
    if (Error != 0) DataFailed("Unable to establish data connection - " + net::WSocketErrorDesc(Error), 550);
}

void TCustomFtpCli::DeliverDisplayFile(const char* Data, size_t Len) {
    if (!OnDisplayFile) return;
    if (DisplayFileMode == ftpBinary) {
        std::string block(Data, Len);
        OnDisplayFile(this, block);
        return;
    }
    // Lines go out whole, however the data was cut into blocks.
    if (FListLines.Feed(Data, Len, [this](std::string& Line) { OnDisplayFile(this, Line); })) return;
    Display("! Listing line too long");
    FLocalError = 550;
    Fail("550 Listing line longer than " + std::to_string(TFtpLineSplitter::kMaxLine) + " bytes", 550);
    FDataSocket->Abort();
}

// Received bytes, with TYPE A's line ends made local, to the local stream
// and OnDisplayFile. False when the local stream stopped taking them.
bool TCustomFtpCli::WriteReceived(const char* Data, size_t Len) {
    if (FTypeAscii) {
        FAsciiOut.clear();
        FAsciiIn.Feed(Data, Len, FAsciiOut);
        Data = FAsciiOut.data();
        Len = FAsciiOut.size();
    }
    if (Len == 0) return true;
    if (FLocalStream && FLocalError == 0 && FLocalStream->Write(Data, static_cast<int64_t>(Len)) != static_cast<int64_t>(Len)) {
        // The rest of the data has nowhere to go: the transfer fails.
        Display("! Error writing local file");
        FLocalError = 550;
        Fail("550 Error writing local file " + LocalFileName, 550);
        FDataSocket->Abort();
        return false;
    }
    if (DisplayFileFlag) DeliverDisplayFile(Data, Len);
    return true;
}

// The data has ended: what waited for a following byte goes out.
void TCustomFtpCli::FinishReceived() {
    if (FLocalError) return;
    std::string rest;
    if (FTypeAscii) FAsciiIn.Finish(rest);
    if (!rest.empty() && !WriteReceived(rest.data(), rest.size())) return;
    if (DisplayFileFlag && OnDisplayFile && DisplayFileMode == ftpLineByLine)
        FListLines.Finish([this](std::string& Line) { OnDisplayFile(this, Line); });
}

void TCustomFtpCli::DataGetAvailable() {
    if (!Progress()) return;
    static thread_local std::string buf(kRecvBlock, '\0');
    const int n = FDataSocket->Receive(buf.data(), kRecvBlock);
    if (n < 0) {
        const int err = FDataSocket->LastError();
        if (err != ws::WSAEWOULDBLOCK && FDataSocket->State() == net::wsConnected) {
            Display("! Data: Receive Error - " + net::WSocketErrorDesc(err));
            FDataSocket->Shutdown(2);
        }
        return;
    }
    if (n == 0) return;
    if (FState == ftpAbort || FState == ftpInternalAbort) {
        Display("! Data ignored while aborting");
        return;
    }
    ByteCount += n;
    WriteReceived(buf.data(), static_cast<size_t>(n));
}

void TCustomFtpCli::DataGetClosed(uint16_t Error) {
    if (FGetClosed) return;
    Display("! Data Session closed");
    FGetClosed = true;
    FDataCloseCode = Error;
    if (Error == 0) FinishReceived();
    Next3GetAsync();
}

void TCustomFtpCli::Next1GetAsync() {
    Display("< " + FLastResponse);
    if ((FStatusCode >= 150 && FStatusCode <= 159) || FStatusCode == 125) {
        FNext = &TCustomFtpCli::Next2GetAsync;
        FDataReplied = true;
        StartDataTls();
        rtl::TFileFailure why;
        if (FTruncateAtStart && FLocalStream && !static_cast<rtl::TFileStream*>(FLocalStream)->SetSize(ResumeAt, why)) {
            FLocalError = 550;
            Fail("550 Unable to cut the local file at the resume position: " + why.Text(), 550);
        }
        return;
    }
    TransferRefused(nullptr);
}

// The server's final answer ends the transfer as a failure; a local failure
// that came first keeps its code and text.
void TCustomFtpCli::TransferRefused(const char* Note) {
    SetErrorMessage();
    FNext = nullptr;
    if (Note) Display(Note);
    EndTransfer(FLocalError ? FLocalError : FStatusCode);
}

void TCustomFtpCli::Next2GetAsync() {
    Display("< " + FLastResponse);
    if (FStatusCode == 125 || FStatusCode == 226 || FStatusCode == 250) {
        FAnswered = true;
        FNext = nullptr;
        Next3GetAsync();
        return;
    }
    TransferRefused("! RETR/LIST/NLST Failed");
}

void TCustomFtpCli::Next3GetAsync() {
    if (!(FAnswered && FGetClosed)) return;
    TransfertStats();
    ResumeAt = 0;
    int code = FLocalError ? FLocalError : FDataCloseCode;
    CommitDownload(code == 0);
    if (!FStreamFlag) ReleaseLocalStream();
    if (FLocalError) code = FLocalError;
    if (code != 0 && FDataCloseCode != 0 && !FLocalError)
        Fail("550 Data connection closed with an error - " + net::WSocketErrorDesc(FDataCloseCode), code);
    FRequestResult = code;
    RequestDone(static_cast<uint16_t>(code));
}

// ---------------------------------------------------------------- uploads

void TCustomFtpCli::ExecPutAsync() {
    FAppendFlag = false;
    FRequestType = ftpPutAsync;
    DoPutAppendAsync();
}

void TCustomFtpCli::ExecAppendAsync() {
    FAppendFlag = true;
    FRequestType = ftpAppendAsync;
    DoPutAppendAsync();
}

void TCustomFtpCli::DoPutAppendAsync() {
    if (!FConnected) return HandleError("STOR/APPE: not connected");
    if (!FStreamFlag && LocalFileName.empty()) return HandleError("LocalFileName empty");
    if (!SafeArgument("HostFileName", HostFileName)) return;
    FAnswered = FEof = FLastQueued = FPermitted = false;
    FDataCommand.clear();
    FRequestDoneFlag = false;
    if (!FPutOpened) FStartTick = 0;
    ByteCount = 0;
    FDataCloseCode = 0;
    FLocalError = 0;
    if (!FDataRefusal.empty()) return DataFailed(FDataRefusal, 425);
    bool cancel = false;
    if (OnReadyToTransmit) OnReadyToTransmit(this, cancel);
    if (cancel) {
        FErrorMessage = "426 Transmit cancelled by application";
        FStatusCode = FRequestResult = 426;
        Display("! " + FErrorMessage);
        RequestDone(426);
        return;
    }
    if (!FStreamFlag) {
        ReleaseLocalStream();
        try {
            FLocalStream = new rtl::TFileStream(LocalFileName, rtl::fmOpenRead | FShareFlag);
        } catch (const std::exception& E) {
            return DataFailed("Unable to open local file " + LocalFileName + ": " + E.what(), 426);
        }
    }
    if (ResumeAt > 0 && FLocalStream->Seek(ResumeAt, rtl::soBeginning) != ResumeAt)
        return DataFailed("Unable to set resume position in local file", 550);
    const int64_t pos = FLocalStream->Position();
    Display("! Upload Size " + std::to_string(FLocalStream->Size() - pos));
    if (FPassive) {
        std::string addr, port;
        if (!PasvAddress(addr, port)) return DataFailed(FLastResponse, 426);
        DataSocketPutAppendInit(port, addr);
        FNext = nullptr;
        SetState(ftpWaitingResponse);
        try {
            FDataSocket->Connect();
        } catch (const std::exception& E) {
            return DataFailed(std::string("426 ") + rtl::ExceptionClassName(E) + ": " + E.what(), 426);
        }
        return;  // STOR/APPE goes when the data connection is up
    }
    SendDataCommand();
}

void TCustomFtpCli::DataPutConnected(uint16_t Error) {
    Display("! Data Session opened (Put)");
    FDataSocket->OnSessionClosed = [this](rtl::TObject*, uint16_t e) { DataPutClosed(e); };
    FDataSocket->OnDataAvailable = [this](rtl::TObject*, uint16_t) {
        char discard[2048];
        FDataSocket->Receive(discard, sizeof discard);
    };
    FDataSocket->OnDataSent = nullptr;
    FPutOpened = true;
    FStartTick = win::GetTickCount();
    if (Error != 0) return DataFailed("Unable to establish data connection - " + net::WSocketErrorDesc(Error), 550);
    SendDataCommand();
}

void TCustomFtpCli::Next1PutAsync() {
    Display("< " + FLastResponse);
    if ((FStatusCode == 150 || FStatusCode == 125) && FPutClosed) {
        // The data connection is already gone: the server would wait for it.
        // Its final answer is still to come.
        if (FLocalError == 0) Fail("426 Data connection closed before the upload started", 426);
        FNext = &TCustomFtpCli::Next2PutAsync;
        EndTransfer(FLocalError ? FLocalError : 426);
        return;
    }
    if (FStatusCode == 150 || FStatusCode == 125) {
        FPermitted = true;
        FDataReplied = true;
        StartDataTls();
        FNext = &TCustomFtpCli::Next2PutAsync;
        FDataSocket->OnDataSent = [this](rtl::TObject*, uint16_t e) { DataPutSent(e); };
        if (FPutOpened) {
            Display("! Send first block");
            FStartTick = win::GetTickCount();
            DataPutSent(0);
        }
        return;
    }
    TransferRefused(nullptr);
}

void TCustomFtpCli::DataPutSent(uint16_t Error) {
    if (!FLocalStream || !Progress()) return;
    if (Error != 0) {
        Display("! Error sending data - " + net::WSocketErrorDesc(Error));
        FLocalError = 426;
        FDataSocket->Abort();
        return;
    }
    if (FEof || !FPermitted || !FPutOpened) return;
    if (FLastQueued) {
        // The last block has left.
        FEof = true;
        CloseDownStep();
        return;
    }
    static thread_local std::string buf(kSendBlock, '\0');
    int64_t n = 0;
    bool last = false;
    try {
        n = FLocalStream->Read(buf.data(), kSendBlock);
        if (n <= 0 && FLocalStream->Position() < FLocalStream->Size())
            throw rtl::EReadError("read failed at offset " + std::to_string(FLocalStream->Position()));
        last = n > 0 && FLocalStream->Position() >= FLocalStream->Size();
    } catch (const std::exception& E) {
        Display(std::string("! Error reading file ") + rtl::ExceptionClassName(E) + ": " + E.what());
        FLocalError = 426;
        Fail(std::string("426 Error reading local file: ") + E.what(), 426);
        FDataSocket->Abort();
        return;
    }
    if (n <= 0) {
        FEof = true;
        StartCloseDown();
        return;
    }
    const char* out = buf.data();
    size_t len = static_cast<size_t>(n);
    if (FTypeAscii) {
        FAsciiOut.clear();
        FtpAsciiEncode(out, len, FAsciiOut);
        out = FAsciiOut.data();
        len = FAsciiOut.size();
    }
    ByteCount += static_cast<int64_t>(len);
    FDataSocket->Send(out, static_cast<int>(len));
    // A peer that stops taking the last block is then held to the deadline.
    if (last) {
        FLastQueued = true;
        StartCloseDown();
    }
}

void TCustomFtpCli::StartCloseDown() {
    FCloseDownBytes = -1;  // the first wait sets the deadline
    CloseDownStep();
}

// Waits for the queued bytes to leave, polling on a timer, then ends the
// sending side. Bytes still queued at the deadline fail the upload; the
// deadline counts from the last bytes that left, so a slow peer that keeps
// taking them is not one that stopped.
void TCustomFtpCli::CloseDownStep() {
    win::KillTimer(FWindowHandle, kCloseDownTimer);
    if (!(FEof || FLastQueued) || FDataSocket->State() != net::wsConnected) return;
    // The data-sent event sets the end flag once the last block has gone,
    // through every layer of the socket. (What the system still holds then
    // reaches the server: the socket's close waits for it.)
    if (!FEof || !FDataSocket->AllSent() || !DataTlsSettled()) {
        if (FDataBytesOut != FCloseDownBytes) {
            FCloseDownBytes = FDataBytesOut;
            FCloseDownDeadline = win::GetTickCount() + static_cast<uint32_t>(CloseDownSecs) * 1000;
        }
        if (static_cast<int32_t>(FCloseDownDeadline - win::GetTickCount()) > 0 &&
            FWSocket->State() == net::wsConnected) {
            win::SetTimer(FWindowHandle, kCloseDownTimer, kCloseDownPollMs);
            return;
        }
        // The server learns of the failure from the reset; its answer to
        // STOR ends the request, so no later command takes it.
        FLocalError = 426;
        Fail("426 Upload data still queued at the close-down deadline", 426);
        ResetDataConnection();
        return;
    }
    FDataSocket->Shutdown(1);
}

void TCustomFtpCli::DataPutClosed(uint16_t Error) {
    if (FPutClosed) return;
    Display("! Data Session closed");
    ReleaseLocalStream();
    FPutClosed = true;
    FDataCloseCode = Error;
    if (!FEof && FLocalError == 0 && FPermitted) {
        FLocalError = 426;
        Fail("426 Data connection closed before the upload was complete", 426);
    }
    Next3PutAsync();
}

void TCustomFtpCli::Next2PutAsync() {
    Display("< " + FLastResponse);
    if (FStatusCode == 226 || FStatusCode == 250) {
        FAnswered = true;
        FNext = nullptr;
        Next3PutAsync();
        return;
    }
    TransferRefused("! STOR Failed");
}

void TCustomFtpCli::Next3PutAsync() {
    if (!(FAnswered && FPutClosed)) return;
    TransfertStats();
    ResumeAt = 0;
    const int code = FLocalError ? FLocalError : FDataCloseCode;
    FRequestResult = code;
    RequestDone(static_cast<uint16_t>(code));
}

}  // namespace mail
