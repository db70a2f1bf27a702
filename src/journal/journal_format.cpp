#include "journal/journal_format.h"

#include "common/errors.h"
#include "platform/platform.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <utility>

namespace {

const char *const Signature = "kelvard journal 2";
// The format before checks and identities.
const char *const OldSignature = "kelvard journal 1";
const char *const FilePrefix = "run-";
const char *const FileSuffix = ".txt";
const char *const Hex = "0123456789ABCDEF";
// Stamps later than this year are written as their tick count.
constexpr uint64_t LastCalendarYear = 9999;

bool Escaped(unsigned char c) {
    return c < 32 || c == 127 || c == '%';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Appends `value` with at least `width` digits.
void AppendNumber(std::string &text, uint64_t value, int width) {
    char digits[24];
    char *at = digits + sizeof digits;
    do {
        *--at = char('0' + value % 10);
        value /= 10;
    } while (value != 0);
    if (const ptrdiff_t n = digits + sizeof digits - at; n < width)
        text.append(size_t(width - n), '0');
    text.append(at, digits + sizeof digits);
}

// Reads exactly `width` digits (width 0: one or more) at `at`.
bool ReadNumber(const std::string &text, size_t &at, int width, uint64_t &value) {
    value = 0;
    const size_t start = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' &&
           (width == 0 || at - start < size_t(width))) {
        const uint64_t digit = uint64_t(text[at++] - '0');
        if (value > (UINT64_MAX - digit) / 10)
            return false;
        value = value * 10 + digit;
    }
    return at > start && (width == 0 || at - start == size_t(width));
}

bool Expect(const std::string &text, size_t &at, char c) {
    if (at >= text.size() || text[at] != c)
        return false;
    ++at;
    return true;
}

std::vector<std::string> SplitFields(const std::string &line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

bool ReadIdentity(const std::string &field, uint64_t &volume, uint64_t &file) {
    size_t at = 0;
    return ReadNumber(field, at, 0, volume) && Expect(field, at, ':') &&
           ReadNumber(field, at, 0, file) && at == field.size();
}

bool ReadItemFields(const std::vector<std::string> &fields, TJournalItem &item) {
    if (fields.size() != 10)
        return false;
    const std::string &type = fields[1];
    if (type.empty() || (type[0] != 'f' && type[0] != 'd') || type.size() > 2 ||
        (type.size() == 2 && type[1] != 'l'))
        return false;
    item.IsFolder = type[0] == 'd';
    item.LinkItself = type.size() == 2;
    for (int k = 0; k < 3; ++k)
        if (!ReadStampField(fields[size_t(2 + k)], item.Old[k]) ||
            !ReadStampField(fields[size_t(5 + k)], item.New[k]))
            return false;
    return ReadIdentity(fields[8], item.VolumeId, item.FileId) &&
           UnescapeField(fields[9], item.Path) && !item.Path.empty();
}

bool ReadInteger(const std::string &field, int &value) {
    size_t at = field.size() > 1 && field[0] == '-' ? 1 : 0;
    uint64_t magnitude = 0;
    if (!ReadNumber(field, at, 0, magnitude) || at != field.size() || magnitude > 1000000)
        return false;
    value = field[0] == '-' ? -int(magnitude) : int(magnitude);
    return true;
}

} // namespace

std::string EscapeField(const std::string &text) {
    std::string result;
    result.reserve(text.size());
    AppendEscaped(result, text);
    return result;
}

void AppendEscaped(std::string &result, std::string_view text) {
    if (std::none_of(text.begin(), text.end(),
                     [](char c) { return Escaped(static_cast<unsigned char>(c)); })) {
        result += text;
        return;
    }
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (Escaped(byte)) {
            result += '%';
            result += Hex[byte >> 4];
            result += Hex[byte & 15];
        } else {
            result += c;
        }
    }
}

