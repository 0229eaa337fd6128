#include "tests/helpers/support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "helpers/kwutil.h"
#include "platform/rtl/dateutils.h"

namespace kwtest {

using rtl::TDateTime;

TTempDir::TTempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kwtest.XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl + "/";
}

TTempDir::~TTempDir() {
    std::error_code ec;
    // Make anything a test made read-only removable again.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_symlink()) std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                                            std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(path_, ec);
}

void writefile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string readfile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

void setmtime(const std::string& path, int y, int m, int d, int h, int n, int s) {
    const TDateTime local = rtl::EncodeDate(y, m, d) + rtl::EncodeTime(h, n, s, 0);
    const time_t t = static_cast<time_t>(rtl::DateTimeToUnix(rtl::LocalToUTC(local)));
    const timespec times[2] = {{t, 0}, {t, 0}};
    if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        throw std::runtime_error("cannot set the time of " + path);
}

std::string run(const std::string& command, const std::string& input) {
    TTempDir tmp;
    writefile(tmp / "in", input);
    const std::string full = command + " < '" + tmp.path() + "in' > '" + tmp.path() + "out'";
    EXPECT_EQ(std::system(full.c_str()), 0) << full;
    return readfile(tmp / "out");
}

void KwTest::SetUp() {
    home = std::make_unique<TTempDir>();
    prompter = std::make_unique<ui::TScriptedPrompter>();
    helpers::utilexit();
    helpers::homedir = home->path();
    helpers::formatsettings = helpers::TFormatSettings{};
    helpers::formatsettings.ShortDateFormat = "dd/mm/yyyy";
    helpers::formatsettings.LongTimeFormat = "hh:nn:ss";
}

void KwTest::TearDown() {
    EXPECT_EQ(prompter->unexpected, 0) << "a prompt nobody expected; the first: "
                                       << (prompter->prompts.empty() ? "" : prompter->prompts.front().text);
    prompter.reset();
    helpers::utilexit();
    home.reset();
}

}  // namespace kwtest
