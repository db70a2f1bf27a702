#include "cli/parser.h"

#include "cli/datetime_arg.h"
#include "cli/default_option.h"
#include "cli/option_sources.h"
#include "cli/switches.h"
#include "cli/usage.h"
#include "common/errors.h"
#include "common/paths.h"
#include "common/text.h"

namespace {

const char *const OptionError = "オプションに誤りがあります";

bool IsSeparator(char c) {
    return c == ':' || c == '=';
}

// The names of a file operand: cut at ";" only, every other byte (blanks,
// control characters, DEL) belongs to the name. A name that begins with a
// double quote runs to the next single one (two in a row stand for one), and
// what follows up to the next ";" is still part of it.
std::vector<std::string> SplitOperandNames(const std::string &source) {
    const std::string text = source.substr(0, source.find('\0'));
    std::vector<std::string> names;
    size_t i = 0;
    auto take = [&](std::string &name) {
        const size_t length = CharLength(text, i);
        name.append(text, i, length);
        i += length;
    };
    while (i < text.size()) {
        std::string name;
        if (text[i] == '"') {
            for (++i; i < text.size();) {
                if (text[i] != '"') {
                    take(name);
                } else if (i + 1 < text.size() && text[i + 1] == '"') {
                    name += '"';
                    i += 2;
                } else {
                    ++i;
                    break;
                }
            }
        }
        while (i < text.size() && text[i] != ';')
            take(name);
        names.push_back(std::move(name));
        ++i; // the ";"
    }
    return names;
}

// The state of one parse.
class TParser {
public:
    TParser(const std::vector<std::string> &tokens, size_t defaultCount, size_t operandsFrom)
        : Tokens(tokens), DefaultCount(defaultCount), OperandsFrom(operandsFrom) {}

    TParsedOptions Run() {
        Result.Operands.reserve(256);
        ResetOption(Working);
        KindsGiven = false;
        for (Index = 0; Index < Tokens.size(); ++Index) {
            if (!ReadToken(Tokens[Index]))
                throw EAppError(OptionError);
        }
        FinalChecks();
        return std::move(Result);
    }

private:
    const std::vector<std::string> &Tokens;
    size_t DefaultCount;
    size_t OperandsFrom;
    size_t Index = 0;
    TOption Working;
    bool KindsGiven = false;
    TTimeParts ShiftParts; // the relative time, kept for the whole parse
    TParsedOptions Result;

    // False when the token is faulty.
    bool ReadToken(const std::string &token) {
        if (Index >= OperandsFrom || token.empty() || !IsSwitchPrefix(token[0]))
            return AddOperand(token);
        if (token.size() == 1)
            return false;
        const std::string body = token.substr(1);
        const char letter = LowerAscii(body[0]);
        const char second = body.size() > 1 ? LowerAscii(body[1]) : '\0';
        switch (letter) {
        case 's':
            return SourceSwitch(body, second);
        case 'd':
            DateSwitch(body);
            return true;
        case 't':
            TimeSwitch(body);
            return true;
        case 'f':
            return FolderSwitch(second);
        case 'r':
            return BooleanSwitch(Working.Recurse, second);
        case 'v':
            return BooleanSwitch(Working.Preview, second);
        case 'g':
            return BooleanSwitch(Working.IgnoreNotFound, second);
        case 'e':
            return BooleanSwitch(Working.MakeRestoreFile, second);
        case 'x':
            return BooleanSwitch(Working.Expert, second);
        case 'w':
            return KindSwitch(skModification, second);
        case 'c':
            return KindSwitch(skCreation, second);
        case 'a':
            return KindSwitch(skAccess, second);
        case 'i':
            if (second != '\0')
                return false;
            ResetOption(Working);
            KindsGiven = false;
            return true;
        case '?':
            throw EUsageAsked();
        case 'z':
            return SettingSwitch(body, second);
        default:
            return false;
        }
    }

    // The argument after a one-letter switch and its optional separator.
    static std::string Argument(const std::string &body) {
        size_t position = body.size() > 1 && IsSeparator(body[1]) ? 2 : 1;
        return position < body.size() ? body.substr(position) : std::string();
    }

    // The argument after a two-letter switch (-sw, -zs ...) and its separator.
    static std::string SecondArgument(const std::string &body) {
        size_t position = body.size() > 2 && IsSeparator(body[2]) ? 3 : 2;
        return position < body.size() ? body.substr(position) : std::string();
    }

