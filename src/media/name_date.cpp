// The date written in a file's name, as cameras, phones and messengers name
// their files: IMG_20190412_153012.jpg, Screenshot_2019-04-12-15-30-12.png,
// IMG-20190412-WA0003.jpg (a date alone) ...

#include "media/media_date.h"

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

unsigned Number(const std::string &text, size_t at, size_t count) {
    unsigned value = 0;
    for (size_t i = 0; i < count; ++i)
        value = value * 10 + unsigned(text[at + i] - '0');
    return value;
}

// The length of the run of digits at `at`.
size_t DigitRun(const std::string &text, size_t at) {
    size_t end = at;
    while (end < text.size() && IsDigit(text[end]))
        ++end;
    return end - at;
}

bool ValidDate(unsigned year, unsigned month, unsigned day) {
    static const unsigned days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1900 || year > 2099 || month < 1 || month > 12 || day < 1 || day > days[month - 1])
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month != 2 || day <= 28 || leap;
}

// A date at `at`; `end` gets the position after it.
bool DateAt(const std::string &name, size_t at, TTimeParts &parts, size_t &end) {
    const size_t run = DigitRun(name, at);
    if (run == 8) {
        end = at + 8;
    } else if (run == 4 && at + 10 <= name.size()) {
        const char separator = name[at + 4];
        if ((separator != '-' && separator != '_' && separator != '.') ||
            name[at + 7] != separator || DigitRun(name, at + 5) != 2 || DigitRun(name, at + 8) != 2)
            return false;
        end = at + 10;
        if (end < name.size() && IsDigit(name[end]))
            return false;
    } else {
        return false;
    }
    const unsigned year = Number(name, at, 4);
    const unsigned month = Number(name, run == 8 ? at + 4 : at + 5, 2);
    const unsigned day = Number(name, run == 8 ? at + 6 : at + 8, 2);
    if (!ValidDate(year, month, day))
        return false;
    parts = MakeParts(year, month, day);
    return true;
}

// Up to 9 digits of a fraction of a second, as ticks.
uint32_t Fraction(const std::string &name, size_t at, size_t count) {
    uint32_t ticks = 0, scale = 1000000;
    for (size_t i = 0; i < count && i < 7; ++i, scale /= 10)
        ticks += uint32_t(name[at + i] - '0') * scale;
    return ticks;
}

// A time at `at` (after the date's separator) into `parts`.
bool TimeAt(const std::string &name, size_t at, TTimeParts &parts) {
    const size_t run = DigitRun(name, at);
    unsigned hour, minute, second;
    uint32_t fraction = 0;
    if (run >= 6 && run <= 15) {
        hour = Number(name, at, 2);
        minute = Number(name, at + 2, 2);
        second = Number(name, at + 4, 2);
        fraction = Fraction(name, at + 6, run - 6);
    } else if (run == 2 && at + 8 <= name.size()) {
        const char separator = name[at + 2];
        if ((separator != '-' && separator != '.' && separator != '_') ||
            name[at + 5] != separator || DigitRun(name, at + 3) != 2)
            return false;
        const size_t seconds = DigitRun(name, at + 6);
        if (seconds < 2 || seconds > 11)
            return false;
        hour = Number(name, at, 2);
        minute = Number(name, at + 3, 2);
        second = Number(name, at + 6, 2);
        fraction = Fraction(name, at + 8, seconds - 2);
        // Or the fraction after one more separator of the same kind
        // (15.30.12.345, 15_30_12_123456789).
        const size_t after = at + 6 + seconds;
        if (seconds == 2 && after + 1 < name.size() && name[after] == separator) {
            const size_t digits = DigitRun(name, after + 1);
            if (digits >= 1 && digits <= 9)
                fraction = Fraction(name, after + 1, digits);
        }
    } else {
        return false;
    }
    if (hour > 23 || minute > 59 || second > 59)
        return false;
    parts.wHour = uint16_t(hour);
    parts.wMinute = uint16_t(minute);
    parts.wSecond = uint16_t(second);
    parts.Fraction = fraction;
    return true;
}

bool IsTimeSeparator(char c) {
    return c == '_' || c == '-' || c == '.' || c == ' ' || c == 'T';
}

} // namespace

bool ReadNameDate(const std::string &name, TMediaDate &date) {
    for (size_t at = 0; at + 8 <= name.size(); ++at) {
        // A date begins a run of digits, never inside a longer number.
        if (!IsDigit(name[at]) || (at > 0 && IsDigit(name[at - 1])))
            continue;
        TTimeParts parts;
        size_t end = 0;
        if (!DateAt(name, at, parts, end))
            continue;
        if (end + 1 < name.size() && IsTimeSeparator(name[end]))
            TimeAt(name, end + 1, parts); // a time that is no time leaves the date at 00:00:00
        date = TMediaDate{};
        date.Origin = moFileName;
        date.Parts = parts;
        return true;
    }
    return false;
}
