#include "common/errors.h"
#include "common/settings.h"
#include "fake/fake_platform.h"
#include "report/output.h"
#include "select/walker.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Received;

// Records each item as "path" or "path (folder)", after checking that its
// place (the folder the walk holds open, and its name there) reaches it.
void Record(const std::string &path, const TItemPlace &place, TOption, bool isFolder) {
    TFindData entry;
    EXPECT_TRUE(Platform().ReadItem(place.Folder, place.Name, place.FollowLink, entry)) << path;
    EXPECT_EQ(entry.IsFolder, isFolder) << path;
    EXPECT_EQ(path.substr(path.size() - place.Name.size()), place.Name);
    Received.push_back(isFolder ? path + " (folder)" : path);
}

std::string P(std::initializer_list<std::string> parts) {
    return FakePath(parts);
}
std::string F(std::initializer_list<std::string> parts) {
    return FakePath(parts) + " (folder)";
}

class Walker : public ::testing::Test {
protected:
    void SetUp() override {
        Received.clear();
        SetItemHandler(Record);
        // d: a.txt, b.dat, s1 (c.txt, t (e.txt)), s2 (empty), x.txt (a folder: f.txt)
        Fake().AddFile(P({"d", "a.txt"}));
        Fake().AddFile(P({"d", "b.dat"}));
        Fake().AddFolder(P({"d", "s1"}));
        Fake().AddFile(P({"d", "s1", "c.txt"}));
        Fake().AddFolder(P({"d", "s1", "t"}));
        Fake().AddFile(P({"d", "s1", "t", "e.txt"}));
        Fake().AddFolder(P({"d", "s2"}));
        Fake().AddFolder(P({"d", "x.txt"}));
        Fake().AddFile(P({"d", "x.txt", "f.txt"}));
    }
    void TearDown() override {
        EXPECT_EQ(Fake().OpenFolders, 0);
        SetItemHandler(nullptr);
        HeadingPending = false;
    }

    std::vector<std::string> Walk(const std::string &pattern, TFolderMode mode, bool recurse,
                                  bool expectFound = true) {
        Received.clear();
        TOption option;
        option.FolderMode = mode;
        option.Recurse = recurse;
        EXPECT_EQ(SearchOperand(pattern, option, true, false), expectFound) << pattern;
        return Received;
    }

    TFakePlatformScope Scope;
};

using Items = std::vector<std::string>;

TEST_F(Walker, SelectionAndOrderOfAWildcardOperand) {
    const std::string pattern = P({"d", "*.txt"});
    EXPECT_EQ(Walk(pattern, fmNoFolders, false), Items({P({"d", "a.txt"})}));
    EXPECT_EQ(Walk(pattern, fmMatchedFolders, false),
              Items({P({"d", "a.txt"}), F({"d", "x.txt"})}));
    EXPECT_EQ(Walk(pattern, fmAllFolders, false),
              Items({P({"d", "a.txt"}), F({"d", "s1"}), F({"d", "s2"}), F({"d", "x.txt"})}));
    EXPECT_EQ(Walk(pattern, fmNoFiles, false), Items({F({"d", "x.txt"})}));

    EXPECT_EQ(Walk(pattern, fmNoFolders, true),
              Items({P({"d", "a.txt"}), P({"d", "s1", "c.txt"}), P({"d", "s1", "t", "e.txt"}),
                     P({"d", "x.txt", "f.txt"})}));
    EXPECT_EQ(Walk(pattern, fmMatchedFolders, true),
              Items({P({"d", "a.txt"}), F({"d", "x.txt"}), P({"d", "s1", "c.txt"}),
                     P({"d", "s1", "t", "e.txt"}), P({"d", "x.txt", "f.txt"})}));
    // A folder is stamped before its contents, one sub-folder finished before the next.
    EXPECT_EQ(Walk(pattern, fmAllFolders, true),
              Items({P({"d", "a.txt"}), F({"d", "s1"}), P({"d", "s1", "c.txt"}),
                     F({"d", "s1", "t"}), P({"d", "s1", "t", "e.txt"}), F({"d", "s2"}),
                     F({"d", "x.txt"}), P({"d", "x.txt", "f.txt"})}));
    EXPECT_EQ(Walk(pattern, fmNoFiles, true), Items({F({"d", "x.txt"})}));

    // Only files match: with -f3 nothing is selected.
    EXPECT_EQ(Walk(P({"d", "*.dat"}), fmNoFiles, true, false), Items());
    // Nothing matches at the top, something below.
    EXPECT_EQ(Walk(P({"d", "e.*"}), fmNoFolders, true), Items({P({"d", "s1", "t", "e.txt"})}));
    EXPECT_EQ(Walk(P({"d", "e.*"}), fmNoFolders, false, false), Items());
}

