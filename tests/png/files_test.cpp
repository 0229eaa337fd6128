// PNG files on disk: loading takes only regular files, saving never writes
// through a link and replaces a file only with a whole image.
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "png/pngimage.h"
#include "tests/png/png_test_util.h"
#include "tests/support/plants.h"

using namespace png;
using pngtest::SuiteFile;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

TEST(PngFiles, LoadAndSaveRefusePipesAndNeverWriteThroughLinks) {
    testsupport::TPlantBed bed(ReadBytes(SuiteFile("basn2c08")));
    const std::vector<testsupport::TFileUse> savers = {
        {"save",
         [](const std::string& n) {
             TPNGObject image;
             image.LoadFromFile(SuiteFile("basn2c08"));
             image.SaveToFile(n);
         },
         [](const std::string& n, const std::string& reason) { return "Cannot write file \"" + n + "\". " + reason; }},
    };
    testsupport::ExpectNoWritesThroughPlants(bed, savers, "image.png");
    const std::vector<testsupport::TFileUse> loaders = {
        {"load",
         [](const std::string& n) {
             TPNGObject image;
             image.LoadFromFile(n);
             if (image.GetWidth() != 32) throw std::runtime_error("not the victim");
         },
         [](const std::string&, const std::string& reason) { return reason; },
         [](const std::string&) { return LoadResString(EPNGNotExistsText); }},
    };
    testsupport::ExpectReadsOfRegularFilesOnly(bed, loaders, "image.png");
}

// A new image follows the umask; a file it replaces keeps a tighter mode;
// an image that cannot be written leaves the file it was to replace.
TEST(PngFiles, SavesReplaceWholeFilesWithTheRightMode) {
    const auto save = [](const std::string& n) {
        TPNGObject image;
        image.LoadFromFile(SuiteFile("basn2c08"));
        image.SaveToFile(n);
    };
    testsupport::TPlantBed bed;
    testsupport::ExpectModes(bed, {
                                      {"new image", -1, save, 0644, "\x89PNG"},
                                      {"over a private file", 0600, save, 0600, "\x89PNG"},
                                  });
    bed.Clear();
    const std::string name = bed.In("image.png");
    WriteBytes(name, "the old picture");
    TPNGObject empty;
    EXPECT_THROW(empty.SaveToFile(name), EPNGHeaderNotPresent);
    EXPECT_EQ(ReadBytes(name), "the old picture");
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(bed.In(""))) ++files;
    EXPECT_EQ(files, 1u);
}
