#pragma once
// The published sockets: every layer of the chain, switched on by properties.
#include "net/wsocket_line.h"

namespace net {

class TWSocket : public TCustomSyncWSocket {
public:
    using TCustomSyncWSocket::TCustomSyncWSocket;
    const char* ClassName() const override { return "TWSocket"; }
};

class TSocksWSocket : public TWSocket {
public:
    using TWSocket::TWSocket;
    const char* ClassName() const override { return "TSocksWSocket"; }
};

// The socket the TLS clients own: the same chain, with TLS switched on by
// SslEnable and a context.
class TSslWSocket : public TWSocket {
public:
    using TWSocket::TWSocket;
    const char* ClassName() const override { return "TSslWSocket"; }
};

}  // namespace net
