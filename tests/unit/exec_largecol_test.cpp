// Creation of the large-column folder in a temporary directory. The message
// of a folder that cannot be made shows in badinput/unwritable_result_files.
#include "isqlexec.h"
#include "unit_util.h"

namespace {

namespace fs = std::filesystem;

// The result of the folder creation for folder, and what it printed.
std::pair<int, std::string> create(const std::string& folder) {
    ::testing::internal::CaptureStdout();
    const int rc = isql_checkAndCreate_LargeColResultFolder(folder.c_str());
    return {rc, ::testing::internal::GetCapturedStdout()};
}

// Made once, then found again. The path must fit 256 bytes with its
// terminator: 241 bytes of folder and the 14 of "largecolresult" still do,
// one more byte does not and nothing is made.
TEST(LargeColFolder, CreatedFoundAgainAndRefusedPastItsBuffer) {
    const fs::path base = test_path("wsql_largecol_");
    const std::string parent = base.string() + "/";
    fs::remove_all(base);
    for (const size_t size : {size_t{0}, size_t{0}, size_t{241}, size_t{242}}) {
        const std::string folder = size ? parent + std::string(size - 1 - parent.size(), 'd') + "/" : parent;
        fs::create_directories(folder);
        const bool fits = size <= 241;
        const std::string refused = "isql_checkAndCreate_LargeColResultFolder(): Unexpected error while creating "
                                    "folder <" + folder + "largecolresult> with system(mkdir). Errno:<36>. Error "
                                    "Msg:<File name too long>\n";
        EXPECT_EQ(create(folder), std::pair(fits ? 1 : 0, fits ? std::string() : refused)) << size;
        EXPECT_EQ(fs::is_directory(folder + "largecolresult"), fits) << size;
    }
    fs::remove_all(base);
}

}  // namespace
