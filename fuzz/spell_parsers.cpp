// The word engine, the parsers and the ignore filters over arbitrary text:
// the first byte picks the options (French elision, an incomplete last
// word, which filters, a range), the rest is the text, read once through
// the string parser and once as lines through the control parser, with
// every third word replaced. Each run must end: every step moves on.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "spell/lx3ignore.h"
#include "spell/lx3parseengine.h"
#include "spell/lx3stringparser.h"
#include "spell/lx3winapiparser.h"

namespace {

using namespace spell;

class TLinesTarget : public TTextTarget {
public:
    explicit TLinesTarget(std::vector<std::string> lines) : lines_(std::move(lines)) {}
    int LineCount() override { return static_cast<int>(lines_.size()); }
    std::string Line(int Y) override { return Y >= 0 && Y < LineCount() ? lines_[static_cast<size_t>(Y)] : ""; }
    void GetSelection(int64_t& StartX, int& StartY, int64_t& EndX, int& EndY) override {
        StartX = sx_, StartY = sy_, EndX = ex_, EndY = ey_;
    }
    void Select(int64_t StartX, int StartY, int64_t EndX, int EndY) override {
        sx_ = StartX, sy_ = StartY, ex_ = EndX, ey_ = EndY;
    }
    void ReplaceSelection(std::string_view Text) override {
        if (sy_ != ey_ || sy_ < 0 || sy_ >= LineCount()) return;
        std::string& line = lines_[static_cast<size_t>(sy_)];
        const size_t from = static_cast<size_t>(std::clamp<int64_t>(sx_, 0, static_cast<int64_t>(line.size())));
        const size_t to = static_cast<size_t>(std::clamp<int64_t>(ex_, static_cast<int64_t>(from), static_cast<int64_t>(line.size())));
        line.replace(from, to - from, Text);
        sx_ = ex_ = static_cast<int64_t>(from + Text.size());
    }
    void CenterSelection() override {}
    TLxRect ControlScreenRect() override { return {}; }
    TLxRect RangeScreenRect(int64_t, int64_t, int) override { return {}; }
    bool IsRichEdit() override { return false; }
    ui::TWinControl* Control() override { return nullptr; }

private:
    std::vector<std::string> lines_;
    int64_t sx_ = 0, ex_ = 0;
    int sy_ = 0, ey_ = 0;
};

std::vector<std::unique_ptr<TParserIgnore>> filters(uint8_t mask) {
    std::vector<std::unique_ptr<TParserIgnore>> list;
    if (mask & 1) list.push_back(std::make_unique<THTMLIgnore>());
    if (mask & 2) list.push_back(std::make_unique<TURLIgnore>());
    list.push_back(std::make_unique<TQuotedLineIgnore>(">|"));
    list.push_back(std::make_unique<TUppercaseWordIgnore>());
    list.push_back(std::make_unique<TNumbersIgnore>());
    list.push_back(std::make_unique<TAbbreviationsIgnore>());
    return list;
}

void run(TControlParser& parser, uint8_t options, TCheckType type) {
    auto list = filters(options);
    TMainParsingEngine engine;
    engine.SetFrenchExceptions(options & 4);
    engine.AllowIncompleteLastWord = options & 8;
    engine.OnInlineIgnore = [&](unsigned char c, TControlParser& p, bool& skip) {
        for (auto& f : list)
            if (f->NeededBeforeCheck() && f->ExecuteIgnore(c, p)) skip = true;
    };
    engine.OnPreCheckIgnore = [&](const std::string& w, TControlParser& p, bool& skip) {
        for (auto& f : list)
            if (f->NeededBeforeCheck() && f->ExecuteWordIgnorePreCheck(w, p)) skip = true;
    };
    engine.Initialize(&parser, type);
    std::string previous;
    int n = 0;
    for (std::string w = engine.NextWord(); !w.empty() && n < 100000; w = engine.NextWord(), ++n) {
        // The post-check runs on unknown words only; a sample stands for them.
        if (n % 16 == 0)
            for (auto& f : list) {
                f->ExecuteWordIgnorePostCheck(w, parser);
                f->ExecuteLineIgnore(parser.GetLine());
            }
        IsDecimalNumeral(w);
        if (w == previous) ValidRepeatedWord(w, parser);
        previous = w;
        if (n % 3 == 2 && !(options & 8)) {
            parser.SelectWord(static_cast<int64_t>(w.size()));
            parser.ReplaceWord(n % 2 ? "x" : "replacement", 0);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t options = data[0];
    std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    {
        TStringParser parser;
        parser.Initialize(text);
        run(parser, options, ctAll);
    }
    std::vector<std::string> lines(1);
    for (const char c : std::string(reinterpret_cast<const char*>(data) + 1, size - 1)) {
        if (c == '\n') lines.emplace_back();
        else lines.back() += c;
    }
    auto target = std::make_unique<TLinesTarget>(lines);
    // A range from the middle of the first line to the middle of the last.
    if (options & 16) target->Select(static_cast<int64_t>(lines.front().size() / 2), 0,
                                      static_cast<int64_t>(lines.back().size() / 2), static_cast<int>(lines.size() - 1));
    TWinAPIControlParser parser(std::move(target));
    run(parser, options, options & 16 ? ctSelected : ctAll);
    return 0;
}