bool UnescapeField(const std::string &field, std::string &text) {
    text.clear();
    text.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        const auto byte = static_cast<unsigned char>(field[i]);
        if (byte != '%') {
            if (Escaped(byte))
                return false;
            text += field[i];
            continue;
        }
        const int high = i + 2 < field.size() ? HexValue(field[i + 1]) : -1;
        const int low = high >= 0 ? HexValue(field[i + 2]) : -1;
        if (low < 0)
            return false;
        text += char(high * 16 + low);
        i += 2;
    }
    return true;
}

namespace {

// The calendar form of a stamp, "YYYY-MM-DDThh:mm:ss.fffffffnnZ", written
// backwards into the buffer that ends at `end`; gives its first character.
char *FormatStamp(char *end, const TTimeParts &parts, uint8_t nanos) {
    char *at = end;
    auto put = [&](uint64_t value, int width) {
        for (int i = 0; i < width || value != 0; ++i, value /= 10)
            *--at = char('0' + value % 10);
    };
    // The fields of two digits, from a table rather than a division each.
    static constexpr auto Pairs = [] {
        std::array<char, 200> pairs{};
        for (int i = 0; i < 100; ++i) {
            pairs[size_t(2 * i)] = char('0' + i / 10);
            pairs[size_t(2 * i + 1)] = char('0' + i % 10);
        }
        return pairs;
    }();
    auto pair = [&](unsigned value) {
        *--at = Pairs[2 * size_t(value) + 1];
        *--at = Pairs[2 * size_t(value)];
    };
    *--at = 'Z';
    pair(nanos % 100);
    uint32_t fraction = parts.Fraction;
    for (int i = 0; i < 3; ++i, fraction /= 100)
        pair(fraction % 100);
    *--at = char('0' + fraction % 10);
    *--at = '.';
    pair(parts.wSecond % 100);
    *--at = ':';
    pair(parts.wMinute % 100);
    *--at = ':';
    pair(parts.wHour % 100);
    *--at = 'T';
    pair(parts.wDay % 100);
    *--at = '-';
    pair(parts.wMonth % 100);
    *--at = '-';
    if (parts.wYear < 10000) {
        pair(parts.wYear % 100);
        pair(parts.wYear / 100);
    } else {
        put(parts.wYear, 4);
    }
    return at;
}

// `value` in decimal written at `out`, which has room for 20 digits; gives
// where it ends.
char *PutNumber(char *out, uint64_t value) {
    char digits[20];
    char *end = digits + sizeof digits, *from = end;
    do
        *--from = char('0' + value % 10);
    while ((value /= 10) != 0);
    std::memcpy(out, from, size_t(end - from));
    return out + (end - from);
}

// The calendar dates of the two days met last on a thread: the stamps of
// its records (old and new) mostly fall on a few days, whose calendar form is
// then worked out once.
constexpr size_t MaxStampField = 48;
struct TDayMemo {
    uint64_t Day[2] = {UINT64_MAX, UINT64_MAX}; // the one used less recently first
    TTimeParts Date[2];
    // The fields of the two stamps met last, the one used less recently
    // first: a run's new stamp recurs in every record.
    struct TField {
        TJournalStamp Stamp;
        uint8_t Size = 0; // 0: none yet
        char Text[MaxStampField];
    } Field[2];
};

// The signed tick count of a stamp that has no calendar form of four digits
// (one before 1601 is negative), written backwards to end at `end`.
char *FormatTickStamp(char *end, const TJournalStamp &stamp) {
    char *at = end;
    auto put = [&](uint64_t value, int width) {
        for (int i = 0; i < width || value != 0; ++i, value /= 10)
            *--at = char('0' + value % 10);
    };
    put(stamp.Nanos, 2);
    *--at = '.';
    const bool negative = (stamp.Value >> 63) != 0;
    put(negative ? ~stamp.Value + 1 : stamp.Value, 1);
    if (negative)
        *--at = '-';
    *--at = '@';
    return at;
}

// A stamp's field written at `out`, which has room for MaxStampField bytes;
// gives where it ends.
char *PutStampField(char *out, const TJournalStamp &stamp, TDayMemo &memo) {
    if (stamp.Value == 0) {
        *out = '-';
        return out + 1;
    }
    for (int k = 1; k >= 0; --k)
        if (memo.Field[k].Size != 0 && memo.Field[k].Stamp == stamp) {
            std::memcpy(out, memo.Field[k].Text, memo.Field[k].Size);
            const size_t size = memo.Field[k].Size;
            if (k == 0)
                std::swap(memo.Field[0], memo.Field[1]);
            return out + size;
        }
    constexpr uint64_t TicksPerDay = 24 * TicksPerHour;
    const uint64_t day = stamp.Value / TicksPerDay;
    TTimeParts parts;
    char buffer[MaxStampField];
    char *end = buffer + sizeof buffer, *begin;
    if (day == memo.Day[0] || day == memo.Day[1]) {
        parts = memo.Date[day == memo.Day[0] ? 0 : 1];
        const uint64_t inDay = stamp.Value % TicksPerDay;
        parts.wHour = uint16_t(inDay / TicksPerHour);
        parts.wMinute = uint16_t(inDay / TicksPerMinute % 60);
        parts.wSecond = uint16_t(inDay / TicksPerSecond % 60);
        parts.Fraction = uint32_t(stamp.Value % TicksPerSecond);
        begin = FormatStamp(end, parts, stamp.Nanos);
    } else if ((stamp.Value >> 63) != 0 || !FileTimeToTimeParts(stamp.Value, parts) ||
               parts.wYear > LastCalendarYear) {
        begin = FormatTickStamp(end, stamp);
    } else {
        memo.Day[0] = memo.Day[1];
        memo.Date[0] = memo.Date[1];
        memo.Day[1] = day;
        memo.Date[1] = parts;
        begin = FormatStamp(end, parts, stamp.Nanos);
    }
    const auto size = size_t(end - begin);
    memo.Field[0] = memo.Field[1];
    memo.Field[1].Stamp = stamp;
    memo.Field[1].Size = uint8_t(size);
    std::memcpy(memo.Field[1].Text, begin, size);
    std::memcpy(out, begin, size);
    return out + size;
}

} // namespace

