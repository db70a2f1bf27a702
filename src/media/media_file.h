#pragma once
// The media date of a file on disk: what its contents give, else its name.

#include "media/media_date.h"
#include "platform/platform.h"

#include <string>

// The date of the item `name` of `folder` (null: a path from the current
// folder), opened for reading as the walk reaches it (`followLink`): its
// contents' date where they give one, else the date in its name. False where
// neither gives one: `reason` then says what was looked at and what it held.
bool ReadFileMediaDate(TFolderHandle folder, const std::string &name, bool followLink,
                       TMediaDate &date, std::string &reason);
