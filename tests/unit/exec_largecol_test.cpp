// Creation of the large-column folder in a temporary directory. The message
// of a folder that cannot be made shows in badinput/unwritable_result_files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "isqlexec.h"
#include "unit_util.h"

namespace {

namespace fs = std::filesystem;

class LargeColFolder : public ::testing::Test {
protected:
    const fs::path base_ = test_path("wsql_largecol_");
    const std::string parent_ = base_.string() + "/";
    std::string printed_;

    void SetUp() override {
        fs::remove_all(base_);
        fs::create_directories(base_);
    }
    void TearDown() override { fs::remove_all(base_); }

    // Runs the folder creation for folder, capturing what it prints.
    int create(const std::string& folder) {
        ::testing::internal::CaptureStdout();
        const int rc = isql_checkAndCreate_LargeColResultFolder(folder.c_str());
        printed_ = ::testing::internal::GetCapturedStdout();
        return rc;
    }
};

TEST_F(LargeColFolder, CreatedOnceThenFoundAgain) {
    EXPECT_EQ(create(parent_), 1);
    EXPECT_EQ(printed_, "");
    EXPECT_TRUE(fs::is_directory(base_ / "largecolresult"));
    EXPECT_EQ(create(parent_), 1) << "an existing folder is fine";
    EXPECT_EQ(printed_, "");
}

// The path must fit 256 bytes with its terminator: 241 bytes of folder and the
// 14 of "largecolresult" still do, one more byte does not and nothing is made.
TEST_F(LargeColFolder, PathLongerThanItsBufferIsRefused) {
    for (const size_t size : {241u, 242u}) {
        const std::string folder = parent_ + std::string(size - 1 - parent_.size(), 'd') + "/";
        ASSERT_EQ(folder.size(), size);
        fs::create_directories(folder);
        const bool fits = size == 241;
        EXPECT_EQ(create(folder), fits ? 1 : 0) << size;
        EXPECT_EQ(fs::exists(folder + "largecolresult"), fits) << size;
        const std::string refused = "isql_checkAndCreate_LargeColResultFolder(): Unexpected error while creating "
                                    "folder <" + folder + "largecolresult> with system(mkdir). Errno:<36>. Error "
                                    "Msg:<File name too long>\n";
        EXPECT_EQ(printed_, fits ? "" : refused) << size;
    }
}

}  // namespace
