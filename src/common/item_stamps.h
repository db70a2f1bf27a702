#pragma once
// The working record of stamping one item, filled by the engine and read by
// the report and the restore writer.

#include "common/option.h"
#include "common/timevalue.h"
#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

enum TStampOutcome : uint8_t {
    soChanged = 0,       // the stamps were written
    soFailed = 1,        // the item was not changed
    soSourceMissing = 2, // the item's counterpart under a source folder does not exist
    soPreview = 3,       // preview: nothing was written
    soNoMediaDate = 4,   // -sm: neither the item's contents nor its name give a date
};

// An open folder shared by the walk and the items found in it: it stays open
// while anything holds it.
using TFolderRef = std::shared_ptr<const TFolder>;

// Where an item is: its folder, held open while the place is held, and its
// name there.
struct TItemPlace {
    TFolderRef Folder; // null: Name is a path from the current folder
    std::string Name;
    // A symbolic link that the operand names in its own folder is followed;
    // below that folder an item is the entry itself, a link with its own stamps.
    bool FollowLink = true;
    // The volume of its folder where the platform tells it (0: not known):
    // what the volume keeps is asked once per volume.
    uint64_t FolderVolume = 0;
    // What the listing said the entry is, where the place comes from one: the
    // item read later must still be that (a folder, file or link swapped in
    // meanwhile is another item, never stamped in its place).
    bool Listed = false;
    bool ListedFolder = false;
    bool ListedLink = false;
    TFolderHandle Handle() const { return Folder ? Folder->Get() : nullptr; }
};

// The working record of one call of StampItem, read by the report and the
// restore writer.
struct TItemStamps {
    std::string Path; // as the walker built it, for the report
    TItemPlace Place;
    // The absolute path of the operand's folder, ending with a separator, and
    // where the names below that folder begin in Path: the item's absolute
    // path is made from them (see AbsoluteItemPath). No anchor: none is known.
    std::shared_ptr<const std::string> Anchor;
    size_t AnchorFrom = 0;
    // The item is a symbolic link taken as itself: a path given back to the
    // program would name what the link points to.
    bool LinkItself = false;
    TOption Options;           // the item's own copy; SourceFile may name the file actually used
    int32_t FractionWidth = 0; // printed sub-second part with its point, 0 for none
    TTimeValue OldValues[3] = {0, 0, 0};
    TTimeValue NewValues[3] = {0, 0, 0};
    // Natively, the nanoseconds below the last 100-ns tick of each value (0
    // to 99): a stamp copied or shifted keeps them.
    uint8_t OldNanos[3] = {0, 0, 0};
    uint8_t NewNanos[3] = {0, 0, 0};
    bool HasNewValue[3] = {false, false, false}; // the kind's new value was computed
    // What the reading of the present stamps told of the item: its identity
    // (0 and 0: unknown) and the stamps not held exactly (TFindData).
    uint64_t VolumeId = 0, FileId = 0;
    uint8_t InexactStamps = 0;
    TTimeParts NewParts[3]; // local parts of the new values (not for an unknown setting)
    TStampOutcome Outcome = soChanged;
    // Why the item kept its stamps: the system's error code of the failing
    // call (soFailed), or of the failed search for the counterpart, which
    // MissingSource names (soSourceMissing); 0 where nothing is known.
    uint32_t ErrorCode = 0;
    std::string MissingSource;
    // Why the item kept its stamps where the program itself decided it
    // (soFailed, soNoMediaDate); it takes the place of the system's reason.
    std::string Reason;
    // -sm: where the date came from and the offset it was read at
    // ("Exif DateTimeOriginal +09:00"), for the preview.
    std::string MediaOrigin;
};

// The item's absolute path, from its operand's absolute folder and the names
// the walk went down by: no limit on its length, and (natively) no system
// call. It is `head` followed by `tail`, a part of the item's Path; false
// where none is known. The Windows build's folders are already absolute
// paths made from the walk's names; the system's full form of the item tells
// where a name needs the "\\?\" form (one ending in a blank or a point).
inline bool AbsoluteItemPathParts(const TItemStamps &item, std::string &head,
                                  std::string_view &tail) {
    tail = std::string_view();
    if constexpr (HasDriveSyntax) {
        head = Platform().FullPathName(item.Place.Handle(), item.Place.Name);
        return !head.empty();
    }
    if (!item.Anchor || item.AnchorFrom > item.Path.size())
        return false;
    head = *item.Anchor;
    tail = std::string_view(item.Path).substr(item.AnchorFrom);
    return true;
}

// The same as one text; empty where none is known.
inline std::string AbsoluteItemPath(const TItemStamps &item) {
    std::string head;
    std::string_view tail;
    if (!AbsoluteItemPathParts(item, head, tail))
        return std::string();
    head.append(tail);
    return head;
}
