#include "common/timevalue.h"

#include "platform/platform.h"

namespace {

constexpr uint64_t TicksPerDay = 24 * TicksPerHour;
constexpr int64_t DaysFrom1601To1970 = 134774;

bool IsLeapYear(unsigned year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned DaysInMonth(unsigned year, unsigned month) {
    static const unsigned days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t &y, unsigned &m, unsigned &d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = int64_t(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

// The platform's conversion of calendar fields, milliseconds taken as 0.
bool SystemTimeToValue(const TTimeParts &p, TTimeValue &value) {
    if (p.wYear < 1601 || p.wYear > 30827 || p.wMonth < 1 || p.wMonth > 12 || p.wDay < 1 ||
        p.wDay > DaysInMonth(p.wYear, p.wMonth) || p.wHour > 23 || p.wMinute > 59 || p.wSecond > 59)
        return false;
    const int64_t days = DaysFromCivil(p.wYear, p.wMonth, p.wDay) + DaysFrom1601To1970;
    value = uint64_t(days) * TicksPerDay + p.wHour * TicksPerHour + p.wMinute * TicksPerMinute +
            p.wSecond * TicksPerSecond;
    return true;
}

} // namespace

bool TimePartsToFileTime(const TTimeParts &parts, TTimeValue &value) {
    if (parts.Fraction >= TicksPerSecond)
        return false;
    TTimeValue converted = 0;
    if (!SystemTimeToValue(parts, converted))
        return false;
    value = converted + parts.Fraction;
    return true;
}

bool FileTimeToTimeParts(TTimeValue value, TTimeParts &parts) {
    if (value >= (1ULL << 63))
        return false;
    const uint64_t days = value / TicksPerDay;
    const uint64_t inDay = value % TicksPerDay;
    int64_t year = 0;
    unsigned month = 0, day = 0;
    CivilFromDays(int64_t(days) - DaysFrom1601To1970, year, month, day);
    parts.wYear = uint16_t(year);
    parts.wMonth = uint16_t(month);
    parts.wDay = uint16_t(day);
    parts.wDayOfWeek = uint16_t((days + 1) % 7); // 1601-01-01 was a Monday
    parts.wHour = uint16_t(inDay / TicksPerHour);
    parts.wMinute = uint16_t(inDay / TicksPerMinute % 60);
    parts.wSecond = uint16_t(inDay / TicksPerSecond % 60);
    parts.wMilliseconds = uint16_t(inDay % TicksPerSecond / 10000);
    parts.Fraction = uint32_t(value % TicksPerSecond);
    return true;
}

bool FileTimeToLocalParts(TTimeValue utc, TTimeParts &parts) {
    TTimeValue local = 0;
    if (!Platform().UtcToLocal(utc, local))
        return false;
    return FileTimeToTimeParts(local, parts);
}

bool LocalPartsToFileTime(const TTimeParts &parts, TTimeValue &utc) {
    TTimeValue local = 0;
    if (!TimePartsToFileTime(parts, local))
        return false;
    TTimeValue converted = 0;
    if (!Platform().LocalToUtc(local, converted))
        return false;
    utc = converted;
    return true;
}

uint64_t TimeOfDayToTicks(const TTimeParts &parts) {
    return uint64_t(parts.wHour) * TicksPerHour + uint64_t(parts.wMinute) * TicksPerMinute +
           uint64_t(parts.wSecond) * TicksPerSecond + uint64_t(parts.Fraction);
}

namespace {

constexpr int64_t TicksPerMinuteSigned = int64_t(TicksPerMinute);

} // namespace

bool FileTimeToZoneParts(TTimeValue utc, const TUtcOffset &offset, TTimeParts &parts) {
    if (!offset.Fixed)
        return FileTimeToLocalParts(utc, parts);
    const int64_t shift = int64_t(offset.Minutes) * TicksPerMinuteSigned;
    if (utc >= (1ULL << 63) || (shift < 0 && utc < uint64_t(-shift)))
        return false;
    return FileTimeToTimeParts(utc + uint64_t(shift), parts);
}

bool ZonePartsToFileTime(const TTimeParts &parts, const TUtcOffset &offset, TTimeValue &utc) {
    if (!offset.Fixed)
        return LocalPartsToFileTime(parts, utc);
    TTimeValue zoned = 0;
    if (!TimePartsToFileTime(parts, zoned))
        return false;
    const int64_t shift = int64_t(offset.Minutes) * TicksPerMinuteSigned;
    if (shift > 0 && zoned < uint64_t(shift))
        return false;
    utc = zoned - uint64_t(shift);
    return true;
}

TUtcOffset OffsetInForce(TTimeValue utc) {
    TTimeValue local = 0;
    if (utc >= (1ULL << 63) || !Platform().UtcToLocal(utc, local) || local >= (1ULL << 63))
        return TUtcOffset{};
    return TUtcOffset{true, int32_t((int64_t(local) - int64_t(utc)) / TicksPerMinuteSigned)};
}

std::string OffsetText(const TUtcOffset &offset) {
    const int32_t minutes = offset.Minutes < 0 ? -offset.Minutes : offset.Minutes;
    std::string text(1, offset.Minutes < 0 ? '-' : '+');
    const int32_t hours = minutes / 60 % 100;
    text += char('0' + hours / 10);
    text += char('0' + hours % 10);
    text += ':';
    text += char('0' + minutes % 60 / 10);
    text += char('0' + minutes % 10);
    return text;
}

bool ReadOffsetText(const std::string &text, TUtcOffset &offset) {
    if (text.size() != 6 || (text[0] != '+' && text[0] != '-') || text[3] != ':')
        return false;
    for (size_t i : {1, 2, 4, 5})
        if (text[i] < '0' || text[i] > '9')
            return false;
    const int32_t hours = (text[1] - '0') * 10 + (text[2] - '0');
    const int32_t minutes = (text[4] - '0') * 10 + (text[5] - '0');
    if (minutes > 59)
        return false;
    offset.Fixed = true;
    offset.Minutes = (text[0] == '-' ? -1 : 1) * (hours * 60 + minutes);
    return true;
}

bool OffsetInRange(const TUtcOffset &offset) {
    return offset.Fixed && offset.Minutes >= -12 * 60 && offset.Minutes <= 14 * 60;
}