TEST_F(Walker, AFolderNamedExactly) {
    const std::string pattern = P({"d", "s1"});
    for (TFolderMode mode : {fmNoFolders, fmMatchedFolders, fmNoFiles})
        EXPECT_EQ(Walk(pattern, mode, false), Items({F({"d", "s1"})})) << int(mode);
    // In all-folders mode the folder pass stamps it, with its sisters.
    EXPECT_EQ(Walk(pattern, fmAllFolders, false),
              Items({F({"d", "s1"}), F({"d", "s2"}), F({"d", "x.txt"})}));
    // With -r the name is only searched for in every sub-folder.
    EXPECT_EQ(Walk(pattern, fmNoFolders, true, false), Items());
    EXPECT_EQ(Walk(pattern, fmMatchedFolders, true), Items({F({"d", "s1"})}));
}

TEST_F(Walker, NothingToSearch) {
    EXPECT_EQ(Walk(P({"nowhere", "*.txt"}), fmNoFolders, true, false), Items());
    EXPECT_EQ(Walk(P({"nowhere", "*.txt"}), fmAllFolders, false, false), Items());
    EXPECT_EQ(Walk(P({"d", "s2", "*"}), fmAllFolders, true, false), Items());
    // A relative operand without a folder part searches the current folder.
    Fake().AddFile("top.txt");
    EXPECT_EQ(Walk("*.txt", fmNoFolders, false), Items({"top.txt"}));
}

TEST_F(Walker, ASubFolderThatCannotBeSearchedIsWarnedAboutAndTheWalkGoesOn) {
    Fake().Item(P({"d", "s1"})).FailSearch = true;
    Fake().FailCode = 1234;
    ItemsKept = false;
    EXPECT_EQ(Walk(P({"d", "*.txt"}), fmAllFolders, true),
              Items({P({"d", "a.txt"}), F({"d", "s1"}), F({"d", "s2"}), F({"d", "x.txt"}),
                     P({"d", "x.txt", "f.txt"})}));
    FlushOut();
    EXPECT_EQ(Fake().Out, "Warn.: フォルダを検索できませんでした。(" + P({"d", "s1"}) + ")" +
                              std::string(LineEnd));
    EXPECT_EQ(Fake().Err, P({"d", "s1"}) + ": error 1234" + std::string(LineEnd));
    EXPECT_TRUE(ItemsKept);

    // The operand's own folder is no sub-folder met on the way: selecting
    // nothing there is the not-found case, told by the run.
    Fake().Out.clear();
    ItemsKept = false;
    EXPECT_EQ(Walk(P({"d", "s1", "*.txt"}), fmNoFolders, true, false), Items());
    EXPECT_EQ(Walk(P({"d", "s2", "*.txt"}), fmNoFolders, true, false), Items());
    FlushOut();
    EXPECT_EQ(Fake().Out, "");
    EXPECT_FALSE(ItemsKept);
}

TEST_F(Walker, FoundIsThreadedAndHeadingSetAtTheTopOnly) {
    TOption option;
    HeadingPending = false;
    EXPECT_TRUE(SearchOperand(P({"d", "none"}), option, false, true));
    EXPECT_FALSE(HeadingPending);
    EXPECT_FALSE(SearchOperand(P({"d", "none"}), option, true, false));
    EXPECT_TRUE(HeadingPending);
}

TEST_F(Walker, TheHandlerGetsTheOperandsOptions) {
    static TOption seen;
    SetItemHandler(
        [](const std::string &, const TItemPlace &, TOption option, bool) { seen = option; });
    TOption option;
    option.FileName = "operand";
    option.Kinds = TStampKinds{5};
    option.Shift = 42;
    option.SourceFile = "src";
    EXPECT_TRUE(SearchOperand(P({"d", "a.txt"}), option, true, false));
    EXPECT_EQ(seen.FileName, "operand");
    EXPECT_EQ(seen.Kinds.Bits, 5);
    EXPECT_EQ(seen.Shift, 42);
    EXPECT_EQ(seen.SourceFile, "src");
}

