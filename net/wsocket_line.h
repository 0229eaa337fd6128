#pragma once
// Line mode: received bytes are gathered and OnDataAvailable is raised once
// per complete line ending in LineEnd, so a protocol client reads exactly one
// reply line per event. The synchronous layer adds waits built on pumping
// the message loop: WaitUntilReady, Synchronize and ReadLine.
#include <string>
#include <vector>

#include "net/wsocket_ssl.h"

namespace net {

using TLineLimitExceeded = std::function<void(rtl::TObject* Sender, int RcvdLength, bool& ClearData)>;

// The result of a wait that ran out of time or was ended by a quit message.
constexpr int WAIT_TIMED_OUT = 12001;

class TCustomLineWSocket : public TCustomSslWSocket {
public:
    explicit TCustomLineWSocket(rtl::TComponent* owner = nullptr);
    const char* ClassName() const override { return "TCustomLineWSocket"; }

    bool LineMode() const { return FLineMode; }
    virtual void SetLineMode(bool Value);
    const std::string& LineEnd() const { return FLineEnd; }
    void SetLineEnd(const std::string& Value);
    virtual int SendLine(const std::string& Str);

    int LineLimit = 65536;  // 0: no limit
    bool LineEcho = false;
    bool LineEdit = false;
    TLineLimitExceeded OnLineLimitExceeded;

protected:
    void WndProc(win::TMessage& MsgRec) override;
    bool TriggerDataAvailable(uint16_t Error) override;
    void TriggerSessionClosed(uint16_t Error) override;
    void DropPlainInput() override;
    int GetRcvdCount() override;
    int DoRecv(void* Buffer, int BufferSize, int Flags) override;
    virtual void TriggerLineLimitExceeded(int Cnt, bool& ClearData);
    virtual void EditLine(int& Len);

    // The buffered bytes, oldest first.
    const char* lineData() const { return FLineBuf.data() + FLineHead; }
    int lineCount() const { return FLineCnt; }
    void dropHead(int n);
    void clearLineBuffer();

    bool FLineReceivedFlag = false;  // a line was found, or the connection closed
    bool FLineFound = false;         // a line was found in the current pass
    int FLineLength = 0;             // length of the ready line, LineEnd included

private:
    bool readIntoBuffer();
    void deliverLines();
    bool offerReadyLine();
    void deliverRaw();
    void checkLineLimit();
    bool skipOverlongTail();
    void redeliver();

    bool FLineMode = false;
    std::string FLineEnd = "\r\n";
    std::vector<char> FLineBuf;
    int FLineHead = 0;     // first unread byte in FLineBuf
    int FLineCnt = 0;      // unread bytes
    int FScanned = 0;      // bytes from the head known to hold no LineEnd
    bool FSkipTail = false;  // the rest of an over-long, thrown-away line is still coming
};

class TCustomSyncWSocket : public TCustomLineWSocket {
public:
    using TCustomLineWSocket::TCustomLineWSocket;
    const char* ClassName() const override { return "TCustomSyncWSocket"; }

    // 0 once Done is true; WAIT_TIMED_OUT after Timeout ms or a quit message.
    virtual int WaitUntilReady(bool& DoneFlag);
    virtual int Synchronize(const std::function<void()>& Proc, bool& DoneFlag);
    // One line, LineEnd included. Timeout: 0 is 60 s, negative is ms, positive is s.
    void ReadLine(int Timeout, std::string& Buffer);

    int Timeout() const { return FTimeout; }
    void SetTimeout(int ms) { FTimeout = ms; }

protected:
    int FTimeout = 0;  // ms; 0 waits without limit
};

}  // namespace net
