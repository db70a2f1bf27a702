#include "engine/fs_rounding.h"

#include "common/option.h"
#include "common/paths.h"
#include "platform/platform.h"

namespace {

enum TFamily { fyOther, fyFat, fyExFat };

TFamily FamilyOf(const std::string &name) {
    // "FAT", "FAT32", "fat" in any case: the names of the FAT family.
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (name.size() >= 3 && lower(name[0]) == 'f' && lower(name[1]) == 'a' && lower(name[2]) == 't')
        return fyFat;
    if (name == "exFAT")
        return fyExFat;
    return fyOther;
}

// Even second: the step of FAT's modification stamp and of exFAT's access stamp.
void CutToEvenSecond(TTimeParts &parts) {
    parts.wSecond = uint16_t(parts.wSecond & ~1u);
    parts.Fraction = 0;
}

// 10 ms: the step of the creation stamp on both families, and of exFAT's
// modification stamp where the system's driver keeps it so.
void CutTo10ms(TTimeParts &parts) {
    parts.Fraction -= parts.Fraction % uint32_t(TicksPer10ms);
}

// What the platform is asked about the volume of `path`: the root of the
// path's drive or share where paths have drives (none names the current
// volume), else the path itself.
std::string VolumeWhere(const std::string &path) {
    if constexpr (HasDriveSyntax) {
        const std::string prefix = DrivePrefix(path);
        return prefix.empty() ? std::string() : prefix + "\\";
    } else {
        return path;
    }
}

} // namespace

std::string GetFileSystemName(const std::string &path, TFolderHandle folder) {
    std::string name;
    if (!Platform().FileSystemName(folder, VolumeWhere(path), name))
        return std::string();
    return name;
}

TVolumeInfo AskVolume(const std::string &path, TFolderHandle folder) {
    TVolumeInfo volume;
    volume.Name = GetFileSystemName(path, folder);
    const TPlatform &platform = Platform();
    if (FamilyOf(volume.Name) == fyFat && platform.FatVolumeOffset)
        volume.HasOffset = platform.FatVolumeOffset(folder, VolumeWhere(path), volume.Offset);
    return volume;
}

TVolumeInfo TVolumeNames::InfoFor(const std::string &path, TFolderHandle folder,
                                  uint64_t volumeId) {
    if (volumeId == 0)
        return AskVolume(path, folder);
    {
        std::lock_guard<std::mutex> hold(Lock);
        if (auto known = Known.find(volumeId); known != Known.end())
            return known->second;
    }
    TVolumeInfo volume = AskVolume(path, folder);
    std::lock_guard<std::mutex> hold(Lock);
    Known.emplace(volumeId, volume);
    return volume;
}

bool IsFatFamilyVolume(const std::string &path, TVolumeNames *volumes, uint64_t volumeId,
                       TFolderHandle folder) {
    const TVolumeInfo volume =
        volumes ? volumes->InfoFor(path, folder, volumeId) : AskVolume(path, folder);
    return FamilyOf(volume.Name) != fyOther;
}

bool RoundForFileSystem(const std::string &path, TStampKind kind, TTimeValue &value,
                        TVolumeNames *volumes, uint64_t volumeId, TFolderHandle folder) {
    const TVolumeInfo volume =
        volumes ? volumes->InfoFor(path, folder, volumeId) : AskVolume(path, folder);
    const TFamily family = FamilyOf(volume.Name);
    if (family == fyOther)
        return false;
    if (family == fyFat && kind == skAccess && volume.HasOffset) {
        // The date at the volume's own offset, which may not be ours.
        const int64_t offset = int64_t(volume.Offset) * int64_t(TicksPerSecond);
        const int64_t day = 24 * int64_t(TicksPerHour);
        const int64_t local = int64_t(value) + offset;
        if (local >= day)
            value = TTimeValue(local - local % day - offset);
        return true;
    }
    TTimeParts parts;
    if (!FileTimeToLocalParts(value, parts))
        return true;
    switch (kind) {
    case skModification:
        if (family == fyExFat && ExFatWriteIn10ms)
            CutTo10ms(parts);
        else
            CutToEvenSecond(parts);
        break;
    case skCreation:
        CutTo10ms(parts);
        break;
    case skAccess:
        if (family == fyFat) {
            // FAT keeps the local date only: midnight at the start of that day.
            parts.wHour = 0;
            parts.wMinute = 0;
            parts.wSecond = 0;
            parts.Fraction = 0;
        } else {
            CutToEvenSecond(parts);
        }
        break;
    default:
        return true;
    }
    LocalPartsToFileTime(parts, value);
    return true;
}
