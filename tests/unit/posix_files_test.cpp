// The native file layer on real folders: the wildcard matcher, and items
// reached through open folders whatever happens to the paths meanwhile.

#ifndef _WIN32

#include "platform/unix/posix_calls.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

TEST(PosixMatch, OneCharacterIsOneSequence) {
    const struct {
        const char *Pattern;
        const char *Name;
        bool Matches;
    } cases[] = {
        {"*.*", "README", true}, // every name, dot or not
        {"*.txt", "a.txt", true},
        {"a*", "a", true}, // a trailing star matches nothing too
        {"*a*b", "xaxb", true},
        {"*.txt", "a.txt.bak", false},
        {"?.txt", "a.txt", true},
        {"?.txt", "あ.txt", true}, // three bytes, one character
        {"??.txt", "あ.txt", false},
        {"*??", "あ", false}, // a star gives up whole characters
        {"*?", "あ", true},
        {"?", "\xff", true},          // a byte that starts no sequence is one character
        {"??", "\xe3\x81", true},     // a cut sequence: two characters
        {"?", "\xe0\x80\x80", false}, // an overlong form is no sequence
        {"notes*", "notes.", true},
    };
    for (const auto &c : cases)
        EXPECT_EQ(posix::MatchWildcard(c.Pattern, c.Name), c.Matches)
            << c.Pattern << " / " << c.Name;
}

class PosixFolders : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kelvard-folders-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        Root = pattern;
        fs::create_directories(Root / "t" / "s");
        fs::create_directories(Root / "out");
        for (const fs::path &file : {Root / "t" / "s" / "keep.txt", Root / "out" / "keep.txt"})
            std::ofstream(file) << "x";
    }
    void TearDown() override { fs::remove_all(Root); }

    static int64_t Mtime(const fs::path &path) {
        struct stat info {};
        EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
        return int64_t(info.st_mtim.tv_sec);
    }

    fs::path Root;
    const TPlatform &P = NativePlatform();
};

TEST_F(PosixFolders, AFolderSwappedForALinkCannotRedirectAWrite) {
    TFolder t(P.OpenFolder((Root / "t").string()));
    ASSERT_TRUE(t.IsOpen());
    TFolder s(P.OpenSubFolder(t.Get(), "s"));
    ASSERT_TRUE(s.IsOpen());
    TFindData entry;
    TSearch listing(s.Get(), "*.txt", false, entry);
    ASSERT_TRUE(listing.Started());
    EXPECT_EQ(entry.Name, "keep.txt");

    // Between the listing and the write: the folder moves, a link takes its place.
    fs::rename(Root / "t" / "s", Root / "t" / "moved");
    fs::create_directory_symlink(Root / "out", Root / "t" / "s");
    const int64_t outside = Mtime(Root / "out" / "keep.txt");
    const TStampWrite stamp{posix::TimespecToValue(1262304000, 0), 0}; // 2010-01-01
    ASSERT_TRUE(P.SetItemTimes(s.Get(), entry.Name, false, false, nullptr, nullptr, &stamp));
    EXPECT_EQ(Mtime(Root / "out" / "keep.txt"), outside);
    EXPECT_EQ(Mtime(Root / "t" / "moved" / "keep.txt"), 1262304000);
    // The link is no sub-folder to open, and the absolute path is the one
    // the folder has now.
    EXPECT_EQ(P.OpenSubFolder(t.Get(), "s"), nullptr);
    EXPECT_EQ(P.LastErrorCode(), uint32_t(ENOTDIR));
    EXPECT_EQ(P.FullPathName(s.Get(), "keep.txt"),
              (fs::canonical(Root) / "t" / "moved" / "keep.txt").string());
}

