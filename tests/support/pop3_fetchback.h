#pragma once
// Reads back, with our own POP3 client, a message that an MTA delivers into
// a test mailbox on its own time: the mailbox is looked at, newest first,
// until a message whose headers Match accepts is there, or 30 s pass.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "mail/pop3prot.h"
#include "platform/win/pump.h"

namespace testsupport {

inline std::string FetchBack(const std::string& port, const std::string& user, const std::string& password,
                             const std::function<bool(mail::TSyncPop3Cli&)>& match) {
    const uint32_t start = win::GetTickCount();
    while (win::TicksSince(start) < 30000) {
        mail::TSyncPop3Cli pop;
        pop.Host = "127.0.0.1";
        pop.Port = port;
        pop.UserName = user;
        pop.PassWord = password;
        std::string message;
        pop.OnMessageLine = [&](rtl::TObject*) { message += pop.LastResponse() + "\r\n"; };
        EXPECT_TRUE(pop.ConnectSync() && pop.UserSync() && pop.PassSync() && pop.StatSync()) << pop.ErrorMessage();
        for (int n = pop.MsgCount(); n >= 1; --n) {
            pop.MsgNum = n;
            pop.MsgLines = 0;
            if (!pop.TopSync() || !match(pop)) continue;
            message.clear();
            EXPECT_TRUE(pop.RetrSync()) << pop.ErrorMessage();
            pop.QuitSync();
            return message;
        }
        pop.QuitSync();
        win::PumpFor(200);
    }
    return {};
}

}  // namespace testsupport
