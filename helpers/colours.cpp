// Colour names and values. Values hold red in the low byte (0x00BBGGRR);
// texts hold six hex digits red first.
#include <algorithm>
#include <utility>

#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"

namespace helpers {

namespace {

struct NamedColour {
    std::string_view name;
    std::string_view rgb;
};

// The CSS keywords (fourteen with values of their own), then further names.
constexpr NamedColour kColours[] = {
    {"aliceblue", "F0F8FF"}, {"antiquewhite", "FAEBD7"}, {"aqua", "00FFFF"}, {"aquamarine", "7FFFD4"},
    {"azure", "007FFF"}, {"beige", "F5F5DC"}, {"bisque", "FFE4C4"}, {"black", "000000"},
    {"blanchedalmond", "FFEBCD"}, {"blue", "0000FF"}, {"blueviolet", "8A2BE2"}, {"brown", "964B00"},
    {"burlywood", "DEB887"}, {"cadetblue", "5F9EA0"}, {"chartreuse", "7FFF00"}, {"chocolate", "7B3F00"},
    {"coral", "FF7F50"}, {"cornflowerblue", "6495ED"}, {"cornsilk", "FFF8DC"}, {"crimson", "DC143C"},
    {"cyan", "00FFFF"}, {"darkblue", "0000C8"}, {"darkcyan", "008B8B"}, {"darkgoldenrod", "B8860B"},
    {"darkgray", "A9A9A9"}, {"darkgreen", "006400"}, {"darkgrey", "A9A9A9"}, {"darkkhaki", "BDB76B"},
    {"darkmagenta", "8B008B"}, {"darkolivegreen", "556B2F"}, {"darkorange", "FF8C00"}, {"darkorchid", "9932CC"},
    {"darkred", "8B0000"}, {"darksalmon", "E9967A"}, {"darkseagreen", "8FBC8F"}, {"darkslateblue", "483D8B"},
    {"darkslategray", "2F4F4F"}, {"darkslategrey", "2F4F4F"}, {"darkturquoise", "00CED1"},
    {"darkviolet", "9400D3"}, {"deeppink", "FF1493"}, {"deepskyblue", "00BFFF"}, {"dimgray", "696969"},
    {"dimgrey", "696969"}, {"dodgerblue", "1E90FF"}, {"firebrick", "B22222"}, {"floralwhite", "FFFAF0"},
    {"forestgreen", "228B22"}, {"fuchsia", "FF00FF"}, {"gainsboro", "DCDCDC"}, {"ghostwhite", "F8F8FF"},
    {"gold", "FFD700"}, {"goldenrod", "DAA520"}, {"gray", "808080"}, {"grey", "808080"},
    {"green", "00FF00"}, {"greenyellow", "ADFF2F"}, {"honeydew", "F0FFF0"}, {"hotpink", "FF69B4"},
    {"indianred", "CD5C5C"}, {"indigo", "4B0082"}, {"ivory", "FFFFF0"}, {"khaki", "C3B091"},
    {"lavender", "B57EDC"}, {"lavenderblush", "FFF0F5"}, {"lawngreen", "7CFC00"}, {"lemonchiffon", "FFFACD"},
    {"lightblue", "ADD8E6"}, {"lightcoral", "F08080"}, {"lightcyan", "E0FFFF"},
    {"lightgoldenrodyellow", "FAFAD2"}, {"lightgray", "D3D3D3"}, {"lightgreen", "90EE90"},
    {"lightgrey", "D3D3D3"}, {"lightpink", "FFB6C1"}, {"lightsalmon", "FFA07A"}, {"lightseagreen", "20B2AA"},
    {"lightskyblue", "87CEFA"}, {"lightslategray", "778899"}, {"lightslategrey", "778899"},
    {"lightsteelblue", "B0C4DE"}, {"lightyellow", "FFFFE0"}, {"lime", "BFFF00"}, {"limegreen", "32CD32"},
    {"linen", "FAF0E6"}, {"magenta", "FF00FF"}, {"maroon", "800000"}, {"mediumaquamarine", "66CDAA"},
    {"mediumblue", "0000CD"}, {"mediumorchid", "BA55D3"}, {"mediumpurple", "9370DB"},
    {"mediumseagreen", "3CB371"}, {"mediumslateblue", "7B68EE"}, {"mediumspringgreen", "00FA9A"},
    {"mediumturquoise", "48D1CC"}, {"mediumvioletred", "C71585"}, {"midnightblue", "003366"},
    {"mintcream", "F5FFFA"}, {"mistyrose", "FFE4E1"}, {"moccasin", "FFE4B5"}, {"navajowhite", "FFDEAD"},
    {"navy", "000080"}, {"oldlace", "FDF5E6"}, {"olive", "808000"}, {"olivedrab", "6B8E23"},
    {"orange", "FFA500"}, {"orangered", "FF4500"}, {"orchid", "DA70D6"}, {"palegoldenrod", "EEE8AA"},
    {"palegreen", "98FB98"}, {"paleturquoise", "AFEEEE"}, {"palevioletred", "D87093"}, {"papayawhip", "FFEFD5"},
    {"peachpuff", "FFDAB9"}, {"peru", "CD853F"}, {"pink", "FFC0CB"}, {"plum", "DDA0DD"},
    {"powderblue", "B0E0E6"}, {"purple", "660099"}, {"red", "FF0000"}, {"rosybrown", "BC8F8F"},
    {"royalblue", "4169E1"}, {"saddlebrown", "8B4513"}, {"salmon", "FF8C69"}, {"sandybrown", "F4A460"},
    {"seagreen", "2E8B57"}, {"seashell", "FFF5EE"}, {"sienna", "A0522D"}, {"silver", "C0C0C0"},
    {"skyblue", "87CEEB"}, {"slateblue", "6A5ACD"}, {"slategray", "708090"}, {"slategrey", "708090"},
    {"snow", "FFFAFA"}, {"springgreen", "00FF7F"}, {"steelblue", "4682B4"}, {"tan", "D2B48C"},
    {"teal", "008080"}, {"thistle", "D8BFD8"}, {"tomato", "FF6347"}, {"turquoise", "30D5C8"},
    {"violet", "8B00FF"}, {"wheat", "F5DEB3"}, {"white", "FFFFFF"}, {"whitesmoke", "F5F5F5"},
    {"yellow", "FFFF00"}, {"yellowgreen", "9ACD32"},
    {"alizarincrimson", "E32636"}, {"amaranth", "E52B50"}, {"amber", "FFBF00"}, {"amethyst", "9966CC"},
    {"apricot", "FBCEB1"}, {"asparagus", "7BA05B"}, {"babyblue", "E0FFFF"}, {"bistre", "3D2B1F"},
    {"blazeorange", "FF6600"}, {"bondiblue", "0095B6"}, {"brightgreen", "66FF00"},
    {"brightturquoise", "08E8DE"}, {"buff", "F0DC82"}, {"burgundy", "900020"}, {"burntorange", "CC5500"},
    {"burntsienna", "E97451"}, {"burntumber", "8A3324"}, {"camouflagegreen", "78866B"}, {"cardinal", "C41E3A"},
    {"carmine", "960018"}, {"carnation", "F95A61"}, {"carrotorange", "ED9121"}, {"celadon", "ACE1AF"},
    {"cerise", "DE3163"}, {"cerulean", "007BA7"}, {"ceruleanblue", "2A52BE"}, {"chartreuseyellow", "DFFF00"},
    {"chestnut", "CD5C5C"}, {"cinnabar", "E34234"}, {"cinnamon", "D2691E"}, {"cobalt", "0047AB"},
    {"colorwheelorange", "FF7F00"}, {"copper", "B87333"}, {"copperrose", "996666"}, {"coralred", "FF4040"},
    {"corn", "FBEC5D"}, {"cream", "FFFDD0"},
    {"darkpowderblue", "003399"}, {"denim", "1560BD"}, {"eggplant", "990066"}, {"eggplantviolet", "991199"},
    {"emerald", "50C878"}, {"falured", "801818"}, {"ferngreen", "4F7942"}, {"flax", "EEDC82"},
    {"frenchrose", "F64A8A"}, {"gamboge", "E49B0F"}, {"grayasparagus", "465945"}, {"greyasparagus", "465945"},
    {"harlequin", "3FFF00"}, {"heliotrope", "DF73FF"}, {"hollywoodcerise", "F400A1"}, {"hotmagenta", "FF00CC"},
    {"internationalorange", "FF4F00"}, {"jade", "00A86B"}, {"kleinblue", "002FA7"}, {"lavenderblue", "CCCCFF"},
    {"lavendergray", "BDBBD7"}, {"lavendergrey", "BDBBD7"}, {"lavendermagenta", "EE82EE"},
    {"lavenderpink", "FBAED2"}, {"lavenderpurple", "967BB6"}, {"lavenderrose", "FBA0E3"}, {"lemon", "FDE910"},
    {"lilac", "C8A2C8"}, {"malachite", "0BDA51"}, {"mauve", "E0B0FF"}, {"mediumcarmine", "AF4035"},
    {"mintgreen", "98FF98"}, {"mossgreen", "ADDFAD"}, {"mountbattenpink", "997A8D"}, {"mustard", "FFDB58"},
    {"navyblue", "000080"},
    {"ochre", "CC7722"}, {"oldgold", "CFB53B"}, {"oldlavender", "796878"}, {"oldrose", "C08081"},
    {"olivine", "9AB973"}, {"orangepeel", "FFA000"}, {"pastelgreen", "77DD77"}, {"pastelpink", "FFD1DC"},
    {"peach", "FFE5B4"}, {"peachorange", "FFCC99"}, {"peachyellow", "FADFAD"}, {"pear", "D1E231"},
    {"periwinkle", "CCCCFF"}, {"persianblue", "1C39BB"}, {"persiangreen", "00A693"}, {"persianindigo", "32127A"},
    {"persianpink", "F77FBE"}, {"persianred", "CC3333"}, {"persianrose", "FE28A2"}, {"pinegreen", "01796F"},
    {"pinkorange", "FF9966"}, {"pomegranate", "F34723"}, {"prussianblue", "003153"}, {"puce", "CC8899"},
    {"pumpkin", "FF7518"},
    {"rawumber", "734A12"}, {"redviolet", "C71585"}, {"robineggblue", "00CCCC"}, {"rose", "FF007F"},
    {"russet", "80461B"}, {"rust", "B7410E"}, {"safetyorange", "FF6600"}, {"saffron", "F4C430"},
    {"sangria", "92000A"}, {"sapphire", "082567"}, {"scarlet", "FF2400"}, {"schoolbusyellow", "FFD800"},
    {"selectiveyellow", "FFBA00"}, {"sepia", "704214"}, {"shockingpink", "FC0FC0"}, {"smalt", "003399"},
    {"swampgreen", "ACB78E"},
    {"tangerine", "F28500"}, {"tangerineyellow", "FFCC00"}, {"taupe", "483C32"}, {"tawny", "CD5700"},
    {"teagreen", "D0F0C0"}, {"terracotta", "E2725B"}, {"tyrianpurple", "66023C"}, {"ultramarine", "120A8F"},
    {"vermilion", "FF4D00"}, {"viridian", "40826D"}, {"webazure", "F0FFFF"}, {"webbrown", "A52A2A"},
    {"webdarkblue", "00008B"}, {"webgreen", "008000"}, {"webkhaki", "F0E68C"}, {"weblavender", "E6E6FA"},
    {"webmediumpurple", "9370D8"}, {"webmidnightblue", "191970"}, {"webpurple", "800080"},
    {"websalmon", "FA8072"}, {"webturquoise", "40E0D0"}, {"wisteria", "C9A0DC"}, {"x11khaki", "F0E68C"},
    {"zinnwaldite", "EBC2AF"},
};

}  // namespace

std::string colorbyname(std::string_view name) {
    const std::string cleaned = replaceall(rtl::LowerCase(name), " ", "", true);
    for (const auto& c : kColours)
        if (c.name == cleaned) return std::string(c.rgb);
    return cleaned;
}

std::string swaprb(std::string_view text) {
    const std::string t = text.size() > 6 ? std::string(text.substr(0, 6)) : padstr(text, 6, '0', true);
    return t.substr(4, 2) + t.substr(2, 2) + t.substr(0, 2);
}

int32_t colorvalue(std::string_view text) {
    if (text.empty()) return 0xFFFFFF;
    const std::string t = text[0] == '#' ? std::string(text) : "#" + colorbyname(text);
    return rtl::StrToIntDef("0x" + swaprb(rtl::Copy(t, 2, 6)), 0xFFFFFF);
}

}  // namespace helpers