TEST_F(PosixFolders, ALinkTakenAsItselfOrFollowed) {
    fs::create_symlink(Root / "out" / "keep.txt", Root / "t" / "link.txt");
    TFolder t(P.OpenFolder((Root / "t").string()));
    TFindData own, target;
    ASSERT_TRUE(P.ReadItem(t.Get(), "link.txt", false, own));
    ASSERT_TRUE(P.ReadItem(t.Get(), "link.txt", true, target));
    EXPECT_TRUE(own.IsLink);
    EXPECT_FALSE(target.IsLink);
    EXPECT_NE(own.FileId, target.FileId);
    // A listing below the operand's folder: the link is no folder; followed,
    // a link to a folder is one, and still a link.
    fs::create_directory_symlink(Root / "out", Root / "t" / "dir");
    for (bool follow : {false, true}) {
        TFindData entry;
        TSearch listing(t.Get(), "dir", follow, entry);
        ASSERT_TRUE(listing.Started());
        EXPECT_EQ(entry.IsFolder, follow);
        TSearch all(t.Get(), "d*", follow, entry);
        ASSERT_TRUE(all.Started());
        EXPECT_TRUE(entry.IsLink);
        EXPECT_EQ(entry.IsFolder, follow);
    }
}

// A folder is read once for two searches in a row (the walk's pattern, then
// its sub-folders); the listing kept serves one search, each with its own
// pattern and link rule, and only a listing read to its end is kept.
TEST_F(PosixFolders, ASecondSearchOfAFolderSeesWhatTheFirstRead) {
    fs::create_directory_symlink(Root / "out", Root / "t" / "dir");
    std::ofstream(Root / "t" / "a.txt") << "x";
    TFolder t(P.OpenFolder((Root / "t").string()));
    auto names = [&](const char *pattern, bool follow, bool whole = true) {
        std::set<std::string> seen;
        TFindData entry;
        TSearch search(t.Get(), pattern, follow, entry);
        for (bool more = search.Started(); more; more = whole && search.Next(entry))
            if (entry.Name != "." && entry.Name != "..")
                seen.insert(entry.IsFolder ? entry.Name + "/" : entry.Name);
        return seen;
    };
    names("*", false, false); // left after its first entry
    std::ofstream(Root / "t" / "b.txt") << "x";
    EXPECT_EQ(names("*.txt", false), (std::set<std::string>{"a.txt", "b.txt"}));
    std::ofstream(Root / "t" / "c.txt") << "x";
    // From what the search before read: c.txt came after it.
    EXPECT_EQ(names("*", true), (std::set<std::string>{"a.txt", "b.txt", "dir/", "s/"}));
    // Read anew.
    EXPECT_EQ(names("*", false), (std::set<std::string>{"a.txt", "b.txt", "c.txt", "dir", "s/"}));
}

// The digits below the 100-ns tick go both ways: written as given, read as kept.
TEST_F(PosixFolders, NanosecondsBelowTheTickRoundTrip) {
    const std::string file = (Root / "t" / "s" / "keep.txt").string();
    const TStampWrite write{posix::TimespecToValue(1262304000, 123456700), 37};
    const TStampWrite access{posix::TimespecToValue(1262304001, 900), 99};
    ASSERT_TRUE(P.SetItemTimes(nullptr, file, false, true, nullptr, &access, &write));
    struct stat info {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_nsec, 123456737);
    EXPECT_EQ(info.st_atim.tv_nsec, 999);
    TFindData entry;
    ASSERT_TRUE(P.ReadItem(nullptr, file, true, entry));
    EXPECT_EQ(entry.LastWriteTime, write.Value);
    EXPECT_EQ(entry.LastWriteNanos, 37);
    EXPECT_EQ(entry.LastAccessTime, access.Value);
    EXPECT_EQ(entry.LastAccessNanos, 99);
}

