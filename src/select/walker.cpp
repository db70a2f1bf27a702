#include "select/walker.h"

#include "common/errors.h"
#include "common/paths.h"
#include "report/report.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <memory>
#include <set>
#include <utility>
#include <vector>

namespace {

// Entries that are no items of the folder: "." and "..". Other names may end
// in "." (such as "notes."), and those are items like any other.
bool IsDotEntry(const std::string &name) {
    return name == "." || name == "..";
}

const char *const FolderChanged = "フォルダが検索の途中で別のものに置き換えられました";

// One folder on the walk's way down from the operand's folder.
struct TLevel {
    TFolderRef Folder; // null while closed
    // The length of the path text of its items (the walk's Text up to its
    // separator). Its name in the level above is the text's last part.
    size_t TextEnd = 0;
    bool Identified = false;
    std::pair<uint64_t, uint64_t> Identity; // device and inode, where the platform knows them
    // Left to visit, in listing order, from Next on; let go once all are
    // taken, so that a deep tree's levels keep no more than their names.
    std::vector<TFindData> SubFolders;
    size_t Next = 0;
};

class TWalk {
public:
    TWalk(const TOption &option, TWalkVisitor &visitor, size_t openFolders, bool foldersOnly)
        : Option(option), Visitor(visitor), Limit(std::max<size_t>(openFolders, 3)),
          FoldersOnly(foldersOnly), NamePart(FileNamePart(option.FileName)),
          Live(std::make_shared<std::atomic<size_t>>(0)) {}

    TWalkResult Run() {
        TWalkResult result;
        const std::string folderText = FolderPart(Option.FileName);
        TFolderHandle root = Platform().OpenFolder(folderText);
        if (!root) {
            result.FolderError = Platform().LastErrorCode();
            return result;
        }
        TLevel level;
        level.Folder = Share(root);
        Text = folderText;
        level.TextEnd = Text.size();
        AnchorFrom = Text.size();
        // Absolute paths (for the journal and restore lines) are the real
        // folder's path and the names below it.
        // The folder's own path is asked for as that of a name in it.
        const std::string probe = "x";
        std::string anchor = Platform().FullPathName(root, probe);
        if (anchor.size() > probe.size() &&
            anchor.compare(anchor.size() - probe.size(), probe.size(), probe) == 0) {
            anchor.resize(anchor.size() - probe.size());
            Anchor = std::make_shared<const std::string>(std::move(anchor));
        }
        Identify(level);
        FirstVisit(level);
        Levels.push_back(std::move(level));
        Enter(0);
        while (!Levels.empty())
            Step();
        result.Found = Found;
        result.FolderError = Found ? 0 : OperandFolderError;
        result.NamesFolder = NamesFolder;
        return result;
    }

private:
    const TOption &Option;
    TWalkVisitor &Visitor;
    const size_t Limit;
    const bool FoldersOnly; // the operand ended in a separator
    bool NamesFolder = false;
    const std::string NamePart; // carried down unchanged to every level
    bool Found = false;
    // Why a search in the operand's own folder failed (0: none did).
    uint32_t OperandFolderError = 0;
    // A deque: a deep walk's levels are never copied as they grow.
    std::deque<TLevel> Levels;
    // The path text of the deepest level's items: each level's text is the
    // beginning of it, up to its TextEnd.
    std::string Text;
    std::shared_ptr<const std::string> Anchor;
    size_t AnchorFrom = 0;
    // Every real folder searched so far: however many ways lead to a folder
    // (bind mounts), it is searched once.
    std::set<std::pair<uint64_t, uint64_t>> Searched;
    // Folders of this walk open now, its items' included.
    std::shared_ptr<std::atomic<size_t>> Live;

    TFolderRef Share(TFolderHandle handle) {
        ++*Live;
        auto live = Live;
        return TFolderRef(new TFolder(handle), [live](const TFolder *folder) {
            delete folder;
            --*live;
        });
    }

    void Identify(TLevel &level) {
        level.Identified = Platform().FolderIdentity(level.Folder->Get(), level.Identity.first,
                                                     level.Identity.second);
    }

