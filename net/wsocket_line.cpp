#include "net/wsocket_line.h"

#include <algorithm>
#include <cstring>

#include "platform/win/pump.h"

namespace net {

namespace {
constexpr int kDefaultRead = 255;
constexpr int kMaxEmptyRedeliveries = 3;
constexpr int kTabWidth = 8;
}  // namespace

TCustomLineWSocket::TCustomLineWSocket(rtl::TComponent* owner) : TCustomSslWSocket(owner) {}

void TCustomLineWSocket::SetLineMode(bool Value) {
    if (FLineMode == Value) return;
    FLineMode = Value;
    FScanned = 0;
    // What is buffered is delivered again under the new mode.
    if (FLineCnt > 0 || FLineLength > 0) win::PostMessage(FWindowHandle, WM_TRIGGER_DATA_AVAILABLE, 0, 0);
}

void TCustomLineWSocket::SetLineEnd(const std::string& Value) {
    FLineEnd = Value;
    FScanned = 0;
}

int TCustomLineWSocket::SendLine(const std::string& Str) {
    if (Str.empty()) return 0;
    PutStringInSendBuffer(Str);
    SendStr(FLineEnd);
    return static_cast<int>(Str.size() + FLineEnd.size());
}

void TCustomLineWSocket::dropHead(int n) {
    n = std::min(n, FLineCnt);
    FLineHead += n;
    FLineCnt -= n;
    FScanned = std::max(0, FScanned - n);
    if (FLineCnt == 0) FLineHead = 0;
}

void TCustomLineWSocket::clearLineBuffer() {
    FLineBuf.clear();
    FLineBuf.shrink_to_fit();
    FLineHead = FLineCnt = FLineLength = FScanned = 0;
}

// TLS starts on this connection: what was buffered came in the clear.
void TCustomLineWSocket::DropPlainInput() {
    clearLineBuffer();
    FSkipTail = false;
    TCustomSslWSocket::DropPlainInput();
}

int TCustomLineWSocket::GetRcvdCount() {
    if (FLineMode) return FLineLength;
    return TCustomSslWSocket::GetRcvdCount();
}

int TCustomLineWSocket::DoRecv(void* Buffer, int BufferSize, int Flags) {
    int avail = 0;
    if (FLineMode && FLineLength > 0) avail = FLineLength;
    else if (!FLineMode && FLineCnt > 0) avail = FLineCnt;
    else return TCustomSslWSocket::DoRecv(Buffer, BufferSize, Flags);
    const int n = std::min(avail, std::max(BufferSize, 0));
    std::memcpy(Buffer, lineData(), static_cast<size_t>(n));
    if (!(Flags & MSG_PEEK)) {
        dropHead(n);
        if (FLineMode) FLineLength -= n;
    }
    return n;
}

void TCustomLineWSocket::TriggerLineLimitExceeded(int Cnt, bool& ClearData) {
    if (OnLineLimitExceeded) OnLineLimitExceeded(this, Cnt, ClearData);
}

// Reads what waits into the buffer. False when nothing came and nothing waits.
bool TCustomLineWSocket::readIntoBuffer() {
    int want = TCustomSslWSocket::GetRcvdCount();
    if (want < 0) return false;
    if (want == 0) want = kDefaultRead;
    if (FLineHead > 0) {
        std::memmove(FLineBuf.data(), FLineBuf.data() + FLineHead, static_cast<size_t>(FLineCnt));
        FLineHead = 0;
    }
    const size_t need = static_cast<size_t>(FLineCnt) + static_cast<size_t>(want) + 1;
    if (FLineBuf.size() < need) FLineBuf.resize(need);
    int got = TCustomSslWSocket::DoRecv(FLineBuf.data() + FLineCnt, want, 0);
    if (got < 0) FLastError = WSocket_WSAGetLastError();
    if (got <= 0) {
        if (FLineCnt <= 0) return false;
        got = 0;
    }
    if (got > 0) {
        if (LineEdit) EditLine(got);
        else if (LineEcho) Send(FLineBuf.data() + FLineCnt, got);
    }
    FLineCnt += got;
    FLineBuf[static_cast<size_t>(FLineCnt)] = 0;
    return true;
}

void TCustomLineWSocket::EditLine(int& Len) {
    std::string out;
    out.reserve(static_cast<size_t>(Len));
    const char* in = FLineBuf.data() + FLineCnt;
    for (int i = 0; i < Len; ++i) {
        const char c = in[i];
        if (c == 8) {
            if (!out.empty()) out.pop_back();
            else if (FLineCnt > 0) --FLineCnt;  // rubs out a byte read earlier
            else continue;
            if (LineEcho) SendStr("\b \b");
        } else if (c == 9) {
            const size_t col = static_cast<size_t>(FLineCnt) + out.size();
            const size_t blanks = kTabWidth - col % kTabWidth;
            out.append(blanks, ' ');
            if (LineEcho) SendStr(std::string(blanks, ' '));
        } else {
            out += c;
            if (LineEcho) Send(&c, 1);
        }
    }
    const size_t need = static_cast<size_t>(FLineCnt) + out.size() + 1;
    if (FLineBuf.size() < need) FLineBuf.resize(need);
    std::memcpy(FLineBuf.data() + FLineCnt, out.data(), out.size());
    Len = static_cast<int>(out.size());
}

// After an over-long line was thrown away, its tail is dropped up to and
// including its LineEnd, so the following lines arrive whole.
bool TCustomLineWSocket::skipOverlongTail() {
    const std::string_view data(lineData(), static_cast<size_t>(FLineCnt));
    const size_t at = data.find(FLineEnd);
    if (at == std::string_view::npos) {
        // Keep what could be the start of a LineEnd split across reads.
        const int keep = std::min<int>(FLineCnt, static_cast<int>(FLineEnd.size()) - 1);
        dropHead(FLineCnt - keep);
        return false;
    }
    dropHead(static_cast<int>(at + FLineEnd.size()));
    FSkipTail = false;
    FScanned = 0;
    return true;
}

void TCustomLineWSocket::checkLineLimit() {
    if (LineLimit <= 0 || FLineCnt <= LineLimit) return;
    bool ClearData = true;
    TriggerLineLimitExceeded(FLineCnt, ClearData);
    if (!ClearData) return;
    dropHead(FLineCnt);
    FLineLength = 0;
    FSkipTail = true;
}

// Offers the ready line until it is read. False when the handler left it
// unread: it stays ready for a later Receive and nothing spins meanwhile.
bool TCustomLineWSocket::offerReadyLine() {
    while (FLineMode && FLineLength > 0) {
        const int before = FLineLength;
        if (!TCustomSslWSocket::TriggerDataAvailable(0)) {
            dropHead(FLineLength);  // nobody reads lines
            FLineLength = 0;
            return true;
        }
        if (FLineMode && FLineLength == before) return false;
    }
    return true;
}

// Line mode went off: what is buffered goes up raw while a handler takes it.
void TCustomLineWSocket::deliverRaw() {
    FLineLength = 0;
    while (!FLineMode && FLineCnt > 0) {
        const int before = FLineCnt;
        if (!TCustomSslWSocket::TriggerDataAvailable(0) || FLineCnt == before) break;
    }
}

void TCustomLineWSocket::deliverLines() {
    if (FLineLength > 0 && !offerReadyLine()) return;
    if (!FLineMode) {
        deliverRaw();
        if (!FLineMode) return;
    }
    while (FLineMode && FLineCnt > 0) {
        if (FSkipTail && !skipOverlongTail()) return;
        const size_t lenEnd = FLineEnd.size();
        const size_t from = static_cast<size_t>(std::max<int>(0, FScanned - static_cast<int>(lenEnd) + 1));
        const std::string_view data(lineData(), static_cast<size_t>(FLineCnt));
        const size_t at = data.find(FLineEnd, from);
        if (at == std::string_view::npos) {
            FScanned = FLineCnt;
            checkLineLimit();
            return;
        }
        FLineLength = static_cast<int>(at + lenEnd);
        FLineReceivedFlag = true;
        FLineFound = true;
        FScanned = 0;
        if (!offerReadyLine()) return;
        if (!FLineMode) {
            deliverRaw();
            if (!FLineMode) return;
        }
    }
}

bool TCustomLineWSocket::TriggerDataAvailable(uint16_t Error) {
    if (!FLineMode || FLineEnd.empty() || socksExchangeRunning())
        return TCustomSslWSocket::TriggerDataAvailable(Error);
    if (!readIntoBuffer()) return true;
    deliverLines();
    return true;
}

void TCustomLineWSocket::redeliver() {
    int emptyPasses = 0;
    while (FLineCnt > 0 || FLineLength > 0) {
        FLineFound = false;
        const int before = FLineCnt;
        TriggerDataAvailable(0);
        if (FLineCnt == 0 && FLineLength == 0) break;
        // A pass that consumes nothing would only repeat itself.
        if (!FLineFound && FLineCnt == before) break;
        if (FLineMode && !FLineFound && ++emptyPasses > kMaxEmptyRedeliveries) break;
    }
}

void TCustomLineWSocket::WndProc(win::TMessage& MsgRec) {
    if (MsgRec.Msg != WM_TRIGGER_DATA_AVAILABLE) {
        TCustomSslWSocket::WndProc(MsgRec);
        return;
    }
    try {
        redeliver();
    } catch (const std::exception& E) {
        HandleBackGroundException(E);
    }
}

void TCustomLineWSocket::TriggerSessionClosed(uint16_t Error) {
    FLineReceivedFlag = true;
    // A last line without its end still reaches the reader before the close.
    if (FLineMode && FLineCnt > 0 && !FSkipTail) {
        FLineLength = FLineCnt;
        while (FLineMode && FLineLength > 0) {
            const int before = FLineLength;
            if (!TCustomSslWSocket::TriggerDataAvailable(0) || FLineLength == before) break;
        }
    }
    clearLineBuffer();
    FSkipTail = false;
    TCustomSslWSocket::TriggerSessionClosed(Error);
}

int TCustomSyncWSocket::WaitUntilReady(bool& DoneFlag) {
    const uint32_t start = win::GetTickCount();
    while (!DoneFlag) {
        int64_t left = -1;
        if (FTimeout > 0) {
            left = static_cast<int64_t>(FTimeout) - win::TicksSince(start);
            if (left <= 0) return WAIT_TIMED_OUT;
        }
        if (win::Terminated()) return WAIT_TIMED_OUT;
        win::WaitForEvent(left);
    }
    return 0;
}

int TCustomSyncWSocket::Synchronize(const std::function<void()>& Proc, bool& DoneFlag) {
    DoneFlag = false;
    if (Proc) Proc();
    return WaitUntilReady(DoneFlag);
}

void TCustomSyncWSocket::ReadLine(int Timeout, std::string& Buffer) {
    Buffer.clear();
    if (FState != wsConnected) {
        RaiseException("ReadLine failed: not connected");
        return;
    }
    FTimeout = Timeout == 0 ? 60000 : Timeout < 0 ? -Timeout : Timeout * 1000;
    FLineReceivedFlag = false;
    TSessionEvent savedHandler = OnDataAvailable;
    const bool savedMode = LineMode();
    struct Restore {
        TCustomSyncWSocket* s;
        TSessionEvent& handler;
        bool mode;
        ~Restore() {
            s->OnDataAvailable = handler;
            s->SetLineMode(mode);
        }
    } restore{this, savedHandler, savedMode};
    OnDataAvailable = [this, &Buffer](rtl::TObject*, uint16_t) {
        const int n = FLineLength;
        if (n <= 0) return;
        std::string line(static_cast<size_t>(n), '\0');
        const int got = Receive(line.data(), n);
        if (got > 0) Buffer.assign(line.data(), static_cast<size_t>(got));
    };
    SetLineMode(true);
    if (Synchronize(nullptr, FLineReceivedFlag) == WAIT_TIMED_OUT && lineCount() > 0) {
        Buffer.assign(lineData(), static_cast<size_t>(lineCount()));
        dropHead(lineCount());
        FLineLength = 0;
    }
}

}  // namespace net
