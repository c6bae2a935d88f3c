// The user's folders as Foundation names them.

#include "SystemHelpersMac.h"

#include <MacStandIn/StandIn.h>

#include <gtest/gtest.h>

#include <optional>
#include <thread>

namespace {

class SystemFolders : public ::testing::Test {
protected:
    void SetUp() override { objectsBefore = macos::liveObjects(); }
    void TearDown() override {
        macos::setHomeDirectory(std::nullopt);
        macos::setTemporaryDirectory(std::nullopt);
        macos::setApplicationSupportDirectories(std::nullopt);
        EXPECT_EQ(macos::liveObjects(), objectsBefore) << "every call drains its own pool";
    }

    size_t objectsBefore = 0;
};

TEST_F(SystemFolders, HomeAndTemporaryFolders) {
    macos::setHomeDirectory(std::string("/Users/r\xc3\xa9my"));
    macos::setTemporaryDirectory(std::string("/private/var/folders/xy/T/"));
    EXPECT_EQ(FB::System::getHomeDirPath(), "/Users/r\xc3\xa9my");
    EXPECT_EQ(FB::System::getTempPath(), "/private/var/folders/xy/T/");
}

TEST_F(SystemFolders, ApplicationDataUnderApplicationSupport) {
    macos::setHomeDirectory(std::string("/Users/ana"));
    EXPECT_EQ(FB::System::getAppDataPath("Velmora"),
              "/Users/ana/Library/Application Support/Velmora");
    EXPECT_EQ(FB::System::getLocalAppDataPath("Velmora"), FB::System::getAppDataPath("Velmora"));
    EXPECT_EQ(FB::System::getAppDataPath(""), "/Users/ana/Library/Application Support");
}

// Such a name has no Foundation string: the answer must not be the
// Application Support folder itself.
TEST_F(SystemFolders, ANameThatIsNotUtf8ReadsAsEmpty) {
    macos::setHomeDirectory(std::string("/Users/ana"));
    for (const char* name : {"caf\xe9", "\xc3", "ok\xff\xfe"}) {
        EXPECT_EQ(FB::System::getAppDataPath(name), "") << name;
        EXPECT_EQ(FB::System::getLocalAppDataPath(name), "") << name;
    }
    EXPECT_EQ(FB::System::getAppDataPath("caf\xc3\xa9"),
              "/Users/ana/Library/Application Support/caf\xc3\xa9");
}

TEST_F(SystemFolders, OnlyTheFirstFolderFoundIsUsed) {
    macos::setApplicationSupportDirectories(
        std::vector<std::string>{"/first/Application Support", "/second"});
    EXPECT_EQ(FB::System::getAppDataPath("A b"), "/first/Application Support/A b");
}

TEST_F(SystemFolders, NoFolderFoundReadsAsEmpty) {
    macos::setApplicationSupportDirectories(std::vector<std::string>{});
    EXPECT_EQ(FB::System::getAppDataPath("Velmora"), "");
    EXPECT_EQ(FB::System::getLocalAppDataPath("Velmora"), "");
}

TEST_F(SystemFolders, AnyThreadMayAsk) {
    macos::setHomeDirectory(std::string("/Users/ana"));
    std::string home, data;
    std::thread worker([&] {
        home = FB::System::getHomeDirPath();
        data = FB::System::getAppDataPath("x");
    });
    worker.join();
    EXPECT_EQ(home, "/Users/ana");
    EXPECT_EQ(data, "/Users/ana/Library/Application Support/x");
}

} // namespace