// Every slot that takes a path from the current folder reaches an item whose
// path is longer than the system takes, resolving it as the system would: a
// link on the way is followed, and ".." after it goes up from where the link
// leads. The path is cut where the link ends, the hardest place.
TEST_F(PosixFolders, PathsLongerThanTheSystemTakes) {
    const std::string name(200, 'n');
    // Root/out/x is where the link leads; Root/out/n.../n.../f.txt is the item.
    fs::create_directories(Root / "out" / "x");
    int deep = open((Root / "out").c_str(), O_PATH | O_DIRECTORY);
    std::string tail;
    for (int i = 0; i < 21; ++i) { // more than PATH_MAX after the link
        ASSERT_EQ(mkdirat(deep, name.c_str(), 0700), 0);
        const int next = openat(deep, name.c_str(), O_PATH | O_DIRECTORY);
        close(deep);
        deep = next;
        tail += name + "/";
    }
    const int file = openat(deep, "f.txt", O_CREAT | O_WRONLY, 0600);
    ASSERT_EQ(write(file, "x", 1), 1);
    close(file);
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(deep, "f.txt", old, 0), 0);

    // Root/t/<fillers>/jump/: exactly PATH_MAX - 1 bytes, so the first piece
    // ends with the link and the next begins with "..".
    std::string head = (Root / "t").string() + "/";
    int filler = open(head.c_str(), O_PATH | O_DIRECTORY);
    while (head.size() + 5 < PATH_MAX - 1) {
        const size_t room = PATH_MAX - 1 - head.size() - 5 - 1; // "jump/" and a "/"
        const std::string part(room > 256 ? 200 : room, 'm');
        ASSERT_EQ(mkdirat(filler, part.c_str(), 0700), 0);
        const int next = openat(filler, part.c_str(), O_PATH | O_DIRECTORY);
        close(filler);
        filler = next;
        head += part + "/";
    }
    ASSERT_EQ(symlinkat((Root / "out" / "x").c_str(), filler, "jump"), 0);
    close(filler);
    head += "jump/";
    ASSERT_EQ(head.size(), size_t(PATH_MAX - 1));
    const std::string folder = head + "../" + tail;
    const std::string path = folder + "f.txt";

    struct stat real {};
    ASSERT_EQ(fstatat(deep, "f.txt", &real, 0), 0);
    TFindData entry;
    const uint64_t oldValue = posix::TimespecToValue(1000000000, 0);
    TSearch search(folder + "f.*", entry);
    ASSERT_TRUE(search.Started()) << P.LastErrorCode();
    EXPECT_EQ(entry.Name, "f.txt");
    EXPECT_EQ(entry.LastWriteTime, oldValue);
    ASSERT_TRUE(P.ReadItem(nullptr, path, true, entry)) << P.LastErrorCode();
    EXPECT_EQ(entry.FileId, real.st_ino);
    EXPECT_EQ(entry.Name, "f.txt");

    TFolder opened(P.OpenFolder(folder));
    ASSERT_TRUE(opened.IsOpen()) << P.LastErrorCode();
    uint64_t volume = 0, inode = 0;
    ASSERT_TRUE(P.FolderIdentity(opened.Get(), volume, inode));
    struct stat deepInfo {};
    ASSERT_EQ(fstat(deep, &deepInfo), 0);
    EXPECT_EQ(inode, deepInfo.st_ino);

    const std::string realPath = (fs::canonical(Root) / "out").string() + "/" + tail + "f.txt";
    EXPECT_EQ(P.FullPathName(nullptr, path), realPath);
    std::string data, kind, expectedKind;
    ASSERT_TRUE(P.ReadWholeFile(path, data)) << P.LastErrorCode();
    EXPECT_EQ(data, "x");
    ASSERT_TRUE(P.FileSystemName(nullptr, path, kind)) << P.LastErrorCode();
    ASSERT_TRUE(P.FileSystemName(nullptr, Root.string(), expectedKind));
    EXPECT_EQ(kind, expectedKind);

    const TStampWrite newValue{posix::TimespecToValue(1262304000, 0), 0};
    ASSERT_TRUE(P.SetItemTimes(nullptr, path, false, true, nullptr, nullptr, &newValue))
        << P.LastErrorCode();
    ASSERT_EQ(fstatat(deep, "f.txt", &real, 0), 0);
    EXPECT_EQ(real.st_mtim.tv_sec, 1262304000);
    close(deep);
}

#endif
