// The search for an NSS security database beside the bundle and in the
// user's Firefox profiles, on folders made for each test.
#include "PluginFixtures.h"

#include <MacStandIn/StandIn.h>

#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string firefoxProfiles = "/Library/Application Support/Firefox/Profiles";
const std::string mozillaProfiles = "/Library/Mozilla/Firefox/Profiles";

class SecurityDatabase : public PluginOnHost {
protected:
    SecurityDatabase() {
        std::string pattern = "/tmp/velmora-secmod-XXXXXX";
        if (!mkdtemp(&pattern[0])) {
            throw std::runtime_error("cannot create a temporary folder");
        }
        root = pattern;
        macos::setHomeDirectory(root + "/home");
        makeFolder(root + "/home");
        plugin->setFSPath(root + "/Velmora.plugin/Contents/MacOS/Velmora");
    }
    ~SecurityDatabase() override {
        macos::setHomeDirectory(std::nullopt);
        runCommand("rm -rf '" + root + "'");
    }

    VelmoraAPI& scriptObject() { return *FB::ptr_cast<VelmoraAPI>(api); }
    std::string search() { return scriptObject().getSecurityDatabasePath(); }

    static void makeFolder(const std::string& path) { runCommand("mkdir -p '" + path + "'"); }
    // Makes the folder with a file of that name in it.
    static void putFile(const std::string& folder, const std::string& name) {
        makeFolder(folder);
        std::ofstream(folder + "/" + name) << "db";
    }
    std::string home() const { return root + "/home"; }

    std::string root;
};

TEST_F(SecurityDatabase, FindsTheDatabaseBesideTheBundleInAnyLetterCase) {
    putFile(root + "/Velmora.plugin", "SECMOD.DB");
    putFile(home() + firefoxProfiles + "/p.default", "secmod.db");

    EXPECT_EQ(search(), root + "/Velmora.plugin");
}

TEST_F(SecurityDatabase, TheBundleResultIsNotKept) {
    putFile(root + "/Velmora.plugin", "secmod.db");
    putFile(home() + firefoxProfiles + "/p.default", "secmod.db");
    EXPECT_EQ(search(), root + "/Velmora.plugin");

    unlink((root + "/Velmora.plugin/secmod.db").c_str());

    EXPECT_EQ(search(), home() + firefoxProfiles + "/p.default");
}

TEST_F(SecurityDatabase, AShortPluginPathGoesStraightToTheProfiles) {
    putFile(home() + firefoxProfiles + "/p.default", "secmod.db");
    for (const char* path : {"", "Velmora", "/Velmora", "Contents/MacOS"}) {
        SCOPED_TRACE(path);
        plugin->setFSPath(path);
        EXPECT_EQ(search(), home() + firefoxProfiles + "/p.default");
    }
}

TEST_F(SecurityDatabase, ThenTheMozillaProfiles) {
    putFile(home() + firefoxProfiles + "/empty.default", "cert9.db");
    putFile(home() + mozillaProfiles + "/m.default", "secmod.db");

    EXPECT_EQ(search(), home() + mozillaProfiles + "/m.default");
}

TEST_F(SecurityDatabase, OnlyRealFoldersAreProfiles) {
    putFile(root + "/elsewhere", "secmod.db");
    makeFolder(home() + firefoxProfiles);
    ASSERT_EQ(symlink((root + "/elsewhere").c_str(), (home() + firefoxProfiles + "/link").c_str()),
              0);
    std::ofstream(home() + firefoxProfiles + "/secmod.db") << "a file, not a profile";

    EXPECT_EQ(search(), ".");
}

TEST_F(SecurityDatabase, TheFirstProfileListedWins) {
    putFile(home() + firefoxProfiles + "/a.default", "secmod.db");
    putFile(home() + firefoxProfiles + "/b.default", "secmod.db");
    putFile(home() + firefoxProfiles + "/c.default", "secmod.db");
    std::string first;
    DIR* folder = opendir((home() + firefoxProfiles).c_str());
    ASSERT_NE(folder, nullptr);
    while (const dirent* entry = readdir(folder)) {
        if (entry->d_name[0] != '.') {
            first = entry->d_name;
            break;
        }
    }
    closedir(folder);

    EXPECT_EQ(search(), home() + firefoxProfiles + "/" + first);
}

TEST_F(SecurityDatabase, WithoutProfilesTheAnswerIsTheCurrentFolderForGood) {
    EXPECT_EQ(search(), ".");
    putFile(home() + firefoxProfiles + "/p.default", "secmod.db");
    EXPECT_EQ(search(), ".");
}

TEST_F(SecurityDatabase, AProfileFoundIsKept) {
    putFile(home() + firefoxProfiles + "/p.default", "secmod.db");
    EXPECT_EQ(search(), home() + firefoxProfiles + "/p.default");
    runCommand("rm -rf '" + home() + "'");
    putFile(root + "/Velmora.plugin", "secmod.db");

    EXPECT_EQ(search(), home() + firefoxProfiles + "/p.default");
}

TEST_F(SecurityDatabase, ThePluginMustStillBeThereToSearch) {
    plugin.reset();
    EXPECT_THROW(search(), FB::script_error);
}

TEST_F(SecurityDatabase, FolderHelpersAnswerNoForWhatCannotBeRead) {
    EXPECT_EQ(scriptObject().FindProfileDir(root + "/missing"), "");
    EXPECT_FALSE(scriptObject().directoryHasFile(root + "/missing", "secmod.db"));
    putFile(root + "/folder", "Secmod.db");
    EXPECT_TRUE(scriptObject().directoryHasFile(root + "/folder", "secmod.DB"));
    EXPECT_FALSE(scriptObject().directoryHasFile(root + "/folder", "secmod"));
}

struct NameCase {
    std::string a;
    std::string b;
    bool equal;
};

// Bytes above 0x7f are compared too, as the unsigned values tolower takes.
TEST_F(SecurityDatabase, NamesCompareWithoutLetterCase) {
    const NameCase cases[] = {
        {"secmod.db", "SECMOD.DB", true},
        {"secmod.db", "secmod.db ", false},
        {"", "", true},
        {"a", "", false},
        {"\xc9t\xe9", "\xc9T\xe9", true},
        {"\xc9", "\xe9", false},
        {"\xff", "\xff", true},
        {"\x80z", "\x80Z", true},
        {"secmod.db", "secmod.dc", false},
    };
    for (const NameCase& names : cases) {
        SCOPED_TRACE(names.a + " / " + names.b);
        EXPECT_EQ(scriptObject().areEqual(names.a, names.b), names.equal);
    }
}

} // namespace
