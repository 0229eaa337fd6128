#pragma once
// The TLS layer of the socket chain. Until TLS is switched on it passes
// everything through to the SOCKS layer below it.
#include "net/wsocket_socks.h"

namespace net {

class TCustomSslWSocket : public TCustomSocksWSocket {
public:
    using TCustomSocksWSocket::TCustomSocksWSocket;
    const char* ClassName() const override { return "TCustomSslWSocket"; }
};

}  // namespace net
