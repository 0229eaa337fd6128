#include "platform/ui/textmap.h"

#include <algorithm>

namespace ui::detail {

namespace {

constexpr int kMarkEvery = 512;

bool isBreak(QChar c) {
    return c == QChar('\n') || c == QChar::ParagraphSeparator || c == QChar::LineSeparator;
}

}  // namespace

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

std::string S(const QString& text) {
    const QByteArray b = text.toUtf8();
    return std::string(b.constData(), static_cast<size_t>(b.size()));
}

QString ToWidgetText(std::string_view text, QChar lineBreak) {
    std::string flat;
    flat.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            flat += '\n';
        } else {
            flat += c;
        }
    }
    QString w = Q(flat);
    if (lineBreak != QChar('\n')) w.replace(QChar('\n'), lineBreak);
    return w;
}

std::string FromWidgetText(const QString& text) {
    QString w;
    w.reserve(text.size() + text.size() / 16);
    for (QChar c : text) {
        if (isBreak(c)) w += QStringLiteral("\r\n");
        else w += c;
    }
    return S(w);
}

int TTextMap::unitsAt(int pos) const {
    const QChar c = text_[pos];
    if (c.isHighSurrogate() && pos + 1 < text_.size() && text_[pos + 1].isLowSurrogate()) return 2;
    return 1;
}

int64_t TTextMap::bytesAt(int pos) const {
    const QChar c = text_[pos];
    if (isBreak(c)) return 2;
    if (unitsAt(pos) == 2) return 4;
    const char16_t u = c.unicode();
    if (u < 0x80) return 1;
    if (u < 0x800) return 2;
    return 3;  // the rest of the BMP, and a lone surrogate written as U+FFFD
}

void TTextMap::Build(const QString& widgetText) {
    text_ = widgetText;
    marks_.clear();
    marks_.push_back({0, 0});
    int64_t bytes = 0;
    int next = kMarkEvery;
    for (int pos = 0; pos < text_.size();) {
        if (pos >= next) {
            marks_.push_back({pos, bytes});
            next = pos + kMarkEvery;
        }
        bytes += bytesAt(pos);
        pos += unitsAt(pos);
    }
    bytes_ = bytes;
}

int64_t TTextMap::ToBytes(int pos) const {
    pos = std::clamp(pos, 0, CharLength());
    auto it = std::upper_bound(marks_.begin(), marks_.end(), pos,
                               [](int p, const Mark& m) { return p < m.pos; });
    const Mark& m = *std::prev(it);
    int64_t bytes = m.bytes;
    for (int p = m.pos; p < pos;) {
        const int units = unitsAt(p);
        if (p + units > pos) break;  // Pos inside a surrogate pair counts from its start
        bytes += bytesAt(p);
        p += units;
    }
    return bytes;
}

int TTextMap::ToChars(int64_t bytes, bool roundUp) const {
    if (bytes <= 0) return 0;
    if (bytes >= bytes_) return CharLength();
    auto it = std::upper_bound(marks_.begin(), marks_.end(), bytes,
                               [](int64_t b, const Mark& m) { return b < m.bytes; });
    const Mark& m = *std::prev(it);
    int pos = m.pos;
    int64_t at = m.bytes;
    while (pos < CharLength()) {
        const int64_t next = at + bytesAt(pos);
        if (next > bytes) return at == bytes || !roundUp ? pos : pos + unitsAt(pos);
        at = next;
        pos += unitsAt(pos);
    }
    return pos;
}

}  // namespace ui::detail
