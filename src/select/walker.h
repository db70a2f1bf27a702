#pragma once
// Expanding one file operand into the items it selects. The walk prints
// nothing and stamps nothing: it hands every selected item, and every folder
// it could not search, to a visitor, in the order of the walk.

#include "common/item_stamps.h"
#include "common/option.h"
#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

// One item that an operand selects, as the walk met it.
struct TFoundItem {
    std::string Path; // the operand's folder part as typed, then the names below it
    TItemPlace Place; // its folder (open while the place is held) and its name there
    TFindData Entry;  // its name, folder and link bits; the walk reads no stamps
    // The identity of its folder (device and inode), where the platform knows it.
    bool FolderIdentified = false;
    std::pair<uint64_t, uint64_t> FolderIdentity;
};

class TWalkVisitor {
public:
    virtual ~TWalkVisitor() = default;
    // A selected item.
    virtual void Item(TFoundItem item) = 0;
    // A folder the walk met below the operand's folder but could not search,
    // named as it was met, and why.
    virtual void Unsearchable(const std::string &path, const std::string &reason) = 0;
    // The walk is about to read the listing of a folder below the operand's
    // folder, named as it was met; the folder may have been handed on as an
    // item before, and reading a listing may move its access stamp.
    virtual void Entering(const std::string &path) { (void)path; }
    // The walk has read the listing of a folder below the operand's folder,
    // named as it was met and found at `place`; the folder may have been
    // handed on as an item before, and reading a listing may move its access
    // stamp.
    virtual void Listed(const std::string &path, const TItemPlace &place) {
        (void)path;
        (void)place;
    }
    // The walk is about to hold more open folders than it may: let go of the
    // folders that the items handed on so far hold.
    virtual void Relieve() {}
};

// Folders a walk holds open at most, unless the run allows another number.
inline constexpr size_t DefaultOpenFolders = 32;

struct TWalkResult {
    bool Found = false; // at least one item was handed on
    // Why the operand's own folder gave nothing: the system's error code of
    // its opening, or of the search in it that failed (a code for which
    // IsAbsenceCode holds when nothing stands there or nothing matched);
    // 0 when it was searched.
    uint32_t FolderError = 0;
    // The operand's folder holds a folder of exactly the operand's name
    // (which the options left unselected when nothing was found).
    bool NamesFolder = false;
};

// Searches the operand's pattern (option.FileName; with Recurse, in every
// sub-folder too, each real folder once) and hands each selected item to the
// visitor. At most `openFolders` folders (3 at least) are held open at once,
// the items' folders included: deeper, the walk closes the folders highest
// up and opens them again from the nearest open one when it returns,
// checking that each is still the folder it left. Natively an operand that
// ends in "/" names folders only, as the system reads such a path ("." and
// ".." before it keep their reading).
TWalkResult SearchOperand(const TOption &option, TWalkVisitor &visitor,
                          size_t openFolders = DefaultOpenFolders);
