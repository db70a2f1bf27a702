#include "select/walker.h"

#include "common/errors.h"
#include "common/paths.h"
#include "report/report.h"

#include <algorithm>
#include <atomic>
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
    std::string Text;  // the path text of its items: ends with a separator (or is empty)
    std::string Name;  // its name in the level above
    bool Identified = false;
    std::pair<uint64_t, uint64_t> Identity; // device and inode, where the platform knows them
    std::vector<TFindData> SubFolders;      // left to visit, in listing order
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
        level.Text = folderText;
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
    std::vector<TLevel> Levels;
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

    static std::string Shown(const std::string &folderText) {
        return folderText.substr(0, folderText.size() - 1);
    }

    void Yield(const TLevel &level, const TFindData &entry, bool operandLevel) {
        Found = true;
        Visitor.Item(TFoundItem{level.Text + entry.Name,
                                TItemPlace{level.Folder, entry.Name, operandLevel,
                                           level.Identified ? level.Identity.first : 0},
                                entry, level.Identified, level.Identity});
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
                bool selected;
                if (!entry.IsFolder)
                    selected = Option.FolderMode != fmNoFiles;
                else if (!Option.Recurse && Platform().SameName(entry.Name, NamePart))
                    selected = Option.FolderMode != fmAllFolders;
                else
                    selected =
                        Option.FolderMode == fmMatchedFolders || Option.FolderMode == fmNoFiles;
                if (selected)
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
        TFindData entry;
        TSearch search(level.Folder->Get(), "*", operandLevel, entry);
        // A folder that can be listed holds entries ("." and ".." at least;
        // a drive's root may hold none): no search at all means that it could
        // not be read.
        if (!search.Started()) {
            const uint32_t code = Platform().LastErrorCode();
            if (!operandLevel)
                Visitor.Unsearchable(Shown(level.Text), SystemReason(code));
            else if (!IsAbsenceCode(code) && Found)
                Visitor.Unsearchable(ShownFolder(level.Text), SystemReason(code));
            else if (!IsAbsenceCode(code))
                OperandFolderError = code;
        }
        for (bool more = search.Started(); more; more = search.Next(entry))
            if (entry.IsFolder && !IsDotEntry(entry.Name))
                level.SubFolders.push_back(entry);
        if (!operandLevel)
            Visitor.Listed(Shown(level.Text),
                           TItemPlace{Levels[index - 1].Folder, level.Name, index == 1});
    }

    // One sub-folder of the deepest level, or the end of that level.
    void Step() {
        const size_t index = Levels.size() - 1;
        if (Levels[index].Next >= Levels[index].SubFolders.size()) {
            Levels.pop_back();
            return;
        }
        const TFindData sub = Levels[index].SubFolders[Levels[index].Next++];
        if (!Reopen(index))
            return;
        const bool operandLevel = index == 0;
        const std::string subPath = Levels[index].Text + sub.Name;
        if (Option.FolderMode == fmAllFolders)
            Yield(Levels[index], sub, operandLevel);
        // A link or junction is never descended into: it may lead out of the
        // tree or back up into it.
        if (!Option.Recurse || sub.IsLink)
            return;
        // The text that shows its name may be another folder's.
        if (sub.NameUnrepresentable || sub.NameListedTwice) {
            Visitor.Unsearchable(subPath, sub.NameUnrepresentable ? UnrepresentableNameReason
                                                                  : NameListedTwiceReason);
            return;
        }
        MakeRoom(index);
        TFolderHandle opened = Platform().OpenSubFolder(Levels[index].Folder->Get(), sub.Name);
        if (!opened) {
            Visitor.Unsearchable(subPath, SystemReason(Platform().LastErrorCode()));
            return;
        }
        TLevel level;
        level.Folder = Share(opened);
        level.Text = subPath + PathSeparator;
        level.Name = sub.Name;
        Identify(level);
        if (!FirstVisit(level))
            return;
        Levels.push_back(std::move(level));
        Visitor.Entering(subPath);
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
            TFolderHandle opened =
                Platform().OpenSubFolder(Levels[k - 1].Folder->Get(), level.Name);
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
                Visitor.Unsearchable(Shown(level.Text), reason);
                Levels.resize(k);
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