std::string StampField(const TJournalStamp &stamp) {
    char field[MaxStampField];
    TDayMemo memo;
    return std::string(field, PutStampField(field, stamp, memo));
}

bool ReadStampField(const std::string &field, TJournalStamp &stamp) {
    stamp = TJournalStamp{};
    if (field == "-")
        return true;
    size_t at = 0;
    uint64_t nanos = 0;
    if (Expect(field, at, '@')) {
        const bool negative = Expect(field, at, '-');
        if (!ReadNumber(field, at, 0, stamp.Value) || !Expect(field, at, '.') ||
            !ReadNumber(field, at, 2, nanos) || at != field.size() || nanos > 99 ||
            (negative && (stamp.Value == 0 || stamp.Value > (1ULL << 63))) ||
            (!negative && (stamp.Value >> 63) != 0))
            return false;
        if (negative)
            stamp.Value = ~stamp.Value + 1;
        stamp.Nanos = uint8_t(nanos);
        return stamp.Value != 0;
    }
    uint64_t year, month, day, hour, minute, second, fraction;
    if (!ReadNumber(field, at, 0, year) || !Expect(field, at, '-') ||
        !ReadNumber(field, at, 2, month) || !Expect(field, at, '-') ||
        !ReadNumber(field, at, 2, day) || !Expect(field, at, 'T') ||
        !ReadNumber(field, at, 2, hour) || !Expect(field, at, ':') ||
        !ReadNumber(field, at, 2, minute) || !Expect(field, at, ':') ||
        !ReadNumber(field, at, 2, second) || !Expect(field, at, '.') ||
        !ReadNumber(field, at, 7, fraction) || !ReadNumber(field, at, 2, nanos) ||
        !Expect(field, at, 'Z') || at != field.size() || year > LastCalendarYear || nanos > 99)
        return false;
    stamp.Nanos = uint8_t(nanos);
    return TimePartsToFileTime(MakeParts(unsigned(year), unsigned(month), unsigned(day),
                                         unsigned(hour), unsigned(minute), unsigned(second),
                                         uint32_t(fraction)),
                               stamp.Value) &&
           stamp.Value != 0;
}