    // Notes the folder as searched; false when it was already.
    bool FirstVisit(const TLevel &level) {
        return !level.Identified || Searched.insert(level.Identity).second;
    }

    // The path of level `index` as messages show it.
    std::string Shown(size_t index) const { return Text.substr(0, Levels[index].TextEnd - 1); }
    // The name of level `index` (not the operand's folder) in the level above.
    std::string NameOf(size_t index) const {
        const size_t from = Levels[index - 1].TextEnd;
        return Text.substr(from, Levels[index].TextEnd - 1 - from);
    }

    void PopTo(size_t count) {
        Levels.resize(count);
        if (!Levels.empty())
            Text.resize(Levels.back().TextEnd);
    }

    // Whether the first pass selects an entry. A link in the operand's own
    // folder matched by the pattern is followed, and is what it points to,
    // but it is only taken for a folder where the operand names it exactly;
    // below that folder a link is an item of its own, never a folder.
    bool Selected(const TFindData &entry, bool operandLevel) const {
        if (!entry.IsFolder || (entry.IsLink && !operandLevel))
            return Option.FolderMode != fmNoFiles;
        if (!Option.Recurse && Platform().SameName(entry.Name, NamePart))
            return Option.FolderMode != fmAllFolders || entry.IsLink;
        return (Option.FolderMode == fmMatchedFolders || Option.FolderMode == fmNoFiles) &&
               !entry.IsLink;
    }

    // Hands on an entry of the deepest level.
    void Yield(const TLevel &level, const TFindData &entry, bool operandLevel) {
        Found = true;
        TItemPlace place{level.Folder, entry.Name, operandLevel && entry.IsLink,
                         level.Identified ? level.Identity.first : 0};
        place.Listed = true;
        place.ListedFolder = entry.IsFolder;
        place.ListedLink = entry.IsLink;
        Visitor.Item(TFoundItem{Text + entry.Name, std::move(place), entry, level.Identified,
                                level.Identity, Anchor, AnchorFrom});
    }

    // Searches the folder of level `index`, which is open: what the pattern
    // matches there, then its sub-folders' list for the steps that follow.
    void Enter(size_t index) {
        TLevel &level = Levels[index];
        const bool operandLevel = index == 0;
        {
            TFindData entry;
            TSearch search(level.Folder->Get(), NamePart, operandLevel, entry);
            if (operandLevel && !search.Started())
                OperandFolderError = Platform().LastErrorCode();
            for (bool more = search.Started(); more; more = search.Next(entry)) {
                if (IsDotEntry(entry.Name) || (FoldersOnly && !entry.IsFolder))
                    continue;
                if (operandLevel && entry.IsFolder && Platform().SameName(entry.Name, NamePart))
                    NamesFolder = true;
                if (Selected(entry, operandLevel))
                    Yield(level, entry, operandLevel);
            }
        }
        if (!Option.Recurse && Option.FolderMode != fmAllFolders)
            return;
        // The operand's folder could not be read: nothing of it can be.
        if (OperandFolderError != 0 && !IsAbsenceCode(OperandFolderError))
            return;
        // The listing is read whole first: the walk then holds no listing
        // open while it goes down.
        // Links are never followed here: none is a folder of the walk.
        TFindData entry;
        TSearch search(level.Folder->Get(), "*", false, entry);
        // A folder that can be listed holds entries ("." and ".." at least;
        // a drive's root may hold none): no search at all means that it could
        // not be read.
        if (!search.Started()) {
            const uint32_t code = Platform().LastErrorCode();
            if (!operandLevel)
                Visitor.Unsearchable(Shown(index), SystemReason(code));
            else if (!IsAbsenceCode(code) && Found)
                Visitor.Unsearchable(ShownFolder(Text), SystemReason(code));
            else if (!IsAbsenceCode(code))
                OperandFolderError = code;
        }
        for (bool more = search.Started(); more; more = search.Next(entry))
            if (entry.IsFolder && !entry.IsLink && !IsDotEntry(entry.Name))
                level.SubFolders.push_back(entry);
        if (!operandLevel)
            Visitor.Listed(Shown(index),
                           TItemPlace{Levels[index - 1].Folder, NameOf(index), index == 1});
    }

