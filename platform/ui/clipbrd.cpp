#include "platform/ui/clipbrd.h"

#include <QClipboard>
#include <QGuiApplication>

#include "platform/ui/textmap.h"

namespace ui {

std::string TClipboard::getAsText() const { return detail::FromWidgetText(QGuiApplication::clipboard()->text()); }
void TClipboard::setAsText(std::string v) { QGuiApplication::clipboard()->setText(detail::ToWidgetText(v)); }
bool TClipboard::HasText() const { return !QGuiApplication::clipboard()->text().isEmpty(); }
void TClipboard::Clear() { QGuiApplication::clipboard()->clear(); }

TClipboard* Clipboard() {
    static TClipboard clipboard;
    return &clipboard;
}

}  // namespace ui
