#include "engine/stamp_item.h"

#include "common/errors.h"
#include "common/paths.h"
#include "common/settings.h"
#include "engine/folder_helper.h"
#include "engine/fs_rounding.h"
#include "engine/stamp_source.h"
#include "platform/platform.h"

namespace {

// The new value of one selected kind before rounding, 0 for unknown, and
// the nanoseconds below its last tick.
TTimeValue NewValue(const std::string &path, TStampKind kind, TOption &options,
                    const TStampContext &context, const TTimeValue *present,
                    const uint8_t *presentNanos = nullptr, uint8_t *nanos = nullptr,
                    const TFindData *sourceEntry = nullptr) {
    // The current time reads no stamp: the kind passed is of no concern then.
    const TStampSource source = SourceKindFor(options, kind);
    TTimeValue value = 0;
    ComputeNewStamp(path, source == ssNow ? kind : KindReadBy(source), options, context.Times,
                    value, present, presentNanos, nanos, sourceEntry);
    return value;
}

// Computes the selected new stamps from the present ones.
void ComputeStamps(TItemStamps &item, const TStampContext &context, const TPresetStamps *preset) {
    TOption &options = item.Options;
    if (preset && preset->Error) {
        // Told of the item, as its own computation would have told it.
        try {
            std::rethrow_exception(preset->Error);
        } catch (const EAppError &error) {
            throw EAppError(error.message(), item.Path + error.cause());
        }
    }
    // A single source file is found once: every kind of the item reads that
    // same file, by its folder and exact name.
    TFindData sourceEntry;
    const bool singleSource = options.Source != ssNow && options.DateMode != dmUnknown &&
                              !options.SourceFile.empty() && !EndsWithDelimiter(options.SourceFile);
    if (singleSource)
        sourceEntry = FindSourceFile(options.SourceFile).Entry;
    for (TStampKind kind : AllStampKinds) {
        if (!options.Kinds.Has(kind))
            continue;
        const bool given = preset && preset->Has[kind];
        uint8_t nanos = 0;
        TTimeValue value =
            given ? preset->Values[kind]
                  : NewValue(item.Path, kind, options, context, item.OldValues, item.OldNanos,
                             &nanos, singleSource ? &sourceEntry : nullptr);
        if (value == 0) {
            value = context.Times.Unknown;
            nanos = 0;
        }
        item.NewValues[kind] = value;
        item.NewNanos[kind] = nanos;
        item.HasNewValue[kind] = true;
        if (options.DateMode == dmUnknown)
            continue;
        const bool rounds =
            context.FatRounding &&
            RoundForFileSystem(item.Path, kind, item.NewValues[kind], context.Volumes,
                               item.Place.FolderVolume, item.Place.Handle());
        // What FAT and exFAT keep has no digits below the tick.
        if (rounds)
            item.NewNanos[kind] = 0;
        if (given && !rounds)
            item.NewParts[kind] = preset->Parts[kind];
        else
            FileTimeToLocalParts(item.NewValues[kind], item.NewParts[kind]);
    }
}

// Whether the platform would refuse the write for a reason that it knows
// without opening the item: one that the item's entry tells (a read-only file,
// and whatever else the platform knows), or a creation stamp that it cannot
// set. The reason goes to ErrorCode. The preview tells it as the run would.
bool RefusedBeforehand(TItemStamps &item, const TFindData &entry) {
    const TPlatform &platform = Platform();
    if (entry.WriteRefusal != 0)
        item.ErrorCode = entry.WriteRefusal;
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
    std::string path = Platform().FullPathName(item.Place.Handle(), item.Place.Name);
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
    const TStampWrite creation{item.NewValues[skCreation], item.NewNanos[skCreation]};
    const TStampWrite newAccess{item.NewValues[skAccess], item.NewNanos[skAccess]};
    const TStampWrite oldAccess{item.OldValues[skAccess], item.OldNanos[skAccess]};
    const TStampWrite write{item.NewValues[skModification], item.NewNanos[skModification]};
    const TStampWrite *access = kinds.Has(skAccess)   ? &newAccess
                                : StampWriteOpensItem ? &oldAccess
                                                      : nullptr;
    const TItemPlace &place = item.Place;
    return Platform().SetItemTimes(place.Handle(), place.Name, isFolder, place.FollowLink,
                                   kinds.Has(skCreation) ? &creation : nullptr, access,
                                   kinds.Has(skModification) ? &write : nullptr);
}

} // namespace

bool ReadPresentStamps(TItemStamps &item, TFindData &entry) {
    const TItemPlace &place = item.Place;
    if (!Platform().ReadItem(place.Handle(), place.Name, place.FollowLink, entry)) {
        item.Outcome = soFailed;
        item.ErrorCode = Platform().LastErrorCode();
        return false;
    }
    item.LinkItself = entry.IsLink && !place.FollowLink;
    item.OldValues[skModification] = entry.LastWriteTime;
    item.OldValues[skCreation] = entry.CreationTime;
    item.OldValues[skAccess] = entry.LastAccessTime;
    item.OldNanos[skModification] = entry.LastWriteNanos;
    item.OldNanos[skCreation] = entry.CreationNanos;
    item.OldNanos[skAccess] = entry.LastAccessNanos;
    item.VolumeId = entry.VolumeId;
    item.FileId = entry.FileId;
    item.InexactStamps = entry.InexactStamps;
    return true;
}

bool ReadPresentStamps(TItemStamps &item) {
    TFindData entry;
    return ReadPresentStamps(item, entry);
}

bool PresetStampsFor(const TOption &operand, const TStampContext &context, TPresetStamps &preset) {
    if (operand.Source != ssNow)
        return false;
    TOption options = operand;
    try {
        for (TStampKind kind : AllStampKinds) {
            if (!options.Kinds.Has(kind))
                continue;
            const TTimeValue value = NewValue(std::string(), kind, options, context, nullptr);
            preset.Values[kind] = value;
            preset.Has[kind] = true;
            if (options.DateMode != dmUnknown)
                FileTimeToLocalParts(value != 0 ? value : context.Times.Unknown,
                                     preset.Parts[kind]);
        }
    } catch (const EAppError &) {
        preset.Error = std::current_exception();
    }
    return true;
}

bool PrepareItemStamps(TItemStamps &item, const TStampContext &context,
                       const TPresetStamps *preset) {
    TFindData entry;
    // Gone since it was listed (another program removed it): it is told, and
    // the run goes on.
    if (!ReadPresentStamps(item, entry))
        return false;
    try {
        ComputeStamps(item, context, preset);
        if (RefusedBeforehand(item, entry)) {
            item.Outcome = soFailed;
            return false;
        }
        item.Outcome = item.Options.Preview ? soPreview : soChanged;
        return !item.Options.Preview;
    } catch (const ESrcFileNotExist &missing) {
        item.Outcome = soSourceMissing;
        item.ErrorCode = missing.Code;
        item.MissingSource = missing.Counterpart;
        item.Reason = missing.Reason;
        return false;
    }
}

void WriteItemStamps(TItemStamps &item, bool isFolder, const TStampContext &context) {
    const bool success =
        isFolder && !context.IsNT ? WriteByHelper(item) : WriteDirectly(item, isFolder);
    item.Outcome = success ? soChanged : soFailed;
    if (!success)
        item.ErrorCode = Platform().LastErrorCode();
}

void ApplyItemStamps(TItemStamps &item, bool isFolder, const TStampContext &context) {
    if (PrepareItemStamps(item, context))
        WriteItemStamps(item, isFolder, context);
}
