// Every table reports why a call failed: the fake the code a test asked for,
// the build's own table the system's code and text.

#include "fake/fake_platform.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

// A text as the system gives it, ready to stand after a warning.
void ExpectCleanText(const std::string &text) {
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\n');
    EXPECT_NE(text.back(), '\r');
    EXPECT_NE(text.back(), '.');
}

} // namespace

TEST(PlatformErrors, FakeFailuresReportTheCodeAskedFor) {
    TFakePlatformScope scope;
    const TPlatform &p = Platform();
    const std::string file = FakePath({HasDriveSyntax ? "C:" : "", "work", "a.txt"});
    Fake().AddFile(file);
    Fake().AddRegKey("\\k");
    Fake().FailCode = 1234;
    const TStampWrite stamp{1, 0};
    const struct {
        const char *Name;
        std::function<bool()> Fails;
    } cases[] = {
        {"write of stamps",
         [&] {
             Fake().Item(file).FailWrite = true;
             return !p.SetItemTimes(nullptr, file, false, true, nullptr, nullptr, &stamp);
         }},
        {"volume query",
         [&] {
             Fake().VolumeQueryFails = true;
             std::string name;
             return !p.FileSystemName(nullptr, "", name);
         }},
        {"registry write",
         [&] {
             Fake().RegistryWritesFail = true;
             TRegKey key(p.RegOpenWrite("\\k"));
             return key.IsOpen() && !p.RegSetString(key.Get(), "v", "x");
         }},
        {"key creation",
         [&] {
             Fake().RegistryCreateFails = true;
             return p.RegCreate("\\other") == nullptr;
         }},
        {"standard output",
         [&] {
             Fake().FailOut = true;
             return !p.WriteStream(stdOutput, "x", 1);
         }},
        {"process start",
         [&] {
             Fake().FailProcessStart = true;
             uint32_t exitCode = 0;
             return !p.RunHiddenAndWait("helper", exitCode);
         }},
    };
    for (const auto &c : cases) {
        Fake().LastError = 0;
        ASSERT_TRUE(c.Fails()) << c.Name;
        EXPECT_EQ(p.LastErrorCode(), 1234u) << c.Name;
        EXPECT_EQ(LastErrorText(), "error 1234") << c.Name;
    }

    // A failure nobody asked for reports its own code and replaces the last one.
    TFindData entry;
    EXPECT_EQ(p.FindFirst(FakePath({HasDriveSyntax ? "C:" : "", "none", "*"}), entry), nullptr);
    EXPECT_EQ(p.LastErrorCode(), FakeNotFound);
}

TEST(PlatformErrors, NativeCallsKeepTheSystemsReason) {
    const TPlatform &p = NativePlatform();
    ASSERT_EQ(&Platform(), &p);
    const fs::path base = fs::temp_directory_path();

    // A search in a folder that does not exist.
    TFindData entry;
    const std::string missing = (base / "kelvard-no-such-folder-4711" / "*").string();
    ASSERT_EQ(p.FindFirst(missing, entry), nullptr);
#ifdef _WIN32
    EXPECT_TRUE(p.LastErrorCode() == ERROR_PATH_NOT_FOUND ||
                p.LastErrorCode() == ERROR_FILE_NOT_FOUND)
        << p.LastErrorCode();
#else
    EXPECT_EQ(p.LastErrorCode(), uint32_t(ENOENT));
#endif
    ExpectCleanText(LastErrorText());

    // A read-only file: its entry says so, and the Windows table refuses the
    // write itself, keeping the reason past the closing of what it opened.
    const fs::path file = base / "kelvard-read-only-4711.txt";
    {
        std::FILE *f = std::fopen(file.string().c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    fs::permissions(file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    TFindData read;
    const bool found = p.ReadItem(nullptr, file.string(), true, read);
#ifdef _WIN32
    const TStampWrite stamp{130000000000000000ULL, 0};
    const bool written =
        p.SetItemTimes(nullptr, file.string(), false, true, nullptr, nullptr, &stamp);
    const uint32_t code = p.LastErrorCode();
    const std::string text = LastErrorText();
#endif
    fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
    fs::remove(file);
    ASSERT_TRUE(found);
    EXPECT_EQ(read.WriteRefusal, AccessDeniedCode);
#ifdef _WIN32
    ASSERT_FALSE(written);
    EXPECT_EQ(code, uint32_t(ERROR_ACCESS_DENIED));
    ExpectCleanText(text);
#endif
}