TEST_F(Walker, ANameTheCodePageCannotHoldIsNeverHandedOn) {
    // A file and a folder whose names the listing can show only with a stand-in
    // ("?", which as a pattern would match "a.txt" and "s1" too), and a file
    // whose name the listing says a path cannot hold.
    const std::string file = P({"d", "?.txt"}), folder = P({"d", "s?"});
    const std::string refused = P({"d", "q|.txt"});
    Fake().AddFile(file);
    Fake().AddFolder(folder);
    Fake().AddFile(P({"d", "s?", "g.txt"}));
    Fake().AddFile(refused);
    Fake().Item(file).NameUnrepresentable = true;
    Fake().Item(folder).NameUnrepresentable = true;
    Fake().Item(refused).NameRefusal = 123;
    const std::string eol = LineEnd, reason = std::string(": ") + UnrepresentableNameReason + eol;
    const std::string refusedReason = ": error 123" + eol;
    const std::string notChanged = "Warn.: 変更できませんでした。(";

    struct {
        TFolderMode Mode;
        bool Recurse;
        bool Restore;
        Items Handled;
        std::string Out, Err;
    } rows[] = {
        {fmNoFolders,
         false,
         false,
         {P({"d", "a.txt"})},
         notChanged + file + ")" + eol + notChanged + refused + ")" + eol,
         file + reason + refused + refusedReason},
        {fmAllFolders,
         true,
         false,
         {P({"d", "a.txt"}), F({"d", "s1"}), P({"d", "s1", "c.txt"}), F({"d", "s1", "t"}),
          P({"d", "s1", "t", "e.txt"}), F({"d", "s2"}), F({"d", "x.txt"}),
          P({"d", "x.txt", "f.txt"})},
         notChanged + file + ")" + eol + notChanged + refused + ")" + eol + notChanged + folder +
             ")" + eol + "Warn.: フォルダを検索できませんでした。(" + folder + ")" + eol,
         file + reason + refused + refusedReason + folder + reason + folder + reason},
        {fmNoFolders,
         false,
         true,
         {P({"d", "a.txt"})},
         "",
         eol + "タイムスタンプ復元設定を作成します。" + eol +
             "Warn.: 復元設定を作成できませんでした。(" + file + ")" + eol + file + reason +
             "Warn.: 復元設定を作成できませんでした。(" + refused + ")" + eol + refused +
             refusedReason},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(int(row.Mode));
        Received.clear();
        Fake().Out.clear();
        Fake().Err.clear();
        TOption option;
        option.FolderMode = row.Mode;
        option.Recurse = row.Recurse;
        option.MakeRestoreFile = row.Restore;
        EXPECT_TRUE(SearchOperand(P({"d", "*.txt"}), option, true, false));
        FlushOut();
        EXPECT_EQ(Received, row.Handled);
        EXPECT_EQ(Fake().Out, row.Out);
        EXPECT_EQ(Fake().Err, row.Err);
    }
}

TEST_F(Walker, LinkedFoldersAreItemsButNeverSearched) {
    // A link or junction to a folder, here and below: listed as a folder,
    // stamped in all-folders mode, never descended into.
    Fake().AddFolder(P({"d", "up"}));
    Fake().Item(P({"d", "up"})).IsLink = true;
    Fake().AddFile(P({"d", "up", "g.txt"}));
    Fake().AddFolder(P({"d", "s1", "back"}));
    Fake().Item(P({"d", "s1", "back"})).IsLink = true;
    Fake().AddFile(P({"d", "s1", "back", "h.txt"}));
    const Items found = Walk(P({"d", "*.txt"}), fmAllFolders, true);
    EXPECT_EQ(std::count(found.begin(), found.end(), F({"d", "up"})), 1);
    EXPECT_EQ(std::count(found.begin(), found.end(), F({"d", "s1", "back"})), 1);
    for (const std::string &item : found)
        EXPECT_TRUE(item.find("g.txt") == std::string::npos &&
                    item.find("h.txt") == std::string::npos)
            << item;
}

#ifdef _WIN32
TEST_F(Walker, NamesCompareWithoutRegardToCase) {
    // The item is named as the directory lists it.
    EXPECT_EQ(Walk("d\\S1", fmNoFolders, false), Items({"d\\s1 (folder)"}));
}
#endif

} // namespace
