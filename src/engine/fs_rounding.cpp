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

} // namespace

std::string GetFileSystemName(const std::string &path, TFolderHandle folder) {
    std::string where;
    if constexpr (HasDriveSyntax) {
        // The root of the path's drive or share; none names the current volume.
        const std::string prefix = DrivePrefix(path);
        if (!prefix.empty())
            where = prefix + "\\";
    } else {
        where = path;
    }
    std::string name;
    if (!Platform().FileSystemName(folder, where, name))
        return std::string();
    return name;
}

std::string TVolumeNames::NameFor(const std::string &path, TFolderHandle folder,
                                  uint64_t volumeId) {
    if (volumeId == 0)
        return GetFileSystemName(path, folder);
    {
        std::lock_guard<std::mutex> hold(Lock);
        if (auto known = Known.find(volumeId); known != Known.end())
            return known->second;
    }
    std::string name = GetFileSystemName(path, folder);
    std::lock_guard<std::mutex> hold(Lock);
    Known.emplace(volumeId, name);
    return name;
}

bool RoundForFileSystem(const std::string &path, TStampKind kind, TTimeValue &value,
                        TVolumeNames *volumes, uint64_t volumeId, TFolderHandle folder) {
    const TFamily family = FamilyOf(volumes ? volumes->NameFor(path, folder, volumeId)
                                            : GetFileSystemName(path, folder));
    if (family == fyOther)
        return false;
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