namespace {

// Ends the line that begins at `start` in `text` with its check and line end.
void CloseLine(std::string &text, size_t start) {
    const uint32_t crc = Crc32(text.data() + start, text.size() - start);
    char check[10] = {'\t', '#'};
    for (int i = 0; i < 8; ++i)
        check[2 + i] = Hex[(crc >> (28 - 4 * i)) & 15];
    text.append(check, sizeof check);
    text += LineEnd;
}

std::string Line(std::string text) {
    CloseLine(text, 0);
    return text;
}

// The text of a whole line (its line end taken off) without its check;
// false when the check is missing or wrong.
bool CheckedText(const std::string &line, std::string &text) {
    constexpr size_t CheckSize = 10; // TAB, "#" and eight digits
    if (line.size() < CheckSize || line[line.size() - CheckSize] != '\t' ||
        line[line.size() - CheckSize + 1] != '#')
        return false;
    uint32_t written = 0;
    for (size_t i = line.size() - 8; i < line.size(); ++i) {
        const int digit = line[i] >= 'a' ? -1 : HexValue(line[i]);
        if (digit < 0)
            return false;
        written = written << 4 | uint32_t(digit);
    }
    const size_t size = line.size() - CheckSize;
    if (Crc32(line.data(), size) != written)
        return false;
    text.assign(line, 0, size);
    return true;
}

} // namespace

