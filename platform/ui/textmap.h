#pragma once
// Positions between the program's texts and the widgets' (library-internal).
// The program's texts are UTF-8 with CR LF line breaks and count positions
// in bytes; the widgets hold UTF-16 with one character per line break. A
// text map, built once per text, converts both ways in logarithmic time.
#include <QString>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ui::detail {

// UTF-8 with any line break (CR LF, CR, LF) to widget text with one break
// character per line break.
QString ToWidgetText(std::string_view text, QChar lineBreak = QChar('\n'));
// Widget text to UTF-8; every break character (LF, paragraph or line
// separator) becomes CR LF.
std::string FromWidgetText(const QString& text);
// UTF-8 to UTF-16 and back, with no line-break handling.
QString Q(std::string_view text);
std::string S(const QString& text);

class TTextMap {
public:
    TTextMap() = default;
    explicit TTextMap(const QString& widgetText) { Build(widgetText); }
    void Build(const QString& widgetText);

    // Bytes of the program's text before widget position Pos (clamped).
    int64_t ToBytes(int pos) const;
    // The widget position of program byte offset Bytes (clamped). A byte
    // inside a character (or between the CR and LF of a break) gives the
    // character's start, or its end when RoundUp is set.
    int ToChars(int64_t bytes, bool roundUp = false) const;
    int64_t ByteLength() const { return bytes_; }
    int CharLength() const { return static_cast<int>(text_.size()); }
    const QString& Text() const { return text_; }

private:
    struct Mark {
        int pos;
        int64_t bytes;
    };
    int unitsAt(int pos) const;        // UTF-16 units of the character at Pos
    int64_t bytesAt(int pos) const;    // its UTF-8 bytes

    QString text_;
    std::vector<Mark> marks_;  // every ~512 units, always at a character start
    int64_t bytes_ = 0;
};

}  // namespace ui::detail
