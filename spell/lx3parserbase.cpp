// Control parsers: what every parser shares.
#include "spell/lx3parserbase.h"

namespace spell {

bool ValidRepeatedWord(std::string_view Word, TControlParser& Parser) {
    if (Word.empty()) return false;
    int64_t x;
    int y;
    Parser.GetPosition(x, y);
    auto check = [&] {
        for (size_t i = 0; i <= Word.size(); ++i)
            if (!Parser.MovePrevious()) return false;
        if (Parser.GetChar() != ' ') return false;
        for (size_t i = Word.size(); i-- > 0;) {
            if (!Parser.MovePrevious()) return false;
            if (Parser.GetChar() != static_cast<unsigned char>(Word[i])) return false;
        }
        return true;
    };
    const bool repeated = check();
    Parser.SetPosition(x, y, ptCurrent);
    return repeated;
}

}  // namespace spell