    // One sub-folder of the deepest level, or the end of that level.
    void Step() {
        const size_t index = Levels.size() - 1;
        if (Levels[index].Next >= Levels[index].SubFolders.size()) {
            PopTo(index);
            return;
        }
        TLevel &here = Levels[index];
        const TFindData sub = std::move(here.SubFolders[here.Next++]);
        if (here.Next == here.SubFolders.size()) {
            std::vector<TFindData>().swap(here.SubFolders);
            here.Next = 0;
        }
        if (!Reopen(index))
            return;
        const bool operandLevel = index == 0;
        if (Option.FolderMode == fmAllFolders)
            Yield(Levels[index], sub, operandLevel);
        if (!Option.Recurse)
            return;
        // The text that shows its name may be another folder's.
        if (sub.NameUnrepresentable || sub.NameListedTwice) {
            Visitor.Unsearchable(Text + sub.Name, sub.NameUnrepresentable
                                                      ? UnrepresentableNameReason
                                                      : NameListedTwiceReason);
            return;
        }
        MakeRoom(index);
        TFolderHandle opened = Platform().OpenSubFolder(Levels[index].Folder->Get(), sub.Name);
        if (!opened) {
            Visitor.Unsearchable(Text + sub.Name, SystemReason(Platform().LastErrorCode()));
            return;
        }
        TLevel level;
        level.Folder = Share(opened);
        Identify(level);
        if (!FirstVisit(level))
            return;
        Text += sub.Name;
        Visitor.Entering(Text);
        Text += PathSeparator;
        level.TextEnd = Text.size();
        Levels.push_back(std::move(level));
        Enter(Levels.size() - 1);
    }

    // Makes level `index` open again if it was closed to make room, from the
    // nearest open level above it, each folder on the way checked to be the
    // one the walk left. A folder that is gone or another one now is
    // reported, and the walk goes on above it.
    bool Reopen(size_t index) {
        if (Levels[index].Folder)
            return true;
        size_t open = index;
        while (!Levels[open].Folder)
            --open; // the operand's folder is never closed
        for (size_t k = open + 1; k <= index; ++k) {
            MakeRoom(k - 1);
            TLevel &level = Levels[k];
            TFolderHandle opened = Platform().OpenSubFolder(Levels[k - 1].Folder->Get(), NameOf(k));
            std::string reason;
            if (!opened) {
                reason = SystemReason(Platform().LastErrorCode());
            } else {
                level.Folder = Share(opened);
                const auto before = level.Identity;
                const bool wasIdentified = level.Identified;
                Identify(level);
                if (wasIdentified && (!level.Identified || level.Identity != before))
                    reason = FolderChanged;
            }
            if (!reason.empty()) {
                Visitor.Unsearchable(Shown(k), reason);
                PopTo(k);
                return false;
            }
        }
        return true;
    }

    // Before a folder is opened below level `keep`: when the walk holds as
    // many folders as it may, the visitor lets go of its items' folders, and
    // then the walk closes the open levels highest up (never the operand's
    // folder, nor `keep`).
    void MakeRoom(size_t keep) {
        if (*Live < Limit)
            return;
        Visitor.Relieve();
        for (size_t k = 1; k < Levels.size() && *Live >= Limit; ++k)
            if (k != keep && Levels[k].Folder)
                Levels[k].Folder.reset();
    }
};

} // namespace

TWalkResult SearchOperand(const TOption &option, TWalkVisitor &visitor, size_t openFolders) {
    if constexpr (PathSeparator == '/') {
        const std::string &name = option.FileName;
        const size_t last = name.find_last_not_of('/');
        if (last != std::string::npos && last + 1 < name.size()) {
            TOption folders = option;
            folders.FileName.resize(last + 1);
            if (!IsDotEntry(FileNamePart(folders.FileName)))
                return TWalk(folders, visitor, openFolders, true).Run();
        }
    }
    return TWalk(option, visitor, openFolders, false).Run();
}
