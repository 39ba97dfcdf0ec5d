// Creation of the large-column folder in a temporary directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "isqlexec.h"
#include "unit_util.h"

namespace {

namespace fs = std::filesystem;

class LargeColFolder : public ::testing::Test {
protected:
    fs::path base_;

    void SetUp() override {
        base_ = test_path("wsql_largecol_");
        fs::remove_all(base_);
        fs::create_directories(base_);
    }
    void TearDown() override { fs::remove_all(base_); }

    // Runs the folder creation for folder, capturing what it prints.
    int create(const std::string& folder, std::string* printed) {
        ::testing::internal::CaptureStdout();
        int rc = isql_checkAndCreate_LargeColResultFolder(folder.c_str());
        *printed = ::testing::internal::GetCapturedStdout();
        return rc;
    }
};

TEST_F(LargeColFolder, CreatedOnceThenFoundAgain) {
    std::string printed;
    const std::string folder = base_.string() + "/";
    EXPECT_EQ(create(folder, &printed), 1);
    EXPECT_EQ(printed, "");
    EXPECT_TRUE(fs::is_directory(base_ / "largecolresult"));
    EXPECT_EQ(create(folder, &printed), 1) << "an existing folder is fine";
    EXPECT_EQ(printed, "");
}

TEST_F(LargeColFolder, MissingParentIsReported) {
    std::string printed;
    const std::string folder = (base_ / "missing").string() + "/";
    EXPECT_EQ(create(folder, &printed), 0);
    EXPECT_EQ(printed,
              "isql_checkAndCreate_LargeColResultFolder(): Unexpected error while creating folder <" +
                  folder + "largecolresult> with system(mkdir). Errno:<2>. Error Msg:<No such file "
                  "or directory>\n");
}

// The path must fit 256 bytes with its terminator: 241 bytes of folder and the
// 14 of "largecolresult" still do, one more byte does not and nothing is made.
TEST_F(LargeColFolder, PathLongerThanItsBufferIsRefused) {
    std::string folder = base_.string() + "/";
    const std::string deep = std::string(240 - folder.size(), 'd') + "/";
    folder += deep;
    ASSERT_EQ(folder.size(), 241u);
    fs::create_directories(folder);
    std::string printed;
    EXPECT_EQ(create(folder, &printed), 1);
    EXPECT_EQ(printed, "");

    const std::string longer = base_.string() + "/" + std::string(240 - base_.string().size(), 'e') + "/";
    ASSERT_EQ(longer.size(), 242u);
    fs::create_directories(longer);
    EXPECT_EQ(create(longer, &printed), 0);
    EXPECT_EQ(printed,
              "isql_checkAndCreate_LargeColResultFolder(): Unexpected error while creating folder <" +
                  longer + "largecolresult> with system(mkdir). Errno:<36>. Error Msg:<File name "
                  "too long>\n");
    EXPECT_FALSE(fs::exists(longer + "largecolresult"));
}

}  // namespace
