#include "engine/fs_rounding.h"

#include "common/option.h"
#include "common/paths.h"
#include "platform/platform.h"

namespace {

enum TFamily { fyOther, fyFat, fyExFat };

TFamily FamilyOf(const std::string &name) {
    if (name.size() >= 3 && Platform().LowerCase(name.substr(0, 3)) == "fat")
        return fyFat;
    if (name == "exFAT")
        return fyExFat;
    return fyOther;
}

// Even second: the step of the modification stamp on both families.
void CutToEvenSecond(TTimeParts &parts) {
    parts.wSecond = uint16_t(parts.wSecond & ~1u);
    parts.Fraction = 0;
}

} // namespace

std::string GetFileSystemName(const std::string &path) {
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
    if (!Platform().FileSystemName(where, name))
        return std::string();
    return name;
}

// The file-system name of the item's volume; asked afresh unless the platform
// identifies the volume, whose name cannot change during the run (nor until
// another platform table is installed).
std::string FileSystemNameFor(const std::string &path, uint64_t volumeId) {
    static uint64_t knownVolume = 0;
    static uint64_t knownGeneration = 0;
    static std::string knownName;
    if (volumeId != 0 && volumeId == knownVolume && knownGeneration == PlatformGeneration())
        return knownName;
    std::string name = GetFileSystemName(path);
    if (volumeId != 0) {
        knownVolume = volumeId;
        knownGeneration = PlatformGeneration();
        knownName = name;
    }
    return name;
}

void RoundForFileSystem(const std::string &path, TStampKind kind, TTimeValue &value,
                        uint64_t volumeId) {
    const TFamily family = FamilyOf(FileSystemNameFor(path, volumeId));
    if (family == fyOther)
        return;
    TTimeParts parts;
    if (!FileTimeToLocalParts(value, parts))
        return;
    switch (kind) {
    case skModification:
        CutToEvenSecond(parts);
        break;
    case skCreation:
        parts.Fraction -= parts.Fraction % uint32_t(TicksPer10ms);
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
        return;
    }
    LocalPartsToFileTime(parts, value);
}
