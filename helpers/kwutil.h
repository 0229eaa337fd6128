#pragma once
// The shared helper library: the free functions and globals that every window
// of the program uses. Texts are byte strings (UTF-8 where they are the
// program's own); positions and field numbers count from 1.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/classes.h"
#include "platform/rtl/dateutils.h"

namespace helpers {

using rtl::TDateTime;

// ---------------------------------------------------------------- globals

// Long texts are gathered in pieces of this size.
constexpr int32_t chunksize = 50000;

// The last match of rematch, rematchc or rexec (cleared by every attempt).
extern std::string lastmatch;
extern int32_t matchpos;  // 1-based start, 0 when none
extern int32_t matchend;  // position of the last character matched
extern bool reerrflag;    // the last compile or match failed

extern bool fieldquoted;  // csvdelimel's field held a double quote

extern std::string defkey;  // the cipher's default key
extern const std::string defaultkey;

// The send road's texts.
extern std::string sendcharset;
extern std::string sendresult, sendreply, sendreceipt, sendctypes, sendchecked;

// The program folder, with a trailing "/". Fixed by utilinit.
extern std::string homedir;

// Set while an editor's redrawing is stopped.
extern bool edfrozen;

// Scratch lists of the windows.
extern rtl::TStringList worklist1, worklist2, worklist3, worklist4;

// Replacements made by the last pass of the last replacestr.
extern int32_t replcount;

// Waits Ms milliseconds in steps of at most 1000, handling every window
// message as it comes and once more after each step. 0 or less: returns at once.
void waitpump(int32_t ms);

// The Keccak-f[1600] permutation (24 rounds) over 25 lanes, in place.
void keccakf(uint64_t state[25]);

// ------------------------------------------------- locale formats, start-up

// The user's number and date formats, in the class library's notation
// (dd mm yyyy hh nn ss).
struct TFormatSettings {
    std::string DecimalSeparator = ".";
    std::string ThousandSeparator = ",";
    std::string ShortDateFormat = "dd/mm/yyyy";
    std::string LongTimeFormat = "hh:nn:ss";
};
extern TFormatSettings formatsettings;
// Read from the process environment's locale; years always with four digits.
TFormatSettings localeformats();

void utilinit();
void utilexit();
void screeninit();
void seedrand();
// A number from 0 to N - 1 from the library's seeded generator (0 when N < 1).
int32_t randomint(int32_t n);

// ---------------------------------------------------------- delimited fields

// What every field reader returns past the last field.
extern const std::string endfield;  // "\n"

std::string getdelimel(std::string_view text, std::string_view delimiters, int32_t n);
std::string csvdelimel(std::string_view text, std::string_view delimiters, int32_t n);

// A sequential reader: field 1 starts a scan, later fields go on from where
// the previous one stopped, so reading every field costs one pass. The
// reader keeps its own copy of the text it scans; asked to go on with
// another text it reports the mismatch and goes on in its own copy.
class TFieldScanner {
public:
    TFieldScanner(std::string name, bool quotes) : name_(std::move(name)), quotes_(quotes) {}
    std::string field(const std::string& text, std::string_view delimiters, int32_t n);

private:
    std::string name_;
    bool quotes_;
    std::string text_;
    const char* addr_ = nullptr;
    size_t size_ = 0;
    size_t pos_ = 0;
    int32_t fieldno_ = 1;
};

std::string sqgetdelimel(const std::string& text, std::string_view delimiters, int32_t n);
std::string sqgetdelimel2(const std::string& text, std::string_view delimiters, int32_t n);
std::string sqgetdelimel3(const std::string& text, std::string_view delimiters, int32_t n);
std::string sqgetdelimel4(const std::string& text, std::string_view delimiters, int32_t n);
std::string sqcsvdelimel(const std::string& text, std::string_view delimiters, int32_t n);
std::string sqcsvdelimel3(const std::string& text, std::string_view delimiters, int32_t n);

// 1-based number of the first element of a comma list (v, a-b or a-) that
// holds Value; 0 when none does.
int32_t inranges(std::string_view list, int64_t value);

// --------------------------------------------------- numbers, dates, texts

long double rounddp(long double x, int32_t d);
long double txtfloat(std::string_view text);
int64_t max64(int64_t a, int64_t b);
long double fracpart(long double x);
std::string urldecode(std::string_view text, bool plus);
std::string numsep(int64_t v);
std::string fltstr(long double x);
std::string boolstr(bool b);
std::string padstr(std::string_view text, int32_t width, char pad, bool left);
std::string padright(std::string_view text, int32_t width);
std::string zeropad(int64_t v, int32_t width);
int32_t monthnum(std::string_view text);
int32_t monthdays(int32_t month, int32_t year);
// Reads a date in one of the six layouts; false when none fits or the date
// is impossible.
bool readdate(std::string_view text, int& year, int& month, int& day);
// The date in the user's short date format; empty when unreadable.
std::string normdate(std::string_view text);
int32_t lastpos(std::string_view text, std::string_view search);
// The standard date-time text: short date, then the long time unless it is midnight.
std::string datetimestr(TDateTime dt);

// --------------------------------------------------------- whole files

// Opens a regular file, never waiting on a pipe or device; a mode that
// writes never goes through a link and makes a new file private (0600).
FILE* fopenretry(const std::string& name, const char* mode);
int fclosechk(FILE* stream);
// The whole file, read to its end; a pipe, device or socket is refused
// (reported), a missing file or a folder reads as empty.
std::string loadtext(const std::string& name);
// A leading "+" appends. A replaced file is written beside and renamed over
// the old one, so it is never left half written.
// What the program keeps holds mail, addresses or passwords: a new file is
// its owner's alone (CreateMode, less the umask, from the start; 0666 lets
// the umask decide), and an existing file looser than CreateMode is
// tightened to it, never loosened. A link at the name, or in the path
// inside the program's own folders, is refused, as is anything but a
// regular file; failures are reported and give false.
bool savetext(const std::string& name, std::string_view text, int createmode = 0600);
// As savetext, for a file that can be made again (a part fetched from the
// server, a temporary file): written whole and renamed into place, but not
// forced to the disk before the call returns.
bool savescratch(const std::string& name, std::string_view text, int createmode = 0600);
int64_t filesize64(const std::string& name);
// The text for the last failure of a library file or process call: the
// system's, or the library's own reason for refusing (a link, a pipe).
std::string lasterrtext();

// ---------------------------------------------------------- pattern matching

// A compiled regular expression. Valid UTF-8 text is matched character by
// character (Unicode case folding, "?" and "." one character, letters of
// every script in "\w" and "\b"); any other text byte by byte. A match that
// needs more steps or stack than allowed counts as no match, sets reerrflag
// and is logged once per pattern, without a box.
class TRegex;
using PRegex = std::shared_ptr<const TRegex>;

std::string reescape(std::string_view text);
// Compiles; reports the error and gives none when it does not compile.
PRegex reerror(const std::string& expression);
bool rexec(const TRegex& compiled, std::string_view text);
bool rerun(const std::string& expression, std::string_view text);
bool rematch(std::string_view pattern, std::string_view text);
bool rematchc(std::string_view pattern, std::string_view text, bool matchcase);
// The compiled form of a rematchc pattern, for running it over many texts
// with rexec; none (and the error reported) when it does not compile.
PRegex patternregex(std::string_view pattern, bool matchcase);
// The same, with a failure described in Error instead of reported.
PRegex patternregex(std::string_view pattern, bool matchcase, std::string& error);
// The pattern that finds Text (wildcards and all) only as a whole word.
std::string wholewordpattern(std::string_view text);
bool maskmatch(std::string_view masks, std::string_view name, bool filenames);
bool masklist(std::string_view masks, std::string_view name);

// ------------------------------------------------------------ system helpers

std::string sockerrtext(int32_t code);
std::string hostlookup(const std::string& host, int32_t family, bool withaddresses);
bool isurl(std::string_view text);
// Opens a link, document or folder with the desktop's opener. A "file:" link
// in any form is a local file; programs and scripts are refused (reported),
// and so are links other than http, https, mailto and ftp. True when the
// opener was started.
bool shellopen(const std::string& target);
// Starts a command line (split at blanks, double quotes group) without a
// shell; with Wait, pumps messages until it ends. The process id, or -1.
int64_t launchexe(const std::string& commandline, bool wait);
std::string userdatadir();
std::string fixeddrive();
std::string specialvar(const std::string& name);
// The station number for a local address (the "STN" special value).
std::string stationfor(const std::string& address);
// What a "mailto:" link the program is started with asks for: the address,
// the subject ("subject=", decoded, "+" a blank) and the body (all after
// "body=", as written).
struct TMailtoLink {
    std::string address, subject, body;
};
// Reads the link; false, with Why telling the user, when it cannot become a
// message as it stands (a line break in its address or subject, which no
// mail header can carry).
bool readmailto(const std::string& link, TMailtoLink& out, std::string& why);
// The windowed program supplies the clipboard's text.
extern std::function<std::string()> clipboardtext;

// ----------------------------------------------------- questions to the user

bool askyesno(const std::string& question);
int64_t asknumber(const std::string& caption, const std::string& prompt, std::string& answer);

// The one-line input that asknumber asks through: true on OK, with Text
// holding the answer; on entry Text is the proposed input. The mailbox
// window's input dialog puts itself here while it exists; by default it is
// the prompter's InputQuery.
using TInputRoutine = std::function<bool(const std::string& caption, const std::string& prompt, std::string& text)>;
extern TInputRoutine inputdialog;

// ------------------------------------------------------- program folder, paths

std::string findhomedir(bool parent);
std::string exeparam(int32_t n);
std::string paramline(int32_t first);
std::string pathroot(const std::string& path);
void chdirto(const std::string& folder);
// Makes a folder and its missing parents, each private to the user (0700).
// Inside the program's own folders no part of the path may be a link. True
// when the folder is there; a failure is the caller's to tell (lasterrtext).
bool forcedirs(const std::string& folder);
// The program's file name without folder and extension.
std::string programname();

// ------------------------------------------------ file checks and operations

bool pathexists(const std::string& name);
TDateTime filedate(const std::string& name);
bool sametime(TDateTime a, TDateTime b);
// Copies a regular file over Target as savetext writes (private, never
// through a link); reports nothing.
bool filecopy(const std::string& source, const std::string& target);
// Moves a file; the target is never replaced, nor reached through a link in
// the program's folders.
bool renameretry(const std::string& oldname, const std::string& newname);
// True when the file is gone; a folder is not deleted and gives false.
bool deleteretry(const std::string& name);
std::string filedetails(const std::string& name);
// The plain pause between rename and delete attempts; tests replace it.
extern std::function<void(int32_t ms)> retrysleep;

// ------------------------------------------------------------ fonts and CSS

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
struct TFontSpec {
    std::string Name;
    int32_t Size = 10;
    int32_t Color = 0;  // red in the low byte; negative for system colours
    unsigned Style = 0;
};

void txttofont(std::string_view description, TFontSpec& font);
std::string fonttotxt(const TFontSpec& font);
std::string colorhex(int32_t colour);
std::string fonttocss(const TFontSpec& font, bool withcolour);
std::string fontspan(const TFontSpec& font, std::string_view text);

// ------------------------------------------- text replacement, HTML transforms

std::string replacestr(std::string_view text, std::string_view search, std::string_view replacement,
                       bool exact, bool firstonly);
std::string replaceall(std::string_view text, std::string_view search, std::string_view replacement,
                       bool exact);
std::string repcount(std::string_view templ, int32_t n);
std::string striptags(std::string_view text, std::string_view delimiters);
std::string qpdecode(std::string_view text);
std::string htmlescape(std::string_view text);
// Page with Html in place of the first Placeholder (letter case ignored);
// a page without one still gets it, before its last "</body", or at its end.
std::string htmlplace(std::string_view page, std::string_view placeholder, std::string_view html);
// Protect replaces links by placeholders; the next restore puts them back.
std::string autolink(std::string_view text, bool protect);

// -------------------------------------------------------------------- cipher
// Hides text from a casual look; it is not protection (cipher.cpp says why).

std::string numcipher(std::string_view text, std::string_view key);
std::string numdecipher(std::string_view digits, std::string_view key);

// -------------------------------------------------- speech, dates, small tools

std::string speechtag(int32_t pitch);
std::string speechmarkup(std::string_view text, int32_t chunklength, int32_t pitch);
TDateTime parsedate(std::string_view text);
std::string sniffext(std::string_view data);
std::string foldaccents(std::string_view text, std::string_view filter);
std::string quotefield(std::string_view text);
// The same, appended to Out.
void quotefieldto(std::string& out, std::string_view text);

// ------------------------------------------------------ error log and reports

void errlog(const std::string& message);
void errreport(const std::string& message);
std::string winuser();
void appfront();
// The windowed program brings its windows to the front through this.
extern std::function<void()> appfronthook;

// ------------------------------------------------------------------ colours

int32_t colorvalue(std::string_view text);
std::string swaprb(std::string_view text);
std::string colorbyname(std::string_view name);

// ------------------------------------------------- folder listing, Base64

// The shared state of one listing: the filters and the newest and oldest
// file seen so far.
struct TDirQuery {
    std::string masks, datespec, sizespec, filter;
    bool details = false;
    TDateTime from = 0, to = 0;
    int32_t width = 0;
    TDateTime newest = 0, oldest = 0;
};
std::string dirlist(const std::string& folder, std::string_view masks, std::string_view datespec,
                    std::string_view sizespec, std::string_view listopts);
std::string dirwalk(const std::string& folder, int32_t attributes, TDirQuery& query);
bool dirfilter(const std::string& folder, std::string_view filter);
std::string b64decode(std::string_view text);

// ------------------------------------------------------ code pages and GUIDs

// Received text in its declared character set (looked up in
// codepageids.txt) as UTF-8. The result is always valid UTF-8: bytes a known
// set cannot read become U+FFFD; with an empty, unknown or unusable set the
// text's well-formed UTF-8 is kept and every other byte is read as
// Windows-1252 (its five unassigned bytes as Latin-1), as validutf8 does.
std::string charsetconv(std::string_view text, std::string_view charset);
// The same from a Windows code page number.
std::string cpconv(std::string_view text, int32_t codepage);
// Whether the text is well-formed UTF-8 (ASCII is).
bool isutf8(std::string_view text);
// The text with its well-formed UTF-8 kept and every other byte read as
// Windows-1252: valid UTF-8 whatever it was given.
std::string validutf8(std::string_view text);
std::string newguid();

}  // namespace helpers
