// The native build's registry: a folder tree under the configuration folder.
#ifndef _WIN32

#include "common/settings.h"
#include "platform/platform.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class PosixRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "kelvard-reg-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        Base = pattern;
        Config = Base / "config";
        if (const char *old = getenv("XDG_CONFIG_HOME")) {
            HadOld = true;
            Old = old;
        }
        setenv("XDG_CONFIG_HOME", Config.c_str(), 1);
    }
    void TearDown() override {
        if (HadOld)
            setenv("XDG_CONFIG_HOME", Old.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
        fs::remove_all(Base);
    }

    static std::string ReadText(const fs::path &path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static void WriteText(const fs::path &path, const std::string &text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    // Sets a string value through a freshly created key.
    static void SetString(const std::string &key, const std::string &name,
                          const std::string &value) {
        TRegKey handle(Reg().RegCreate(key));
        ASSERT_TRUE(handle.IsOpen());
        ASSERT_TRUE(Reg().RegSetString(handle.Get(), name, value));
    }
    static TRegValueState Query(const std::string &key, const std::string &name,
                                std::string &value) {
        TRegKey handle(Reg().RegOpenRead(key));
        if (!handle.IsOpen())
            return TRegValueState(99);
        return Reg().RegQueryString(handle.Get(), name, value);
    }
    static const TPlatform &Reg() { return NativePlatform(); }

    fs::path Base, Config;
    bool HadOld = false;
    std::string Old;
};

TEST_F(PosixRegistry, KeysAreFoldersAndValuesAreFilesWithTypeAndData) {
    EXPECT_EQ(Reg().RegOpenRead("\\software\\Varnhold\\kelvard"), nullptr);
    EXPECT_FALSE(Reg().RegKeyExists("\\software\\Varnhold\\kelvard"));
    SetString("\\software\\Varnhold\\kelvard", "DefaultOption", "-sn -w \"a b\"");
    fs::path key = Config / "software" / "Varnhold" / "kelvard";
    EXPECT_TRUE(fs::is_directory(key));
    EXPECT_EQ(ReadText(key / "DefaultOption.value"), "REG_SZ\n-sn -w \"a b\"");
    EXPECT_TRUE(Reg().RegKeyExists("\\software\\Varnhold\\kelvard"));

    TRegKey handle(Reg().RegOpenWrite("software\\Varnhold\\kelvard"));
    ASSERT_TRUE(handle.IsOpen());
    ASSERT_TRUE(Reg().RegSetDword(handle.Get(), "Build", 80));
    EXPECT_EQ(ReadText(key / "Build.value"), "REG_DWORD\n80");
    // No temporary file is left behind by the writes.
    int entries = 0;
    for ([[maybe_unused]] const auto &entry : fs::directory_iterator(key))
        ++entries;
    EXPECT_EQ(entries, 2);
}

TEST_F(PosixRegistry, NamesMatchWithoutRegardToCase) {
    SetString("\\Software\\Varnhold\\Kelvard", "DefaultOption", "-v");
    std::string value;
    EXPECT_EQ(Query("\\SOFTWARE\\varnhold\\KELVARD", "defaultoption", value), rvString);
    EXPECT_EQ(value, "-v");
    // A write under another spelling replaces the value in its first spelling.
    SetString("\\software\\VARNHOLD\\kelvard", "DEFAULTOPTION", "-c");
    fs::path key = Config / "Software" / "Varnhold" / "Kelvard";
    EXPECT_EQ(ReadText(key / "DefaultOption.value"), "REG_SZ\n-c");
    EXPECT_FALSE(fs::exists(key / "DEFAULTOPTION.value"));
    EXPECT_FALSE(fs::exists(Config / "software"));
}

TEST_F(PosixRegistry, StringQueryStates) {
    SetString("\\k", "Text", "abc");
    WriteText(Config / "k" / "Expand.value", std::string("REG_EXPAND_SZ\n%HOME%\0tail", 23));
    WriteText(Config / "k" / "Number.value", "REG_DWORD\n5");
    WriteText(Config / "k" / "Blob.value", "REG_BINARY\n\x01\x02");
    WriteText(Config / "k" / "Hollow.value", "REG_SZ\n");
    WriteText(Config / "k" / "Nothing.value", "");
    fs::create_directories(Config / "k" / "Folder.value"); // a key, not a value

    std::string value = "old";
    EXPECT_EQ(Query("\\k", "Text", value), rvString);
    EXPECT_EQ(value, "abc");
    EXPECT_EQ(Query("\\k", "Expand", value), rvString);
    EXPECT_EQ(value, "%HOME%"); // up to the first zero byte, not expanded
    EXPECT_EQ(Query("\\k", "Number", value), rvWrongType);
    EXPECT_EQ(Query("\\k", "Blob", value), rvWrongType);
    EXPECT_EQ(Query("\\k", "Hollow", value), rvEmpty);
    EXPECT_EQ(Query("\\k", "Nothing", value), rvEmpty);
    EXPECT_EQ(Query("\\k", "Missing", value), rvEmpty);
    EXPECT_EQ(Query("\\k", "Folder", value), rvEmpty);
    EXPECT_EQ(value, "");
}

TEST_F(PosixRegistry, AwkwardNamesStayInsideTheirKey) {
    SetString("\\k\\..\\.hidden\\a%b", "x/y", "1");
    SetString("\\k", ".", "2");
    EXPECT_TRUE(fs::is_directory(Config / "k" / "%2E." / "%2Ehidden" / "a%25b"));
    EXPECT_TRUE(fs::is_regular_file(Config / "k" / "%2E." / "%2Ehidden" / "a%25b" / "x%2Fy.value"));
    EXPECT_TRUE(fs::is_regular_file(Config / "k" / "%2E.value"));
    std::string value;
    EXPECT_EQ(Query("\\k\\..\\.hidden\\A%B", "X/Y", value), rvString);
    EXPECT_EQ(value, "1");
    // ".." is an ordinary sub-key of "k"; the value "." is no key.
    TRegKey k(Reg().RegOpenRead("\\k"));
    EXPECT_EQ(Reg().RegSubKeyCount(k.Get()), 1);
}

TEST_F(PosixRegistry, SubKeyCountAndDeletion) {
    SetString("\\software\\Varnhold\\kelvard", "DefaultOption", "-v");
    SetString("\\software\\Varnhold\\kelvard\\deep\\deeper", "x", "y");
    SetString("\\software\\Varnhold\\other", "x", "y");
    {
        TRegKey maker(Reg().RegOpenRead("\\software\\Varnhold"));
        ASSERT_TRUE(maker.IsOpen());
        EXPECT_EQ(Reg().RegSubKeyCount(maker.Get()), 2);
    }
    // A key with sub-keys is not deleted alone; nothing of it goes.
    EXPECT_FALSE(Reg().RegDeleteKey("\\software\\Varnhold\\kelvard"));
    EXPECT_TRUE(fs::exists(Config / "software/Varnhold/kelvard/DefaultOption.value"));

    EXPECT_TRUE(Reg().RegDeleteTree("\\SOFTWARE\\varnhold\\Kelvard"));
    EXPECT_FALSE(Reg().RegKeyExists("\\software\\Varnhold\\kelvard"));
    EXPECT_FALSE(Reg().RegDeleteTree("\\software\\Varnhold\\kelvard"));
    {
        TRegKey maker(Reg().RegOpenRead("\\software\\Varnhold"));
        EXPECT_EQ(Reg().RegSubKeyCount(maker.Get()), 1);
    }
    EXPECT_TRUE(Reg().RegDeleteKey("\\software\\Varnhold\\other")); // with its values
    EXPECT_TRUE(Reg().RegDeleteKey("\\software\\Varnhold"));
    EXPECT_TRUE(fs::is_directory(Config / "software"));
    EXPECT_FALSE(fs::exists(Config / "software" / "Varnhold"));

    // The configuration folder itself is never deleted.
    EXPECT_FALSE(Reg().RegDeleteTree(""));
    EXPECT_FALSE(Reg().RegDeleteTree("\\"));
    EXPECT_TRUE(fs::is_directory(Config));
}

TEST_F(PosixRegistry, DeletingALinkedKeyRemovesTheLinkOnly) {
    fs::create_directories(Base / "elsewhere" / "sub");
    WriteText(Base / "elsewhere" / "keep.value", "REG_SZ\nkeep");
    fs::create_directories(Config / "k");
    fs::create_directory_symlink(Base / "elsewhere", Config / "k" / "linked");
    std::string value;
    EXPECT_EQ(Query("\\k\\linked", "keep", value), rvString);
    EXPECT_FALSE(Reg().RegDeleteKey("\\k\\linked")); // it has a sub-key
    EXPECT_TRUE(Reg().RegDeleteTree("\\k\\linked"));
    EXPECT_FALSE(fs::exists(Config / "k" / "linked"));
    EXPECT_EQ(ReadText(Base / "elsewhere" / "keep.value"), "REG_SZ\nkeep");
    EXPECT_TRUE(fs::is_directory(Base / "elsewhere" / "sub"));
}

TEST_F(PosixRegistry, ConfigurationFolderFallsBackToHomeDotConfig) {
    const char *oldHome = getenv("HOME");
    std::string savedHome = oldHome ? oldHome : "";
    setenv("HOME", Base.c_str(), 1);
    setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    SetString("\\software\\Varnhold\\kelvard", "DefaultOption", "-a");
    EXPECT_TRUE(fs::exists(Base / ".config/software/Varnhold/kelvard/DefaultOption.value"));
    unsetenv("XDG_CONFIG_HOME");
    std::string value;
    EXPECT_EQ(Query("\\software\\Varnhold\\kelvard", "DefaultOption", value), rvString);
    EXPECT_EQ(value, "-a");
    if (oldHome)
        setenv("HOME", savedHome.c_str(), 1);
    else
        unsetenv("HOME");
}

TEST_F(PosixRegistry, FailuresAreReported) {
    // The configuration folder is a file: nothing can be created under it.
    WriteText(Config, "not a folder");
    EXPECT_EQ(Reg().RegCreate("\\k"), nullptr);
    EXPECT_EQ(Reg().RegOpenRead("\\k"), nullptr);
    fs::remove(Config);

    TRegHandle handle = Reg().RegCreate("\\k");
    ASSERT_NE(handle, nullptr);
    EXPECT_TRUE(Reg().RegDeleteTree("\\k")); // the key goes while it is open
    EXPECT_FALSE(Reg().RegSetString(handle, "x", "y"));
    EXPECT_EQ(Reg().RegSubKeyCount(handle), -1);
    Reg().RegClose(handle);

    if (geteuid() != 0) { // root may write anywhere
        fs::create_directories(Config / "ro");
        fs::permissions(Config / "ro", fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(Reg().RegOpenWrite("\\ro"), nullptr);
        TRegKey readOnly(Reg().RegOpenRead("\\ro"));
        EXPECT_TRUE(readOnly.IsOpen());
        EXPECT_FALSE(Reg().RegSetString(readOnly.Get(), "x", "y"));
        fs::permissions(Config / "ro", fs::perms::owner_all);
    }
}

} // namespace

#endif
