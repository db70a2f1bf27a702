#include "common/errors.h"
#include "fake/fake_platform.h"
#include "select/walker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

std::string P(std::initializer_list<std::string> parts) {
    return FakePath(parts);
}
std::string F(std::initializer_list<std::string> parts) {
    return FakePath(parts) + " (folder)";
}

// Records what the walk hands on: "path" or "path (folder)" for each item,
// after checking that its place (the folder held open, and its name there)
// reaches it; "! path: reason" for a folder it could not search.
class TRecorder : public TWalkVisitor {
public:
    std::vector<std::string> Received;
    std::vector<std::string> Listed_;
    // Called with each item, after it is recorded.
    std::function<void(const TFoundItem &)> OnItem;

    void Item(TFoundItem item) override {
        TFindData entry;
        EXPECT_TRUE(
            Platform().ReadItem(item.Place.Handle(), item.Place.Name, item.Place.FollowLink, entry))
            << item.Path;
        EXPECT_EQ(entry.IsFolder, item.Entry.IsFolder) << item.Path;
        EXPECT_EQ(item.Path.substr(item.Path.size() - item.Place.Name.size()), item.Place.Name);
        Received.push_back(item.Entry.IsFolder ? item.Path + " (folder)" : item.Path);
        if (OnItem)
            OnItem(item);
    }
    void Unsearchable(const std::string &path, const std::string &reason) override {
        Received.push_back("! " + path + ": " + reason);
    }
    void Listed(const std::string &path, const TItemPlace &place) override {
        TFindData entry;
        EXPECT_TRUE(Platform().ReadItem(place.Handle(), place.Name, place.FollowLink, entry))
            << path;
        Listed_.push_back(path);
    }
};