    bool SourceSwitch(const std::string &body, char second) {
        TStampSource source;
        switch (second) {
        case 'n':
            Working.Source = ssNow;
            return true;
        case 'w':
            source = ssModification;
            break;
        case 'c':
            source = ssCreation;
            break;
        case 'a':
            source = ssAccess;
            break;
        case 's':
            source = ssSameKind;
            break;
        default:
            return false;
        }
        Working.SourceFile = SecondArgument(body);
        Working.Source = source;
        return true;
    }

    void DateSwitch(const std::string &body) {
        std::string argument = Argument(body);
        char first = argument.empty() ? '\0' : LowerAscii(argument[0]);
        if (first == '-') {
            Working.DateMode = dmNone;
            return;
        }
        if (first == 'u') {
            Working.DateMode = dmUnknown;
            return;
        }
        // A number too large for its field is refused here, never wrapped.
        if (!DateTimeArgFits(body, dtDate))
            throw EAppError(DateTimeError);
        TTimeParts &parts = Working.DateTime;
        if (Working.DateMode == dmNone) {
            parts.wHour = parts.wMinute = parts.wSecond = 0;
            parts.Fraction = 0;
        }
        switch (ReadDateTimeArg(body, dtDate, parts)) {
        case 1:
            Working.DateMode = dmDay;
            break;
        case 2:
            Working.DateMode = dmMonthDay;
            break;
        default:
            Working.DateMode = dmDate;
            break;
        }
    }

    void TimeSwitch(const std::string &body) {
        if (!DateTimeArgFits(body, dtTime))
            throw EAppError(DateTimeError);
        std::string argument = Argument(body);
        if (!argument.empty() && (argument[0] == '+' || argument[0] == '-')) {
            // A relative time that cannot be read is refused here: nothing
            // later would notice it.
            TTimeParts parts = ShiftParts;
            bool wellFormed = false;
            ReadDateTimeArg(body, dtTime, parts, &wellFormed);
            if (!wellFormed)
                throw EAppError(DateTimeError);
            const uint64_t ticks = TimeOfDayToTicks(parts);
            ShiftParts = parts;
            Working.Shift = argument[0] == '-' ? -int64_t(ticks) : int64_t(ticks);
            return;
        }
        ReadDateTimeArg(body, dtTime, Working.DateTime);
        if (Working.DateMode == dmNone)
            Working.DateMode = dmTime;
    }

    bool FolderSwitch(char second) {
        switch (second) {
        case '\0':
        case '1':
            Working.FolderMode = fmMatchedFolders;
            return true;
        case '2':
        case '+':
            Working.FolderMode = fmAllFolders;
            return true;
        case '0':
        case '-':
            Working.FolderMode = fmNoFolders;
            return true;
        case '3':
            Working.FolderMode = fmNoFiles;
            return true;
        default:
            return false;
        }
    }

    static bool BooleanSwitch(bool &value, char second) {
        switch (second) {
        case '\0':
            value = !value;
            return true;
        case '+':
            value = true;
            return true;
        case '-':
            value = false;
            return true;
        default:
            return false;
        }
    }

    bool KindSwitch(TStampKind kind, char second) {
        if (second != '\0' && second != '+' && second != '-')
            return false;
        if (!KindsGiven) {
            Working.Kinds = TStampKinds{};
            KindsGiven = true;
        }
        if (second == '+')
            Working.Kinds.Include(kind);
        else if (second == '-')
            Working.Kinds.Exclude(kind);
        else
            Working.Kinds.Toggle(kind);
        return true;
    }

    // The run-wide -z switches; an empty argument gives the switch's own value.
    bool SettingSwitch(const std::string &body, char second) {
        const std::string argument = SecondArgument(body);
        TRunSettings &settings = Result.Settings;
        int32_t value = 0;
        auto read = [&](int32_t empty, int32_t low, int32_t high) {
            value = empty;
            if (argument.empty())
                return true;
            return ReadIntegerArg(argument, value) && value >= low && value <= high;
        };
        switch (second) {
        case 's':
            if (!read(6, 0, 7))
                return false;
            settings.SubSecondDigits = value;
            return true;
        case 'd':
            if (!read(1, 0, 2))
                return false;
            settings.SplitFileNames = value != 0;
            return true;
        case 'r':
            if (!read(1, 0, 2))
                return false;
            settings.FatRounding = value != 0;
            return true;
        case 'p':
            if (!read(0, 1, int32_t(MaxThreads)))
                return false;
            settings.Threads = unsigned(value);
            return true;
        default:
            return false;
        }
    }

