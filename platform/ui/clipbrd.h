#pragma once
// The clipboard's text.
#include <string>

#include "platform/ui/props.h"

namespace ui {

class TClipboard {
    std::string getAsText() const;
    void setAsText(std::string v);

public:
    TClipboard() = default;
    TClipboard(const TClipboard&) = delete;
    // UTF-8; line breaks come as CR LF and go in as any of CR LF, CR, LF.
    TProp<TClipboard, std::string, &TClipboard::getAsText, &TClipboard::setAsText> AsText{this};
    bool HasText() const;
    void Clear();
};

TClipboard* Clipboard();

}  // namespace ui
