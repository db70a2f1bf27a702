#include "engine/stamp_source.h"

#include "common/errors.h"
#include "common/paths.h"
#include "common/settings.h"
#include "platform/platform.h"
#include "report/output.h"
#include "report/report.h"

#include <memory>
#include <vector>

namespace {

bool HasWildcards(const std::string &name) {
    return name.find_first_of("*?") != std::string::npos;
}

// The stamp of `kind`, and the nanoseconds below its last tick where wanted.
void TakeStamp(const TFindData &entry, TStampKind kind, TTimeValue &value,
               uint8_t *nanos = nullptr) {
    uint8_t below = 0;
    switch (kind) {
    case skModification:
        value = entry.LastWriteTime;
        below = entry.LastWriteNanos;
        break;
    case skCreation:
        value = entry.CreationTime;
        below = entry.CreationNanos;
        break;
    case skAccess:
        value = entry.LastAccessTime;
        below = entry.LastAccessNanos;
        break;
    default:
        return;
    }
    if (nanos)
        *nanos = below;
}

// The components of a folder part (without drive prefix), split at the separator.
std::vector<std::string> FolderComponents(const std::string &folder) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : folder) {
        if (IsPathSeparator(c)) {
            parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty())
        parts.push_back(current);
    return parts;
}

bool SameDrive(const std::string &a, const std::string &b) {
    return Platform().LowerCase(a) == Platform().LowerCase(b);
}

} // namespace

namespace {

// The not-found error; the system's reason follows where it says more than
// that nothing stands there (a folder on the way that may not be searched).
[[noreturn]] void NotFound(const std::string &name, uint32_t code) {
    throw EAppError(NotFoundMessage(name),
                    IsAbsenceCode(code) ? std::string() : name + ": " + SystemReason(code));
}

// The entry of the file that `path` names exactly: "*" and "?" in its name
// are the name's own, never wildcards. False, with the system's code in
// `code`, when there is none (a name that the program's text cannot hold
// may show as another file's name: none either, code 0).
bool ExactEntry(const std::string &path, TFindData &entry, uint32_t &code) {
    if (!Platform().ReadItem(nullptr, path, true, entry)) {
        code = Platform().LastErrorCode();
        return false;
    }
    code = 0;
    return !entry.NameUnrepresentable;
}

// The entry of an item's counterpart, reached as the walk reaches items: the
// source folder opened as typed, then each folder below it and the item by
// the names that the walk found (`relative`), exactly as listed, never parsed
// again as a path. False, with the system's code in `code`, when a step fails.
bool CounterpartEntry(const std::string &sourceFolder, const std::string &relative,
                      TFindData &entry, uint32_t &code) {
    const TPlatform &platform = Platform();
    std::vector<std::string> names(1);
    for (char c : relative) {
        if (IsPathSeparator(c))
            names.emplace_back();
        else
            names.back() += c;
    }
    TFolder root(platform.OpenFolder(sourceFolder));
    if (!root.IsOpen()) {
        code = platform.LastErrorCode();
        return false;
    }
    std::unique_ptr<TFolder> below;
    TFolderHandle folder = root.Get();
    for (size_t i = 0; i + 1 < names.size(); ++i) {
        if (names[i].empty())
            continue;
        auto next = std::make_unique<TFolder>(platform.OpenSubFolder(folder, names[i]));
        if (!next->IsOpen()) {
            code = platform.LastErrorCode();
            return false;
        }
        below = std::move(next);
        folder = below->Get();
    }
    if (!platform.ReadItem(folder, names.back(), true, entry)) {
        code = platform.LastErrorCode();
        return false;
    }
    code = 0;
    return true;
}

bool IsDotEntry(const std::string &name) {
    return name == "." || name == "..";
}

} // namespace

