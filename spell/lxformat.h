#pragma once
// What the suite's dictionary files have in common with the tools that
// write them: the banners and the main dictionary's fixed sizes.
#include <cstdint>
#include <string_view>

namespace spell {

// The three lines after each banner's first line say whose files these are.
#define LX_BANNER_TAIL                     \
    "Pelliwox spell suite word stores\r\n" \
    "Written by its own tools.\r\n"        \
    "8-bit word lists.\r\n"                \
    "\r\n"

// The main dictionary's banner (the file's first 123 bytes).
constexpr std::string_view LxmBanner = "Lexiro Dictionary Compiler, Version 4.0\r\n" LX_BANNER_TAIL;
static_assert(LxmBanner.size() == 123);
// The user dictionary's banner; its zero byte follows it in the file.
constexpr std::string_view LxuBanner = "Lexiro User Dictionary, Version 4.0\r\n" LX_BANNER_TAIL;
static_assert(LxuBanner.size() == 119);
// The thesaurus's banner, at the start of its 165-byte header (the rest of
// the header is zeros; readers skip it whole).
constexpr std::string_view LxtBanner = "Lexiro Thesaurus Compiler, Version 4.0\r\n" LX_BANNER_TAIL;
static_assert(LxtBanner.size() == 122);

#undef LX_BANNER_TAIL

namespace lxm {

constexpr uint64_t BannerBlock = 1024;
constexpr unsigned MaxTitle = 256;       // characters, without the terminator
constexpr int Classes = 9;               // node classes 0..8, k extra characters each
constexpr uint32_t NoChildren = 0xFFFFF; // child reference of a childless node
constexpr uint32_t MaxReference = 0xFFFFF;
constexpr uint32_t MaxDirectCount = 7;   // child counts above go to a count byte
constexpr uint32_t MaxChildren = 255;
// Below this many nodes linkage indexes take 2 bytes little-endian; from it
// on 2 or 3 bytes big-endian.
constexpr uint64_t WideLinkage = 0xFFFF;
constexpr uint64_t FirstLetterTable = 2048;
constexpr uint64_t TrailingBlock = 1024;

inline uint32_t NodeCharacter(uint32_t v) { return v & 0xFF; }
inline uint32_t NodeReference(uint32_t v) { return (v >> 8) & 0xFFFFF; }
inline uint32_t NodeCount(uint32_t v) { return (v >> 28) & 7; }
inline bool NodeEndsWord(uint32_t v) { return (v >> 31) != 0; }
inline uint32_t MakeNode(unsigned char c, uint32_t ref, uint32_t count, bool eow) {
    return c | (ref << 8) | (count << 28) | (eow ? 0x80000000u : 0);
}

}  // namespace lxm

namespace lxt {

constexpr uint64_t HeaderBytes = 165;
constexpr int Kinds = 5;                  // kind 0, then one per word list
constexpr int Lists = 4;
constexpr uint64_t MaxNodes = 0x10000;    // node numbers are 16 bits
constexpr uint32_t MaxOffset = 0xFFFFF;   // a node's record offset, 20 bits
constexpr uint32_t MaxLink = 0xFFFF;      // entry x Kinds + kind, 16 bits
constexpr uint32_t MaxCount = 255;        // children and links per node
constexpr uint64_t MasterBytes = 14;      // headword, four counts, offset
// Not the layout's limits but sense: the longest word a file may spell, and
// the most words one lookup may bring (a damaged file could otherwise name
// the same long lists over and over).
constexpr uint64_t MaxWordBytes = 255;
constexpr uint64_t MaxLookupWords = 65536;

constexpr uint32_t EndsWord = 1u << 23;
constexpr uint32_t HasTail = 1u << 22;
constexpr uint32_t HasParent = 1u << 21;
constexpr uint32_t OneChild = 1u << 20;

inline unsigned char NodeCharacter(uint32_t v) { return static_cast<unsigned char>(v >> 24); }
inline uint32_t NodeOffset(uint32_t v) { return v & MaxOffset; }

}  // namespace lxt
}  // namespace spell
