#include "engine/stamp_item.h"

#include "common/errors.h"
#include "common/settings.h"
#include "engine/folder_helper.h"
#include "engine/fs_rounding.h"
#include "engine/stamp_source.h"
#include "platform/platform.h"
#include "report/report.h"
#include "report/restore.h"

namespace {

// Reads the present stamps and computes the selected new ones; gives the
// item's entry.
TFindData ComputeStamps(TItemStamps &item) {
    TOption &options = item.Options;
    const TFindData entry = ReadPresentStamps(item);
    for (TStampKind kind : AllStampKinds) {
        if (!options.Kinds.Has(kind))
            continue;
        // The current time reads no stamp: the kind passed is of no concern then.
        const TStampSource source = SourceKindFor(options, kind);
        TTimeValue value = 0;
        ComputeNewStamp(item.Path, source == ssNow ? kind : KindReadBy(source), options, value,
                        item.OldValues);
        if (value == 0)
            value = UnknownTime;
        item.NewValues[kind] = value;
        item.HasNewValue[kind] = true;
        if (options.DateMode == dmUnknown)
            continue;
        if (FatRounding)
            RoundForFileSystem(item.Path, kind, item.NewValues[kind], entry.VolumeId);
        FileTimeToLocalParts(item.NewValues[kind], item.NewParts[kind]);
    }
    return entry;
}

// Whether the platform would refuse the write for a reason that it knows
// without opening the item: a read-only file, or a creation stamp that it
// cannot set. The reason goes to ErrorCode. The preview tells it as the run would.
bool RefusedBeforehand(TItemStamps &item, const TFindData &entry, bool isFolder) {
    const TPlatform &platform = Platform();
    if (!isFolder && entry.ReadOnly)
        item.ErrorCode = AccessDeniedCode;
    else if (item.Options.Kinds.Has(skCreation) && !platform.CanSetCreationTime())
        item.ErrorCode = platform.LastErrorCode();
    else
        return false;
    return true;
}

// A folder on the 9x family: one helper run per selected kind, none after a
// run that failed. The helper is given the folder's absolute path in the form
// that names the folder found in the listing (the shown path, should there be
// none).
bool WriteByHelper(const TItemStamps &item) {
    std::string path = Platform().FullPathName(item.Place.Folder, item.Place.Name);
    if (path.empty())
        path = item.Path;
    bool success = true;
    for (TStampKind kind : AllStampKinds)
        if (success && item.Options.Kinds.Has(kind))
            success = StampFolderByHelper(path, item.NewValues[kind], kind);
    return success;
}

// All selected stamps in one write; where the write opens the item, the
// access stamp that the opening may have touched is written back when it is
// not selected.
bool WriteDirectly(const TItemStamps &item, bool isFolder) {
    const TStampKinds kinds = item.Options.Kinds;
    const TTimeValue *creation = kinds.Has(skCreation) ? &item.NewValues[skCreation] : nullptr;
    const TTimeValue *access = kinds.Has(skAccess)   ? &item.NewValues[skAccess]
                               : StampWriteOpensItem ? &item.OldValues[skAccess]
                                                     : nullptr;
    const TTimeValue *write = kinds.Has(skModification) ? &item.NewValues[skModification] : nullptr;
    const TItemPlace &place = item.Place;
    return Platform().SetItemTimes(place.Folder, place.Name, isFolder, place.FollowLink, creation,
                                   access, write);
}

} // namespace

TFindData ReadPresentStamps(TItemStamps &item) {
    TFindData entry;
    const TItemPlace &place = item.Place;
    if (!Platform().ReadItem(place.Folder, place.Name, place.FollowLink, entry))
        throw EAppError("ファイル (" + item.Path + ") が見つかりません");
    item.LinkItself = entry.IsLink && !place.FollowLink;
    item.OldValues[skModification] = entry.LastWriteTime;
    item.OldValues[skCreation] = entry.CreationTime;
    item.OldValues[skAccess] = entry.LastAccessTime;
    return entry;
}

void ApplyItemStamps(TItemStamps &item, bool isFolder) {
    try {
        const TFindData entry = ComputeStamps(item);
        if (RefusedBeforehand(item, entry, isFolder)) {
            item.Outcome = soFailed;
            return;
        }
        if (item.Options.Preview) {
            item.Outcome = soPreview;
            return;
        }
        const bool success =
            isFolder && !IsNT() ? WriteByHelper(item) : WriteDirectly(item, isFolder);
        item.Outcome = success ? soChanged : soFailed;
        if (!success)
            item.ErrorCode = Platform().LastErrorCode();
    } catch (const ESrcFileNotExist &missing) {
        item.Outcome = soSourceMissing;
        item.ErrorCode = missing.Code;
        item.MissingSource = missing.Counterpart;
    }
}

void StampItem(const std::string &path, TOption options, bool isFolder) {
    StampItem(path, TItemPlace{nullptr, path, true}, std::move(options), isFolder);
}

void StampItem(const std::string &path, const TItemPlace &place, TOption options, bool isFolder) {
    TItemStamps item;
    item.Path = path;
    item.Place = place;
    item.Options = std::move(options);
    item.FractionWidth = SubSecondDigits == 0 ? 0 : SubSecondDigits + 1;
    if (item.Options.MakeRestoreFile) {
        // Read on preview too: the preview tells which items would get no lines.
        ReadPresentStamps(item);
        WriteRestoreLines(item);
        return;
    }
    ApplyItemStamps(item, isFolder);
    ReportItem(item);
}

void RefuseItem(const std::string &path, const TOption &options, const std::string &reason) {
    if (options.MakeRestoreFile)
        RefuseRestoreLines(path, reason);
    else
        WarnItemKept("Warn.: 変更できませんでした", path, stdOutput, reason);
}