    // A file operand, split at ";" into names that share the first one's folder.
    bool AddOperand(const std::string &token) {
        if (Index < DefaultCount)
            return false;
        std::vector<std::string> parts = Result.Settings.SplitFileNames
                                             ? SplitOperandNames(token)
                                             : std::vector<std::string>{token};
        if (parts.empty())
            return true;
        const std::string folder = FolderPart(parts[0]);
        for (size_t i = 0; i < parts.size(); ++i) {
            if (parts[i].empty())
                continue;
            std::vector<TOption> &operands = Result.Operands;
            if (operands.size() == operands.capacity())
                operands.reserve(operands.capacity() * 2);
            operands.push_back(Working);
            operands.back().FileName = i == 0 ? parts[i] : folder + parts[i];
        }
        return true;
    }

    void FinalChecks() {
        Result.Operands.shrink_to_fit();
        if (Result.Operands.empty())
            throw EAppError("ファイル名を指定してください");
        for (TOption &entry : Result.Operands) {
            if (!entry.Expert) {
                std::string name = std::move(entry.FileName);
                entry = Working;
                entry.FileName = std::move(name);
            }
            if (entry.Kinds.Empty())
                throw EAppError("タイムスタンプ変更の指定がありません");
            uint16_t &year = entry.DateTime.wYear;
            if (year < 80)
                year = uint16_t(year + 2000);
            else if (year < 100)
                year = uint16_t(year + 1900);
        }
    }
};

} // namespace

bool ReadIntegerArg(const std::string &text, int32_t &value) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    unsigned base = 10;
    if (i < n && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= n)
        return false;
    int64_t magnitude = 0;
    for (; i < n; ++i) {
        char c = text[i];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = unsigned(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = unsigned(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = unsigned(c - 'A' + 10);
        else
            return false;
        magnitude = magnitude * base + digit;
        if (magnitude > int64_t(INT32_MAX) + 1)
            return false;
    }
    int64_t result = negative ? -magnitude : magnitude;
    if (result > INT32_MAX)
        return false;
    value = int32_t(result);
    return true;
}

TParsedOptions ParseTokens(const std::vector<std::string> &tokens, size_t defaultCount,
                           size_t operandsFrom) {
    return TParser(tokens, defaultCount, operandsFrom).Run();
}

namespace {

// An argument that shows a character of the command line by a stand-in would
// name something else (a look-alike file, or a pattern that matches one):
// it is refused before anything changes, by the error its kind would give.
void RefuseStandIns(const std::vector<std::string> &arguments, const std::vector<bool> &standIn) {
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (!standIn[i])
            continue;
        const std::string &argument = arguments[i];
        if (argument[0] == '@')
            throw EAppError("レスポンスファイル (" + argument.substr(1) + ") が開けません");
        if (IsSwitchPrefix(argument[0]))
            throw EAppError(OptionError);
        throw EAppError(NotFoundMessage(argument));
    }
}

// The first "--help" or "--version" of the native command line before any
// "--"; empty when there is none (and always in the Windows build).
std::string PosixRequest(const std::vector<std::string> &arguments) {
    if constexpr (PosixCommandLine) {
        if (arguments.empty() || IsDefOptForm(arguments[0]))
            return std::string();
        for (const std::string &argument : arguments) {
            if (argument == "--")
                break;
            if (argument == "--help" || argument == "--version")
                return argument;
        }
    }
    return std::string();
}

} // namespace

bool VersionAsked() {
    return PosixRequest(CommandLineArguments(nullptr)) == "--version";
}

TParsedOptions ParseOptions(const TProgramNames &names, TOutput &output) {
    std::vector<bool> standIn;
    const std::vector<std::string> arguments = CommandLineArguments(&standIn);
    if (arguments.empty())
        ShowUsage(names.RegKey, output);
    RefuseStandIns(arguments, standIn);
    if (IsDefOptForm(arguments[0])) {
        MaintainDefaultOption(arguments, names.RegKey, output);
        return TParsedOptions();
    }
    const std::string request = PosixRequest(arguments);
    if (request == "--help")
        ShowUsage(names.RegKey, output, 0);
    if (request == "--version")
        ShowVersion(output);
    const TTokenList list = GatherTokens(arguments, names);
    try {
        return ParseTokens(list.Tokens, list.DefaultCount, list.OperandsFrom);
    } catch (const EUsageAsked &) {
        ShowUsage(names.RegKey, output);
    }
}
