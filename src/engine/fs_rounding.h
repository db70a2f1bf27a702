#pragma once
// Cutting stamps down to what FAT and exFAT volumes keep.

#include "common/option.h"
#include "common/timevalue.h"
#include "platform/platform.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

// The file-system name of the volume that holds `path`, an item of the open
// folder `folder` where one is given; empty when the volume cannot be asked.
std::string GetFileSystemName(const std::string &path, TFolderHandle folder = nullptr);

// What rounding needs to know of a volume: its file-system name and, for a
// FAT volume that keeps local time at an offset of its own (natively: its
// mount's), that offset from UTC in seconds.
struct TVolumeInfo {
    std::string Name;
    bool HasOffset = false;
    int32_t Offset = 0;
};

// The volume that holds `path` (in the open folder `folder` where given).
TVolumeInfo AskVolume(const std::string &path, TFolderHandle folder = nullptr);

// The volumes a run met, by the platform's volume id: what rounding needs of
// a volume cannot change during a run, so it is asked once. Safe to share
// between threads.
class TVolumeNames {
public:
    // The volume that holds `path`; `volumeId` 0 (the platform does not
    // identify volumes) asks afresh.
    TVolumeInfo InfoFor(const std::string &path, TFolderHandle folder, uint64_t volumeId);

private:
    std::mutex Lock;
    std::map<uint64_t, TVolumeInfo> Known;
};

// Whether the volume of `path` is a FAT or an exFAT volume (asked as
// RoundForFileSystem asks it).
bool IsFatFamilyVolume(const std::string &path, TVolumeNames *volumes, uint64_t volumeId,
                       TFolderHandle folder);

// Cuts `value` (a new stamp of kind `kind` for the item at `path`) towards the
// past to the step that a FAT or exFAT volume keeps for that kind (FAT's
// access stamp to the date in the volume's own local time, where the platform
// tells it; else in ours); on any
// other volume, and when the result cannot be formed, the value stays.
// `volumes`, when given, remembers the names of the volumes asked (by the
// item's `volumeId`); without it the volume is asked afresh.
// `folder`, where given, is the item's open folder: its volume is asked.
// True when the volume is one that rounds (the value may still be as it was).
bool RoundForFileSystem(const std::string &path, TStampKind kind, TTimeValue &value,
                        TVolumeNames *volumes = nullptr, uint64_t volumeId = 0,
                        TFolderHandle folder = nullptr);
