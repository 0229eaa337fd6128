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

}  // namespace net