TSourceFile FindSourceFile(const std::string &typed) {
    const TPlatform &platform = Platform();
    // What the system reads as a device (NUL, COM1, a FIFO) has no stamps of
    // a file, and reading it may never end.
    if (platform.IsDevice(nullptr, typed))
        throw ESrcFileNotExist(typed, 0, DeviceSourceReason);
    TFolderRef folder = std::make_shared<const TFolder>(platform.OpenFolder(FolderPart(typed)));
    if (!folder->IsOpen())
        NotFound(typed, platform.LastErrorCode());
    const std::string wanted = FileNamePart(typed);
    TFindData entry;
    std::string name;
    // Natively names may hold "*" and "?" themselves: an entry named exactly
    // like the pattern is the one meant.
    if (!HasDriveSyntax && HasWildcards(wanted) &&
        platform.ReadItem(folder->Get(), wanted, true, entry))
        name = wanted;
    if (name.empty()) {
        TSearch search(folder->Get(), wanted, true, entry);
        if (!search.Started())
            NotFound(typed, platform.LastErrorCode());
        // A name that the program's text cannot hold, or that the listing
        // holds twice, is passed over: looked up, it may give another file.
        for (bool more = true; more && name.empty(); more = more && search.Next(entry))
            if (!IsDotEntry(entry.Name) && !entry.NameUnrepresentable && !entry.NameListedTwice &&
                entry.NameRefusal == 0)
                name = entry.Name;
        if (name.empty())
            throw EAppError(NotFoundMessage(typed));
    }
    // The entry found is read again by its exact name, with its stamps.
    if (!platform.ReadItem(folder->Get(), name, true, entry))
        NotFound(typed, platform.LastErrorCode());
    if (platform.IsDevice(folder->Get(), name))
        throw ESrcFileNotExist(typed, 0, DeviceSourceReason);
    return TSourceFile{TItemPlace{folder, name, true}, entry};
}

TFindData FindEntry(const std::string &pattern) {
    return FindSourceFile(pattern).Entry;
}

void FindStamp(const std::string &pattern, TStampKind kind, std::string &nameFound,
               TTimeValue &value, uint8_t *nanos) {
    const TFindData entry = FindEntry(pattern);
    nameFound = entry.Name;
    TakeStamp(entry, kind, value, nanos);
}

void GetStamp(const std::string &pattern, TStampKind kind, TTimeValue &value) {
    std::string nameFound;
    FindStamp(pattern, kind, nameFound, value);
}

std::string RelativeItemPath(const std::string &operand, const std::string &item) {
    const std::string operandDrive = DrivePrefix(operand);
    const std::string itemDrive = DrivePrefix(item);
    if (!SameDrive(operandDrive, itemDrive))
        return item;
    const std::string operandFolder = FolderPart(operand);
    const std::string itemFolder = FolderPart(item);
    const auto from = FolderComponents(operandFolder.substr(operandDrive.size()));
    const auto to = FolderComponents(itemFolder.substr(itemDrive.size()));
    const TPlatform &platform = Platform();
    std::size_t same = 0;
    while (same < from.size() && same < to.size() && platform.SameName(from[same], to[same]))
        ++same;
    std::string result;
    for (std::size_t i = same; i < from.size(); ++i)
        result += std::string("..") + PathSeparator;
    for (std::size_t i = same; i < to.size(); ++i)
        result += to[i] + PathSeparator;
    return result + FileNamePart(item);
}

