// Words per second through the word engine with the HTML and address
// filters, over an HTML page made of the licence texts every Debian system
// carries: through the string parser, through the control parser (lines
// kept, and the whole page as one line), and with every word checked
// against the compiled British dictionary by the component's engine.
//
//   bench_spell_parse [DICT]
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "spell/lx3spellbase.h"
#include "spell/lx3stringparser.h"
#include "spell/lx3winapiparser.h"

using namespace spell;

namespace {

class TLinesTarget : public TTextTarget {
public:
    explicit TLinesTarget(std::vector<std::string> lines) : lines_(std::move(lines)) {}
    int LineCount() override { return static_cast<int>(lines_.size()); }
    std::string Line(int Y) override { return lines_[static_cast<size_t>(Y)]; }
    void GetSelection(int64_t& StartX, int& StartY, int64_t& EndX, int& EndY) override { StartX = EndX = 0, StartY = EndY = 0; }
    void Select(int64_t, int, int64_t, int) override {}
    void ReplaceSelection(std::string_view) override {}
    void CenterSelection() override {}
    TLxRect ControlScreenRect() override { return {}; }
    TLxRect RangeScreenRect(int64_t, int64_t, int) override { return {}; }
    bool IsRichEdit() override { return false; }
    ui::TWinControl* Control() override { return nullptr; }

private:
    std::vector<std::string> lines_;
};

std::vector<std::string> pageLines() {
    std::vector<std::string> lines = {"<html><body>"};
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator("/usr/share/common-licenses")) {
        if (!e.is_regular_file()) continue;
        std::ifstream in(e.path(), std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            if (++n % 10 == 0) line += " see <a href=\"https://www.example.org/licences\">https://www.example.org/</a>";
            lines.push_back("<p class=\"text\">" + line + "</p>");
        }
    }
    lines.push_back("</body></html>");
    return lines;
}

void report(const char* what, size_t bytes, const std::function<size_t()>& run) {
    const auto t0 = std::chrono::steady_clock::now();
    const size_t words = run();
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%-44s %8zu words %7.1f ms %6.2f Mwords/s %6.1f MB/s\n", what, words, s * 1e3, words / s / 1e6,
                bytes / s / 1e6);
}

size_t count(TParsingEngine& engine) {
    size_t n = 0;
    while (!engine.NextWord().empty()) ++n;
    return n;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dict = argc > 1 ? argv[1] : BRITISH_LXM;
    std::vector<std::string> lines = pageLines();
    std::string page;
    for (const auto& l : lines) page += l + "\r\n";
    std::string oneLine;
    for (const auto& l : lines) oneLine += l + " ";
    // Four copies, so each run takes long enough to time.
    for (int i = 0; i < 2; ++i) {
        page += page;
        oneLine += oneLine;
        const auto size = lines.size();
        for (size_t k = 0; k < size; ++k) lines.push_back(lines[k]);
    }
    std::printf("page: %zu bytes, %zu lines\n", page.size(), lines.size());

    TLexiroSpell3Base spell;
    spell.WriteConfigStorage(csNone);
    spell.WriteLearnSuggestions(false);
    spell.WriteDefaultActiveCustom("");
    spell.WriteDefaultMain({dict});
    spell.WriteDefaultOptions({soHTML, soInternet, soNumbers, soUpcase});
    spell.Configuration().EnsureLoaded();
    if (spell.MainDictionaries().empty()) {
        std::fprintf(stderr, "cannot open %s\n", dict.c_str());
        return 1;
    }
    TMainParsingEngine& engine = spell.ParsingEngine();

    report("string parser, filters", page.size(), [&] {
        TStringParser p;
        p.Initialize(page);
        engine.Initialize(&p, ctAll);
        return count(engine);
    });
    report("control parser, lines, filters", page.size(), [&] {
        TWinAPIControlParser p(std::make_unique<TLinesTarget>(lines));
        engine.Initialize(&p, ctAll);
        return count(engine);
    });
    report("control parser, one line, filters", oneLine.size(), [&] {
        TWinAPIControlParser p(std::make_unique<TLinesTarget>(std::vector<std::string>{oneLine}));
        engine.Initialize(&p, ctAll);
        return count(engine);
    });
    size_t rejected = 0;
    report("string parser + WordAcceptable (British)", page.size(), [&] {
        TStringParser p;
        p.Initialize(page);
        engine.Initialize(&p, ctAll);
        size_t n = 0;
        for (std::string w = engine.NextWord(); !w.empty(); w = engine.NextWord(), ++n)
            if (!spell.WordAcceptable(w)) ++rejected;
        return n;
    });
    std::printf("words not accepted: %zu\n", rejected);
}
