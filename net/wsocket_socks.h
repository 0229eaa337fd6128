#pragma once
// Connecting through a SOCKS 4, 4A or 5 proxy (with user-name authentication
// for 5). With SocksServer set, Connect reaches the proxy, runs the proxy
// exchange on the connection's first bytes, and only then reports the
// session as connected, so the layers above see an ordinary connection.
#include <string>
#include <vector>

#include "net/wsocket.h"

namespace net {

enum TSocksAuthentication { socksNoAuthentication, socksAuthenticateUsercode };
enum TSocksAuthState { socksAuthStart, socksAuthSuccess, socksAuthFailure, socksAuthNotRequired };

using TSocksErrorEvent = std::function<void(rtl::TObject* Sender, int Error, const std::string& Msg)>;
using TSocksAuthStateEvent = std::function<void(rtl::TObject* Sender, TSocksAuthState AuthState)>;

// Error codes of the proxy exchange.
enum : int {
    socksProtocolError = 20001,
    socksVersionError = 20002,
    socksAuthMethodError = 20003,
    socksGeneralFailure = 20004,
    socksConnectionNotAllowed = 20005,
    socksNetworkUnreachable = 20006,
    socksHostUnreachable = 20007,
    socksConnectionRefused = 20008,
    socksTtlExpired = 20009,
    socksUnknownCommand = 20010,
    socksUnknownAddressType = 20011,
    socksUnassignedError = 20012,
    socksInternalError = 20013,
    socksAuthenticationFailed = 20015,
    socksRejectedOrFailed = 20016,
    socksHostResolutionFailed = 20017,
};

class TCustomSocksWSocket : public TCustomWSocket {
public:
    explicit TCustomSocksWSocket(rtl::TComponent* owner = nullptr);
    const char* ClassName() const override { return "TCustomSocksWSocket"; }

    void Connect() override;
    void Listen() override;

    const std::string& SocksServer() const { return FSocksServer; }
    virtual void SetSocksServer(const std::string& v);
    const std::string& SocksPort() const { return FSocksPort; }
    virtual void SetSocksPort(const std::string& v);
    const std::string& SocksLevel() const { return FSocksLevel; }
    void SetSocksLevel(const std::string& v);
    std::string SocksUsercode;
    std::string SocksPassword;
    TSocksAuthentication SocksAuthentication = socksNoAuthentication;
    // Milliseconds the proxy has, from Connect, to bring the connection to
    // the target up; then the exchange fails with WSAETIMEDOUT. However the
    // proxy dribbles its bytes, the clock does not restart. 0: no limit.
    int SocksTimeout = 30000;

    TSessionEvent OnSocksConnected;
    TSocksErrorEvent OnSocksError;
    TSocksAuthStateEvent OnSocksAuthState;

protected:
    enum TSocksState { socksData, socksNegociateMethods, socksAuthenticate, socksConnect };

    void AssignDefaultValue() override;
    void WndProc(win::TMessage& MsgRec) override;
    void TriggerSessionConnectedSpecial(uint16_t Error) override;
    bool TriggerDataAvailable(uint16_t Error) override;
    void TriggerSessionClosed(uint16_t Error) override;
    void Do_FD_CLOSE(uint16_t ErrCode) override;
    int GetRcvdCount() override;
    int DoRecv(void* Buffer, int BufferSize, int Flags) override;
    virtual void TriggerSocksConnected(uint16_t Error);
    virtual void TriggerSocksError(int Error, const std::string& Msg);
    virtual void TriggerSocksAuthState(TSocksAuthState AuthState);
    void SocksDoConnect();
    void SocksDoAuthenticate();
    void DataAvailableError(int ErrCode, const std::string& Msg);

    bool socksExchangeRunning() const { return FSocksServerAssigned && FSocksState != socksData; }

private:
    void handleMethodReply();
    void handleAuthReply();
    void handleLevel4Reply();
    void handleLevel5Reply();
    void socksSucceeded();
    void stopSocksTimer();
    void sendRequest(const std::vector<uint8_t>& bytes);

    std::string FSocksServer, FSocksPort, FSocksLevel = "5";
    bool FSocksServerAssigned = false, FSocksPortAssigned = false;
    TSocksState FSocksState = socksData;
    uint8_t FSocksMethod = 0;
    uint16_t FSocksTargetPort = 0;  // network order
    // The proxy's replies, and after the final one the target's first bytes.
    std::vector<uint8_t> FRcvBuf;
    int FRcvCnt = 0;
    int FRcvdPtr = 0;  // where the kept bytes start
    int FRcvdCnt = 0;  // how many are kept
};

}  // namespace net