void ComputeNewStamp(const std::string &path, TStampKind readKind, TOption &option,
                     const TRunTimes &times, TTimeValue &result, const TTimeValue *present,
                     const uint8_t *presentNanos, uint8_t *resultNanos,
                     const TFindData *sourceEntry) {
    result = 0;
    if (resultNanos)
        *resultNanos = 0;
    if (option.DateMode == dmUnknown)
        return;

    TTimeValue source = 0;
    uint8_t sourceNanos = 0;
    if (option.Source == ssNow) {
        source = times.Now;
    } else {
        TFindData entry;
        uint32_t code = 0;
        if (option.SourceFile.empty() && present) {
            if (readKind < 3) {
                source = present[readKind];
                sourceNanos = presentNanos ? presentNanos[readKind] : 0;
            }
        } else if (option.SourceFile.empty()) {
            // The item itself, by its own name.
            if (!ExactEntry(path, entry, code))
                NotFound(path, code);
            TakeStamp(entry, readKind, source, &sourceNanos);
        } else if (EndsWithDelimiter(option.SourceFile)) {
            // The item's counterpart in the tree under the source folder, by
            // the item's own name.
            // The walk's items lie under the operand's folder: below it, the
            // path holds the names found in the listings.
            const std::string operandFolder = FolderPart(option.FileName);
            const std::string relative = path.compare(0, operandFolder.size(), operandFolder) == 0
                                             ? path.substr(operandFolder.size())
                                             : RelativeItemPath(option.FileName, path);
            const std::string sourceFolder = FolderPart(option.SourceFile);
            if (!CounterpartEntry(sourceFolder, relative, entry, code))
                throw ESrcFileNotExist(sourceFolder + relative, code);
            TakeStamp(entry, readKind, source, &sourceNanos);
        } else {
            std::string nameFound;
            if (sourceEntry) {
                // Found once for all kinds of the item: each reads the same file.
                nameFound = sourceEntry->Name;
                TakeStamp(*sourceEntry, readKind, source, &sourceNanos);
            } else {
                FindStamp(option.SourceFile, readKind, nameFound, source, &sourceNanos);
            }
            // The item's other kinds read the same file, and the report names it.
            option.SourceFile = FolderPart(option.SourceFile) + nameFound;
        }
        if (times.IsUnknown(source))
            return;
    }

    // The source value taken apart at the operand's offset, so that the date
    // and time given replace its fields there.
    TTimeParts parts;
    if (!FileTimeToZoneParts(source, option.Offset, parts))
        throw EAppError(DateTimeError, path + ": 元の日時を現地時刻に直せません");

    const TTimeParts &given = option.DateTime;
    switch (option.DateMode) {
    case dmDate:
        parts.wYear = given.wYear;
        [[fallthrough]];
    case dmMonthDay:
        parts.wMonth = given.wMonth;
        [[fallthrough]];
    case dmDay:
        parts.wDay = given.wDay;
        [[fallthrough]];
    case dmTime:
        parts.wHour = given.wHour;
        parts.wMinute = given.wMinute;
        parts.wSecond = given.wSecond;
        parts.Fraction = given.Fraction;
        break;
    default:
        break;
    }
    // A date the reader could not read is refused, also where its year is not used.
    const bool unreadableDate =
        (option.DateMode == dmDay || option.DateMode == dmMonthDay || option.DateMode == dmDate) &&
        given.wYear == InvalidMark;

    TTimeValue value = 0;
    const bool converted = ZonePartsToFileTime(parts, option.Offset, value);
    // The shift is an exact duration on the UTC value; a move below 1601 wraps
    // to a huge unsigned value and fails the limit test.
    const TTimeValue shifted = value + static_cast<uint64_t>(option.Shift);
    const bool timeGiven = option.DateMode >= dmTime && option.DateMode <= dmDate;
    // The words as typed, so that the user sees which one to mend.
    auto typed = [&](const std::string &word, const char *letter) {
        return word.empty() ? std::string(letter) : word;
    };
    if (unreadableDate)
        throw EAppError(DateTimeError, path + ": " + typed(option.DateWord, "-d") +
                                           ": 日付として読めません (例: -d2011-03-15)");
    if (timeGiven && given.wHour == InvalidMark)
        throw EAppError(DateTimeError, path + ": " + typed(option.TimeWord, "-t") +
                                           ": 時刻として読めません (例: -t12:00)");
    auto words = [&] {
        std::string text;
        if (option.DateMode >= dmDay && option.DateMode <= dmDate)
            text = typed(option.DateWord, "-d");
        if (timeGiven && !option.TimeWord.empty())
            text += (text.empty() ? "" : " ") + option.TimeWord;
        return text.empty() ? std::string() : " (" + text + ")";
    };
    // The date and time that could not be used, as the cause tells it.
    auto shown = [&] {
        return FormatText("%d-%.2d-%.2d %.2d:%.2d:%.2d",
                          {int64_t(parts.wYear), int64_t(parts.wMonth), int64_t(parts.wDay),
                           int64_t(parts.wHour), int64_t(parts.wMinute), int64_t(parts.wSecond)});
    };
    if (!converted)
        throw EAppError(DateTimeError, path + ": " + shown() + " という日時はありません" + words());
    if (parts.wYear < 1980)
        throw EAppError(DateTimeError, path + ": " + shown() + " は 1980 年より前です" + words());
    if (shifted >= StampLimit)
        throw EAppError(DateTimeError,
                        path + ": ずらした日時が扱える範囲 (1980 年から 2106-02-07 06:28:16 UTC "
                               "の前まで) の外に出ます");
    result = shifted;
    // A value copied or shifted keeps the digits below its last tick; a
    // date or time given replaces them with its own, which has none.
    if (resultNanos && option.DateMode == dmNone)
        *resultNanos = sourceNanos;
}
