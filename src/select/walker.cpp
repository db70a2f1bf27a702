#include "select/walker.h"

#include "common/paths.h"
#include "common/settings.h"
#include "engine/stamp_item.h"
#include "platform/platform.h"
#include "report/report.h"

#include <cstdint>
#include <vector>

namespace {

TItemHandler ItemHandler = nullptr;

void HandleItem(const std::string &path, const TOption &option, const TFindData &entry) {
    if (entry.NameUnrepresentable)
        RefuseItem(path, option);
    else if (ItemHandler)
        ItemHandler(path, option, entry.IsFolder);
    else
        StampItem(path, option, entry.IsFolder);
}

// Entries that are no items of the folder: "." and "..". Windows names never
// end in "." otherwise, so there every such name is skipped; POSIX names may
// (such as "notes."), and those are items like any other.
bool IsDotEntry(const std::string &name) {
    if constexpr (HasDriveSyntax)
        return !name.empty() && name.back() == '.';
    else
        return name == "." || name == "..";
}

// Identity of a folder where the platform knows it.
struct TFolderId {
    uint64_t Volume = 0;
    uint64_t File = 0;
    bool Known() const { return Volume != 0 || File != 0; }
    bool operator==(const TFolderId &) const = default;
};

TFolderId IdOf(const TFindData &entry) {
    return {entry.VolumeId, entry.FileId};
}

// The identity of the folder `folderPart` names ("" is the current folder).
TFolderId IdOfFolder(const std::string &folderPart) {
    TFindData entry;
    TSearch search(folderPart + ".", entry);
    return search.Started() ? IdOf(entry) : TFolderId{};
}

// A folder reached through a symbolic link may be one that the search is
// already inside; descending into it again would never end.
bool OnDescentPath(const std::vector<TFolderId> &descent, const TFolderId &id) {
    if (!id.Known())
        return false;
    for (const TFolderId &above : descent)
        if (above == id)
            return true;
    return false;
}

// `descended`: the folder of `pattern` is a sub-folder that the walk met, not
// the operand's own folder (which may not exist at all).
bool Search(const std::string &pattern, const TOption &option, bool found,
            std::vector<TFolderId> &descent, bool descended) {
    const std::string folder = FolderPart(pattern);
    const std::string namePart = FileNamePart(pattern);
    const TPlatform &platform = Platform();

    // First pass: what the pattern itself matches here.
    {
        TFindData entry;
        TSearch search(pattern, entry, TSearch::NamesOnly{});
        for (bool more = search.Started(); more; more = search.Next(entry)) {
            if (IsDotEntry(entry.Name))
                continue;
            bool selected;
            if (!entry.IsFolder)
                selected = option.FolderMode != fmNoFiles;
            else if (!option.Recurse && platform.SameName(entry.Name, namePart))
                selected = option.FolderMode != fmAllFolders;
            else
                selected = option.FolderMode == fmMatchedFolders || option.FolderMode == fmNoFiles;
            if (!selected)
                continue;
            found = true;
            HandleItem(folder + entry.Name, option, entry);
        }
    }
    if (!option.Recurse && option.FolderMode != fmAllFolders)
        return found;

    // Second pass: the sub-folders, each stamped (all-folders mode) and
    // searched (recursion) before the next one.
    TFindData entry;
    TSearch search(folder + "*", entry, TSearch::NamesOnly{});
    // A folder that can be listed always holds entries ("." and ".." at
    // least): no search at all means that it could not be opened.
    // The message names the sub-folder as it was met, without the separator.
    if (!search.Started() && descended)
        WarnItemKept("Warn.: フォルダを検索できませんでした", folder.substr(0, folder.size() - 1));
    for (bool more = search.Started(); more; more = search.Next(entry)) {
        if (!entry.IsFolder || IsDotEntry(entry.Name))
            continue;
        const std::string subFolder = folder + entry.Name;
        if (option.FolderMode == fmAllFolders) {
            found = true;
            HandleItem(subFolder, option, entry);
        }
        if (option.Recurse) {
            if (entry.NameUnrepresentable) {
                WarnItemKept("Warn.: フォルダを検索できませんでした", subFolder, stdOutput,
                             LastErrorText());
                continue;
            }
            const TFolderId id = IdOf(entry);
            if (OnDescentPath(descent, id))
                continue;
            descent.push_back(id);
            found = Search(subFolder + PathSeparator + namePart, option, found, descent, true);
            descent.pop_back();
        }
    }
    return found;
}

} // namespace

bool SearchOperand(const std::string &pattern, TOption option, bool topLevel, bool found) {
    if (topLevel)
        HeadingPending = true;
    std::vector<TFolderId> descent;
    if (option.Recurse)
        descent.push_back(IdOfFolder(FolderPart(pattern)));
    return Search(pattern, option, found, descent, false);
}

void SetItemHandler(TItemHandler handler) {
    ItemHandler = handler;
}
