#pragma once
// The copy of a page that another browser may open: the page read with the
// tokenizer a browser uses and written out again with only the elements and
// attributes kept that can neither run anything nor fetch from elsewhere.
// What comes out is plain markup every parser reads the same way: tags of a
// fixed list, attribute values in double quotes, all text escaped, style
// text without "<", no foreign (SVG, MathML) content.
#include <string>
#include <string_view>

namespace mailbox {

// The whole copy: a strict content policy and the character set first,
// then the page's safe markup.
std::string SafeBrowserPage(std::string_view page);

// Style text (a style attribute or the content of a style element) with
// escapes read, every remote or unknown function disabled and imports
// dropped.
std::string SafeCss(std::string_view css);

// Whether a URL, as a browser reads it (entities already decoded), names
// only something on this machine: a relative path, a file on this host, or
// an inline picture when pictures are allowed.
bool LocalUrl(std::string_view url, bool inlinePicture);

}  // namespace mailbox
