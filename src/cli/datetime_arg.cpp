#include "cli/datetime_arg.h"

#include <cstdint>
#include <vector>

namespace {

constexpr size_t FractionDigits = 7;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A group of digits as a signed 32-bit number; -1 when it is too large.
int32_t GroupValue(const std::string &digits) {
    int64_t value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
        if (value > INT32_MAX)
            return -1;
    }
    return int32_t(value);
}

// Cuts a date of digits only into year, month and day from the right.
std::string CutDateDigits(const std::string &text) {
    size_t n = text.size();
    if (n >= 5)
        return text.substr(0, n - 4) + ' ' + text.substr(n - 4, 2) + ' ' + text.substr(n - 2);
    if (n >= 3)
        return text.substr(0, n - 2) + ' ' + text.substr(n - 2);
    return text;
}

// Cuts a time of digits only into hour, minute, second and fraction from the
// left; an odd last digit of a pair counts as its tens digit.
std::string CutTimeDigits(std::string text) {
    size_t n = text.size();
    if (n == 3 || n == 5 || n == 7)
        text += '0';
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((i == 2 && n >= 3) || (i == 4 && n >= 5) || (i == 6 && n >= 7))
            result += ' ';
        result += text[i];
    }
    return result;
}

std::vector<std::string> Groups(const std::string &text) {
    std::vector<std::string> groups;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ')
            ++i;
        size_t start = i;
        while (i < text.size() && text[i] != ' ')
            ++i;
        if (i > start)
            groups.push_back(text.substr(start, i - start));
    }
    return groups;
}

// The argument's number groups, before they are read as numbers.
std::vector<std::string> ArgumentGroups(const std::string &body, TDateTimeArgKind kind) {
    size_t position = body.size() > 1 && (body[1] == ':' || body[1] == '=') ? 2 : 1;
    std::string text = position < body.size() ? body.substr(position) : std::string();
    if (kind == dtTime && !text.empty() && (text[0] == '+' || text[0] == '-')) {
        text.erase(0, 1);
        if (text.empty())
            text = "0";
    }

    bool digitsOnly = true;
    for (char &c : text)
        if (!IsDigit(c)) {
            c = ' ';
            digitsOnly = false;
        }
    if (digitsOnly)
        text = kind == dtDate ? CutDateDigits(text) : CutTimeDigits(text);

    return Groups(text);
}

} // namespace

bool DateTimeArgFits(const std::string &body, TDateTimeArgKind kind) {
    const std::vector<std::string> groups = ArgumentGroups(body, kind);
    if (groups.size() > (kind == dtDate ? 3u : 4u))
        return true;
    for (size_t i = 0; i < groups.size(); ++i) {
        if (kind == dtTime && i == 3) {
            if (groups[i].size() > FractionDigits)
                return false;
        } else if (const int32_t value = GroupValue(groups[i]); value < 0 || value > UINT16_MAX) {
            return false;
        }
    }
    return true;
}

int ReadDateTimeArg(const std::string &body, TDateTimeArgKind kind, TTimeParts &target,
                    bool *wellFormed) {
    std::vector<std::string> groups = ArgumentGroups(body, kind);
    bool readable = true;
    int32_t values[4] = {0, 0, 0, 0};
    for (size_t i = 0; i < groups.size() && i < 4; ++i) {
        if (i == 3) {
            if (groups[i].size() > FractionDigits)
                values[i] = -1;
            else
                values[i] =
                    GroupValue(groups[i] + std::string(FractionDigits - groups[i].size(), '0'));
        } else {
            values[i] = GroupValue(groups[i]);
        }
        if (values[i] == -1)
            readable = false;
    }
    int count = int(groups.size());

    if (kind == dtTime) {
        if (count == 0 || count > 4) {
            target.wHour = InvalidMark;
            if (wellFormed)
                *wellFormed = false;
            return 1;
        }
        target.wHour = uint16_t(values[0]);
        target.wMinute = uint16_t(values[1]);
        target.wSecond = uint16_t(values[2]);
        target.Fraction = uint32_t(values[3]);
    } else {
        if (count == 0 || count > 3) {
            target.wYear = InvalidMark;
            if (wellFormed)
                *wellFormed = false;
            return 1;
        }
        // A day or a month and day read over an unreadable date: the year
        // no longer stands for that earlier failure.
        if (count < 3 && target.wYear == InvalidMark)
            target.wYear = 0;
        if (count == 3)
            target.wYear = uint16_t(values[0]);
        if (count >= 2)
            target.wMonth = uint16_t(values[count - 2]);
        target.wDay = uint16_t(values[count - 1]);
    }
    if (wellFormed)
        *wellFormed = readable;
    return count;
}