class Walker : public ::testing::Test {
protected:
    void SetUp() override {
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
    void TearDown() override { EXPECT_EQ(Fake().OpenFolders, 0); }

    std::vector<std::string> Walk(const std::string &pattern, TFolderMode mode, bool recurse,
                                  bool expectFound = true,
                                  size_t openFolders = DefaultOpenFolders) {
        Recorder = TRecorder();
        TOption option;
        option.FileName = pattern;
        option.FolderMode = mode;
        option.Recurse = recurse;
        EXPECT_EQ(SearchOperand(option, Recorder, openFolders).Found, expectFound) << pattern;
        return Recorder.Received;
    }

    TFakePlatformScope Scope;
    TRecorder Recorder;
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
    // Every folder below the operand's is told when its listing was read.
    EXPECT_EQ(Recorder.Listed_,
              Items({P({"d", "s1"}), P({"d", "s1", "t"}), P({"d", "s2"}), P({"d", "x.txt"})}));
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
    // The operand's own folder that cannot be opened is told with the reason.
    TOption option;
    option.FileName = P({"nowhere", "*.txt"});
    EXPECT_EQ(SearchOperand(option, Recorder).FolderError, FakeNotFound);
}

TEST_F(Walker, ASubFolderThatCannotBeSearchedIsToldAndTheWalkGoesOn) {
    Fake().Item(P({"d", "s1"})).FailSearch = true;
    Fake().FailCode = 1234;
    EXPECT_EQ(Walk(P({"d", "*.txt"}), fmAllFolders, true),
              Items({P({"d", "a.txt"}), F({"d", "s1"}), "! " + P({"d", "s1"}) + ": error 1234",
                     F({"d", "s2"}), F({"d", "x.txt"}), P({"d", "x.txt", "f.txt"})}));
    // The operand's own folder is no sub-folder met on the way: selecting
    // nothing there is the not-found case, told by the run.
    EXPECT_EQ(Walk(P({"d", "s1", "*.txt"}), fmNoFolders, true, false), Items());
    EXPECT_EQ(Walk(P({"d", "s2", "*.txt"}), fmNoFolders, true, false), Items());
}

TEST_F(Walker, ANameTheProgramCannotHoldIsHandedOnMarkedAndNeverSearched) {
    // A file and a folder whose names the listing can show only with a stand-in
    // ("?", which as a pattern would match "a.txt" and "s1" too).
    const std::string file = P({"d", "?.txt"}), folder = P({"d", "s?"});
    Fake().AddFile(file);
    Fake().AddFolder(folder);
    Fake().AddFile(P({"d", "s?", "g.txt"}));
    Fake().Item(file).NameUnrepresentable = true;
    Fake().Item(folder).NameUnrepresentable = true;
    std::vector<std::string> marked;
    Recorder.OnItem = [&](const TFoundItem &item) {
        if (item.Entry.NameUnrepresentable)
            marked.push_back(item.Path);
    };
    TOption option;
    option.FileName = P({"d", "*.txt"});
    option.FolderMode = fmAllFolders;
    option.Recurse = true;
    EXPECT_TRUE(SearchOperand(option, Recorder).Found);
    EXPECT_EQ(marked, Items({file, folder}));
    EXPECT_EQ(std::count(Recorder.Received.begin(), Recorder.Received.end(),
                         "! " + folder + ": " + UnrepresentableNameReason),
              1);
    for (const std::string &item : Recorder.Received)
        EXPECT_EQ(item.find("g.txt"), std::string::npos) << item;
}

TEST_F(Walker, LinkedFoldersAreNeverFoldersOfTheWalk) {
    // A link or junction to a folder, here (up) and below (back): never
    // descended into, never taken for a folder (-f1, -f2) unless the operand
    // names it exactly; below the operand's folder it is an item of its own.
    Fake().AddFolder(P({"d", "up"}));
    Fake().Item(P({"d", "up"})).IsLink = true;
    Fake().AddFile(P({"d", "up", "g.txt"}));
    Fake().AddFolder(P({"d", "s1", "back"}));
    Fake().Item(P({"d", "s1", "back"})).IsLink = true;
    Fake().AddFile(P({"d", "s1", "back", "h.txt"}));
    const struct {
        std::string Pattern;
        TFolderMode Mode;
        bool Recurse;
        bool Up, Back;
    } rows[] = {
        {P({"d", "*.txt"}), fmAllFolders, true, false, false},
        {P({"d", "*"}), fmNoFolders, true, false, true},
        {P({"d", "*"}), fmMatchedFolders, true, false, true},
        {P({"d", "*"}), fmAllFolders, true, false, true},
        {P({"d", "*"}), fmNoFiles, true, false, false},
        {P({"d", "up"}), fmNoFolders, false, true, false},
        {P({"d", "up"}), fmAllFolders, false, true, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.Pattern + " " + std::to_string(row.Mode));
        const Items found = Walk(row.Pattern, row.Mode, row.Recurse);
        EXPECT_EQ(std::count(found.begin(), found.end(), F({"d", "up"})), row.Up ? 1 : 0);
        EXPECT_EQ(std::count(found.begin(), found.end(), F({"d", "s1", "back"})), row.Back ? 1 : 0);
        for (const std::string &item : found)
            EXPECT_TRUE(item.find("g.txt") == std::string::npos &&
                        item.find("h.txt") == std::string::npos)
                << item;
    }
}

// A walk holds at most the folders it may, however deep the tree, and hands
// on the same items in the same order; a folder that was put in another's
// place while the walk was away from it is told and not entered again.
TEST_F(Walker, ABoundOnOpenFoldersAtAnyDepth) {
    // deep: 40 levels, each with a file, a second folder "z" and the next level "n".
    std::string folder = "deep";
    for (int level = 0; level < 40; ++level) {
        Fake().AddFile(FakePath({folder, "f.txt"}));
        Fake().AddFolder(FakePath({folder, "z"}));
        Fake().AddFile(FakePath({folder, "z", "g.txt"}));
        folder = FakePath({folder, "n"});
        Fake().AddFolder(folder);
    }
    const std::string pattern = FakePath({"deep", "*.txt"});
    const Items whole = Walk(pattern, fmAllFolders, true);
    EXPECT_EQ(whole.size(), 40u * 4);
    for (size_t limit : {3u, 5u, 8u}) {
        Fake().PeakOpenFolders = 0;
        EXPECT_EQ(Walk(pattern, fmAllFolders, true, true, limit), whole) << limit;
        EXPECT_LE(Fake().PeakOpenFolders, int(limit)) << limit;
    }

    // The folder deep/n/n is put in another's place once the walk has gone
    // down past it: its own file came first; its second folder "z" (listed
    // after "n") is not searched, and the walk goes on above it.
    const std::string swapped = FakePath({"deep", "n", "n"});
    bool done = false;
    Recorder = TRecorder();
    Recorder.OnItem = [&](const TFoundItem &item) {
        if (done || item.Path != FakePath({"deep", "n", "n", "n", "n", "f.txt"}))
            return;
        done = true;
        TFakeItem replacement = Fake().Item(swapped);
        replacement.Id = ++Fake().LastId;
        Fake().Items[swapped] = replacement;
    };
    TOption option;
    option.FileName = pattern;
    option.Recurse = true;
    EXPECT_TRUE(SearchOperand(option, Recorder, 3).Found);
    const Items &received = Recorder.Received;
    const auto told = std::find_if(received.begin(), received.end(),
                                   [](const std::string &s) { return s[0] == '!'; });
    ASSERT_NE(told, received.end());
    EXPECT_EQ(told->substr(0, 2 + swapped.size()), "! " + swapped);
    EXPECT_EQ(std::find(received.begin(), received.end(), FakePath({swapped, "z", "g.txt"})),
              received.end());
    // Above it, the walk went on: the second folder of deep/n was searched.
    EXPECT_NE(std::find(received.begin(), received.end(), FakePath({"deep", "n", "z", "g.txt"})),
              received.end());
}

#ifdef _WIN32
TEST_F(Walker, NamesCompareWithoutRegardToCase) {
    // The item is named as the directory lists it.
    EXPECT_EQ(Walk("d\\S1", fmNoFolders, false), Items({"d\\s1 (folder)"}));
}
#endif

} // namespace