uint32_t Crc32(const char *data, size_t size, uint32_t crc) {
    // Eight tables, eight bytes a step: every journal line is checked as it
    // is written, and this is most of a record's cost.
    static constexpr auto Tables = [] {
        std::array<std::array<uint32_t, 256>, 8> tables{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            tables[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (size_t t = 1; t < 8; ++t)
                tables[t][i] = tables[0][tables[t - 1][i] & 0xFF] ^ (tables[t - 1][i] >> 8);
        return tables;
    }();
    const auto *bytes = reinterpret_cast<const unsigned char *>(data);
    crc = ~crc;
    for (; size >= 8; size -= 8, bytes += 8) {
        const uint32_t low = crc ^ (uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 |
                                    uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24);
        crc = Tables[7][low & 0xFF] ^ Tables[6][(low >> 8) & 0xFF] ^ Tables[5][(low >> 16) & 0xFF] ^
              Tables[4][low >> 24] ^ Tables[3][bytes[4]] ^ Tables[2][bytes[5]] ^
              Tables[1][bytes[6]] ^ Tables[0][bytes[7]];
    }
    for (; size > 0; --size, ++bytes)
        crc = Tables[0][(crc ^ *bytes) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::string HeaderLines(TTimeValue start, const std::string &program, const std::string &folder,
                        const std::vector<std::string> &arguments) {
    std::string text = Line(Signature);
    text += Line("start\t" + StampField(TJournalStamp{start, 0}));
    text += Line("program\t" + EscapeField(program));
    text += Line("folder\t" + EscapeField(folder));
    std::string command = "command";
    for (const std::string &argument : arguments)
        command += "\t" + EscapeField(argument);
    return text + Line(command);
}

std::string ItemLine(const TJournalItem &item) {
    std::string line;
    AppendItemLine(line, item);
    return line;
}

void AppendItemLine(std::string &line, const TJournalItem &item, std::string_view pathTail) {
    // Every item of a run has a line, made on the thread that read the item:
    // all but the path is put together in place, and the same stamp twice
    // is worked out once.
    thread_local TDayMemo memo;
    char head[16 + 6 * (1 + MaxStampField) + 48];
    char *at = head;
    std::memcpy(at, "item\t", 5);
    at += 5;
    *at++ = item.IsFolder ? 'd' : 'f';
    if (item.LinkItself)
        *at++ = 'l';
    for (const TJournalStamp *stamps : {item.Old, item.New})
        for (int k = 0; k < 3; ++k) {
            *at++ = '\t';
            at = PutStampField(at, stamps[k], memo);
        }
    *at++ = '\t';
    at = PutNumber(at, item.VolumeId);
    *at++ = ':';
    at = PutNumber(at, item.FileId);
    *at++ = '\t';
    const size_t start = line.size();
    line.reserve(start + size_t(at - head) + item.Path.size() + pathTail.size() + 16);
    line.append(head, size_t(at - head));
    AppendEscaped(line, item.Path);
    AppendEscaped(line, pathTail);
    CloseLine(line, start);
}

std::string EndLine(int exitCode, bool interrupted) {
    return Line("end\t" + std::to_string(exitCode) + "\t" + (interrupted ? "interrupted" : "done"));
}

std::string TakenLine(size_t line) {
    return Line("taken\t" + std::to_string(line));
}

std::string UndoneLine(TTimeValue when, int exitCode) {
    return Line("undone\t" + StampField(TJournalStamp{when, 0}) + "\t" + std::to_string(exitCode));
}

std::string JournalFileName(uint64_t number) {
    std::string name = FilePrefix;
    AppendNumber(name, number, 6);
    return name + FileSuffix;
}

uint64_t JournalNumber(const std::string &fileName) {
    const std::string prefix = FilePrefix, suffix = FileSuffix;
    if (fileName.size() <= prefix.size() + suffix.size() ||
        fileName.compare(0, prefix.size(), prefix) != 0 ||
        fileName.compare(fileName.size() - suffix.size(), suffix.size(), suffix) != 0)
        return 0;
    size_t at = prefix.size();
    uint64_t number = 0;
    if (!ReadNumber(fileName, at, 0, number) || at != fileName.size() - suffix.size())
        return 0;
    return number;
}

bool TJournalRun::IsTaken(const TJournalItem &item) const {
    return std::binary_search(Taken.begin(), Taken.end(), item.Line);
}

bool TJournalRun::Open() const {
    return !Damaged.empty() ||
           std::any_of(Items.begin(), Items.end(),
                       [this](const TJournalItem &item) { return !IsTaken(item); });
}

bool ParseJournal(const std::string &text, TJournalRun &run) {
    size_t start = 0, number = 0;
    std::string line, checked;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            run.CutLastLine = true; // written in part: its item was not changed yet
            break;
        }
        line.assign(text, start, end - start);
        start = end + 1;
        run.WholeSize = start;
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (number == 1) {
            if (line == OldSignature || line.rfind(std::string(OldSignature) + "\t", 0) == 0) {
                run.OldFormat = true;
                return true;
            }
            if (!CheckedText(line, checked) || checked != Signature)
                return false;
            continue;
        }
        if (!CheckedText(line, checked)) {
            run.Damaged.push_back(number);
            continue;
        }
        const std::vector<std::string> fields = SplitFields(checked);
        const std::string &kind = fields[0];
        bool read = true;
        if (kind == "item") {
            TJournalItem item;
            item.Line = number;
            read = ReadItemFields(fields, item);
            if (read)
                run.Items.push_back(std::move(item));
        } else if (kind == "start" && fields.size() == 2) {
            TJournalStamp stamp;
            read = ReadStampField(fields[1], stamp);
            run.Start = stamp.Value;
        } else if (kind == "program" && fields.size() == 2) {
            read = UnescapeField(fields[1], run.Program);
        } else if (kind == "folder" && fields.size() == 2) {
            read = UnescapeField(fields[1], run.Folder);
        } else if (kind == "command") {
            run.Arguments.resize(fields.size() - 1);
            for (size_t i = 1; i < fields.size(); ++i)
                read = read && UnescapeField(fields[i], run.Arguments[i - 1]);
        } else if (kind == "end" && fields.size() == 3) {
            read = ReadInteger(fields[1], run.ExitCode);
            run.Ended = read;
            run.Interrupted = fields[2] == "interrupted";
        } else if (kind == "taken" && fields.size() == 2) {
            uint64_t taken = 0;
            size_t at = 0;
            read = ReadNumber(fields[1], at, 0, taken) && at == fields[1].size();
            if (read)
                run.Taken.push_back(size_t(taken));
        } else if (kind == "undone") {
            run.Undone = true;
        }
        // Lines of any other kind are of a later version: passed over.
        if (!read)
            run.Damaged.push_back(number);
    }
    std::sort(run.Taken.begin(), run.Taken.end());
    return number > 0;
}

std::vector<TJournalFile> ListJournals(const std::string &folder) {
    std::vector<TFileListing> files;
    std::vector<TJournalFile> journals;
    if (!Platform().ListFiles(folder, files))
        return journals;
    for (const TFileListing &file : files)
        if (const uint64_t number = JournalNumber(file.Name); number != 0)
            journals.push_back(TJournalFile{number, folder + PathSeparator + file.Name, file.Size});
    std::sort(journals.begin(), journals.end(),
              [](const TJournalFile &a, const TJournalFile &b) { return a.Number < b.Number; });
    return journals;
}

namespace {

std::string OwnershipProblem(TOwnership problem) {
    switch (problem) {
    case owLink:
        return "リンクです";
    case owWrongType:
        return "通常のファイルやフォルダではありません";
    case owOtherOwner:
        return "所有者が別のユーザーです";
    case owOthersWrite:
        return "ほかのユーザーも書き込めます";
    case owMissing:
        return "ありません";
    default:
        return LastErrorText();
    }
}

const char *const UntrustedFolder = "ジャーナルの保存先フォルダを信頼できません";
const char *const UntrustedJournal = "ジャーナルを信頼できません";

} // namespace

std::string JournalFolder() {
    const TPlatform &platform = Platform();
    std::string folder;
    if (!platform.StateFolder(folder))
        throw EAppError("ジャーナルの保存先フォルダが分かりません",
                        std::string(HasDriveSyntax ? "%LOCALAPPDATA%" : "$XDG_STATE_HOME, $HOME") +
                            ": " + LastErrorText());
    // The folder and the one above it are the user's alone, or no journal
    // in them can be trusted.
    const size_t cut = folder.find_last_of(HasDriveSyntax ? "\\/" : "/");
    const std::string above = cut != std::string::npos && cut > 0 ? folder.substr(0, cut) : "";
    for (const std::string &path : {above, folder}) {
        if (path.empty())
            continue;
        const TOwnership ownership = platform.OwnershipOf(path);
        if (ownership != owOwn && ownership != owMissing)
            throw EAppError(UntrustedFolder, path + ": " + OwnershipProblem(ownership));
    }
    return folder;
}

TFileHandle OpenJournal(const std::string &path) {
    TOwnership problem = owOwn;
    TFileHandle handle = Platform().OpenOwnFile(path, problem);
    if (!handle)
        throw EAppError(problem == owUnreadable || problem == owMissing ? "ジャーナルを読めません"
                                                                        : UntrustedJournal,
                        path + ": " + OwnershipProblem(problem));
    return handle;
}

TJournalRun ReadJournal(const TJournalFile &file, TFileHandle handle) {
    std::string text;
    if (!Platform().ReadOwnFile(handle, text))
        throw EAppError("ジャーナルを読めません", file.Path + ": " + LastErrorText());
    TJournalRun run;
    run.Number = file.Number;
    run.File = file.Path;
    if (!ParseJournal(text, run))
        throw EAppError("ジャーナルの内容が正しくありません", file.Path);
    return run;
}
