#include "select/walker.h"

#include "common/errors.h"
#include "common/paths.h"
#include "common/settings.h"
#include "engine/stamp_item.h"
#include "platform/platform.h"
#include "report/report.h"

#include <cstdint>
#include <set>
#include <utility>
#include <vector>

namespace {

TItemHandler ItemHandler = nullptr;

void HandleItem(const std::string &path, const TItemPlace &place, const TOption &option,
                const TFindData &entry) {
    if (entry.NameUnrepresentable)
        RefuseItem(path, option, UnrepresentableNameReason);
    else if (entry.NameRefusal != 0)
        RefuseItem(path, option, SystemReason(entry.NameRefusal));
    else if (ItemHandler)
        ItemHandler(path, place, option, entry.IsFolder);
    else
        StampItem(path, place, option, entry.IsFolder);
}

// Entries that are no items of the folder: "." and "..". Other names may end
// in "." (such as "notes."), and those are items like any other.
bool IsDotEntry(const std::string &name) {
    return name == "." || name == "..";
}

// The walk of one operand.
struct TWalk {
    const TOption &Option;
    std::string NamePart; // carried down unchanged to every level
    bool Found;
    // Every real folder searched so far, by device and inode: however many
    // ways lead to a folder (bind mounts), it is searched once.
    std::set<std::pair<uint64_t, uint64_t>> Searched;
};

// A sub-folder that the walk met but cannot search; the message names it as
// it was met, without the separator. Called right after the call that failed,
// whose reason follows.
void WarnUnsearchable(const std::string &folderText) {
    WarnItemKept("Warn.: フォルダを検索できませんでした",
                 folderText.substr(0, folderText.size() - 1), stdOutput,
                 SystemReason(Platform().LastErrorCode()));
}

// Notes the folder as searched; false when it was already.
bool FirstVisit(TWalk &walk, TFolderHandle folder) {
    uint64_t volume = 0, file = 0;
    if (!Platform().FolderIdentity(folder, volume, file))
        return true;
    return walk.Searched.insert({volume, file}).second;
}

// Searches one open folder. `folderText` begins the paths of its items (the
// operand's folder part as typed, then the sub-folder names); `operandLevel`:
// the folder the operand names, where a link that matches is followed, as
// the user named it. Below it a link is an item of its own.
void Search(TWalk &walk, TFolderHandle folder, const std::string &folderText, bool operandLevel) {
    const TOption &option = walk.Option;
    const TPlatform &platform = Platform();

    // First pass: what the pattern itself matches here.
    {
        TFindData entry;
        TSearch search(folder, walk.NamePart, operandLevel, entry);
        for (bool more = search.Started(); more; more = search.Next(entry)) {
            if (IsDotEntry(entry.Name))
                continue;
            bool selected;
            if (!entry.IsFolder)
                selected = option.FolderMode != fmNoFiles;
            else if (!option.Recurse && platform.SameName(entry.Name, walk.NamePart))
                selected = option.FolderMode != fmAllFolders;
            else
                selected = option.FolderMode == fmMatchedFolders || option.FolderMode == fmNoFiles;
            if (!selected)
                continue;
            walk.Found = true;
            HandleItem(folderText + entry.Name, TItemPlace{folder, entry.Name, operandLevel},
                       option, entry);
        }
    }
    if (!option.Recurse && option.FolderMode != fmAllFolders)
        return;

    // Second pass: the sub-folders, each stamped (all-folders mode) and
    // searched (recursion) before the next one. The listing is read whole
    // first, so that a walk holds one open folder per level.
    std::vector<TFindData> subFolders;
    {
        TFindData entry;
        TSearch search(folder, "*", operandLevel, entry);
        // A folder that can be listed always holds entries ("." and ".." at
        // least): no search at all means that it could not be read.
        if (!search.Started() && !operandLevel)
            WarnUnsearchable(folderText);
        for (bool more = search.Started(); more; more = search.Next(entry))
            if (entry.IsFolder && !IsDotEntry(entry.Name))
                subFolders.push_back(entry);
    }
    for (const TFindData &sub : subFolders) {
        const std::string subPath = folderText + sub.Name;
        if (option.FolderMode == fmAllFolders) {
            walk.Found = true;
            HandleItem(subPath, TItemPlace{folder, sub.Name, operandLevel}, option, sub);
        }
        // A link or junction is never descended into: it may lead out of the
        // tree or back up into it.
        if (!option.Recurse || sub.IsLink)
            continue;
        // Its name in the code page may be another folder's.
        if (sub.NameUnrepresentable) {
            WarnItemKept("Warn.: フォルダを検索できませんでした", subPath, stdOutput,
                         UnrepresentableNameReason);
            continue;
        }
        TFolder opened(platform.OpenSubFolder(folder, sub.Name));
        if (!opened.IsOpen())
            WarnUnsearchable(subPath + PathSeparator);
        else if (FirstVisit(walk, opened.Get()))
            Search(walk, opened.Get(), subPath + PathSeparator, false);
    }
}

} // namespace

bool SearchOperand(const std::string &pattern, TOption option, bool topLevel, bool found) {
    if (topLevel)
        HeadingPending = true;
    TWalk walk{option, FileNamePart(pattern), found, {}};
    const std::string folderText = FolderPart(pattern);
    TFolder folder(Platform().OpenFolder(folderText));
    if (!folder.IsOpen())
        return found;
    FirstVisit(walk, folder.Get());
    Search(walk, folder.Get(), folderText, true);
    return walk.Found;
}

void SetItemHandler(TItemHandler handler) {
    ItemHandler = handler;
}
