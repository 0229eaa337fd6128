#pragma once
// Synthetic message rows with realistic header texts and about 600 bytes of
// first lines each, for the message-list benchmarks.
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "mailbox/msgrows.h"

namespace bench {

struct Synth {
    std::mt19937 rnd{42};
    std::vector<std::string> words{"invoice", "Meeting", "report", "budget", "LUNCH", "offer", "news", "update",
                                   "Re:",     "Fwd:",    "urgent", "weekly", "team",  "project", "order", "delivery"};
    // Display names in several scripts and letter cases, so that sorting by
    // From folds accents and non-ASCII case.
    std::vector<std::string> names{"\xc3\x89mile", "emile", "Zo\xc3\xab", "zoe", "J\xc3\xbcrgen", "jurgen", "\xc3\x91" "and\xc3\xba",
                                   "\xc3\x98yvind", "\xd0\x9e\xd0\xbb\xd1\x8c\xd0\xb3\xd0\xb0", "\xce\xa3\xce\xbf\xcf\x86\xce\xaf\xce\xb1", "Stra\xc3\x9f" "e", "ALICE", "bob", "Marie-\xc3\x88ve"};
    std::string word() { return words[rnd() % words.size()]; }
    std::string name() { return names[rnd() % names.size()]; }
    std::string from() { return "\"" + name() + " " + word() + "\" <" + word() + std::to_string(rnd() % 5000) + "@example.org>"; }
    std::string subject() { return word() + " " + word() + " " + word() + " #" + std::to_string(rnd() % 100000); }
    std::string date() {
        static const char* days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
        static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        char buf[64];
        std::snprintf(buf, sizeof buf, "%s, %u %s %u %02u:%02u:%02u +0%u00", days[rnd() % 7], unsigned(1 + rnd() % 28),
                      months[rnd() % 12], unsigned(2000 + rnd() % 27), unsigned(rnd() % 24), unsigned(rnd() % 60),
                      unsigned(rnd() % 60), unsigned(rnd() % 10));
        return buf;
    }
    std::string firstLines() {
        std::string s;
        while (s.size() < 600) s += word() + " ";
        return s;
    }
    // Rows 0..Rows-1 of a store that already has them, numbered from 1.
    void fill(mailbox::TRowStore& store, int rows) {
        for (int i = 0; i < rows; ++i) {
            store.Row(i).MessageNo = i + 1;
            store.Row(i).Size = static_cast<int64_t>(rnd() % 200000);
            store.SetText(i, mailbox::rtFrom, from());
            store.SetText(i, mailbox::rtTo, "user@example.com");
            store.SetText(i, mailbox::rtSubject, subject());
            store.SetText(i, mailbox::rtOrgDate, date());
            store.SetText(i, mailbox::rtFirstlines, firstLines());
            store.SetText(i, mailbox::rtCharset, "utf-8");
        }
    }
};

}  // namespace bench
