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

// The file-system names of the volumes a run met, by the platform's volume
// id: a volume's name cannot change during a run, so it is asked once. Safe
// to share between threads.
class TVolumeNames {
public:
    // The name of the volume that holds `path`; `volumeId` 0 (the platform
    // does not identify volumes) asks afresh.
    std::string NameFor(const std::string &path, TFolderHandle folder, uint64_t volumeId);

private:
    std::mutex Lock;
    std::map<uint64_t, std::string> Known;
};

// Cuts `value` (a new stamp of kind `kind` for the item at `path`) towards the
// past to the step that a FAT or exFAT volume keeps for that kind; on any
// other volume, and when the result cannot be formed, the value stays.
// `volumes`, when given, remembers the names of the volumes asked (by the
// item's `volumeId`); without it the volume is asked afresh.
// `folder`, where given, is the item's open folder: its volume is asked.
// True when the volume is one that rounds (the value may still be as it was).
bool RoundForFileSystem(const std::string &path, TStampKind kind, TTimeValue &value,
                        TVolumeNames *volumes = nullptr, uint64_t volumeId = 0,
                        TFolderHandle folder = nullptr);
