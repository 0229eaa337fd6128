#pragma once
// The composer's character-set list: its entries (a name the message
// declares and a description), finding an entry, rewriting the body's
// declaration, and turning the UTF-8 body into the declared set.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "mail/mimeutils.h"

namespace composer {

struct TCharsetEntry {
    const char* name;         // as the message declares it
    const char* description;  // as the list shows it after the name
};

// The list's entries in their order: the sets known here that can be
// written (that have a converter).
const std::vector<TCharsetEntry>& CharsetEntries();
// An entry's text in the list: name + ", " + description.
std::string CharsetEntryText(const TCharsetEntry& e);
// The name of a list text: its first ","-separated field.
std::string CharsetName(std::string_view entryText);
// The first entry whose name equals Name without regard to case; -1 when none.
int FindCharset(std::string_view name);
// The first entry from Start on (wrapping, each tested once) whose text
// matches the search pattern without regard to case; -1 when none.
int SearchCharsets(std::string_view pattern, int start);

// Where the first declaration's value stands: from after ";charset=" (any
// case) to the first double quote after it, or the value of a META
// element's declaration in another form ("text/html; charset=x",
// charset="x", charset=x) when that comes first. False when there is none.
bool CharsetValueRange(std::string_view page, size_t& start, size_t& length);
// The body with its first ";charset=...\"" declaration naming Name. The
// declaration ends at the first double quote after "charset=": a longer
// match would swallow the page up to its last quote.
std::string RewriteCharsetDeclaration(std::string_view body, std::string_view name);
// The declared set of a page (the text after ";charset=" up to the quote);
// empty when it has none.
std::string DeclaredCharset(std::string_view page);

// What converting a UTF-8 text into a set gave: ok, known (the set has a
// converter), the bytes, and the first characters it cannot hold.
using TConversion = mail::TCharsetText;
// Converts the program's UTF-8 text, composed first (a letter typed as a
// base and a combining accent is one character), into the set named Name
// (a list name).
TConversion ToCharset(std::string_view utf8, std::string_view name);

}  // namespace composer
