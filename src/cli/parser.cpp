#include "cli/parser.h"

#include "cli/datetime_arg.h"
#include "cli/default_option.h"
#include "cli/option_sources.h"
#include "cli/switches.h"
#include "cli/usage.h"
#include "common/errors.h"
#include "common/paths.h"
#include "common/text.h"
#include "engine/stamp_source.h"
#include "platform/platform.h"
#include "report/report.h"

namespace {

const char *const OptionError = "オプションに誤りがあります";
const char *const TooLarge = "数が大きすぎます (年月日と時分秒は 65535 まで、秒未満は 7 桁まで)";

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
    auto take = [&](std::string &name) { name += text[i++]; };
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

// A token that shows the usage screen.
bool IsUsageSwitch(const std::string &token) {
    return token.size() >= 2 && IsSwitchPrefix(token[0]) && token[1] == '?';
}

// The state of one parse.
class TParser {
public:
    // `checkOnly`: the tokens are a default option string to be stored; the
    // parse tells whether a later run can read it, and leaves nothing.
    TParser(const TTokenList &list, bool checkOnly = false)
        : List(list), Tokens(list.Tokens), DefaultCount(list.DefaultCount),
          OperandsFrom(list.OperandsFrom), CheckOnly(checkOnly) {}

    TParsedOptions Run() {
        if (!List.DefaultExact && !CheckOnly)
            RefuseInexactDefaults();
        Result.Operands.reserve(256);
        ResetOption(Working);
        KindsGiven = false;
        for (Index = 0; Index < Tokens.size(); ++Index) {
            if (!ReadToken(Tokens[Index]))
                RefuseToken();
        }
        if (CheckOnly) {
            CheckDateAndTime();
            return TParsedOptions();
        }
        FinalChecks();
        // A preview that the command line asks for is never turned into a
        // run by what a response file says.
        if (CommandLinePreview)
            for (TOption &entry : Result.Operands)
                entry.Preview = true;
        Result.RefusedLines = List.RefusedLines;
        return std::move(Result);
    }

private:
    const TTokenList &List;
    const std::vector<std::string> &Tokens;
    size_t DefaultCount;
    size_t OperandsFrom;
    const bool CheckOnly;
    size_t Index = 0;
    TOption Working;
    bool KindsGiven = false;
    TTimeParts ShiftParts; // the relative time, kept for the whole parse
    TParsedOptions Result;
    // What is wrong with the faulty token.
    std::string Why;
    // Preview as the tokens outside response files (the default option
    // string and the command line's own arguments) leave it.
    bool CommandLinePreview = false;
    // The last -d or -t token, for the date check of stored defaults.
    size_t DateIndex = SIZE_MAX;

    bool Fail(std::string why) {
        Why = std::move(why);
        return false;
    }

    bool FromResponseFile(size_t index) const {
        return index < List.Files.size() && List.Files[index] != 0;
    }

    // The token at `index` as the user wrote it, and where: "-q", "-wb の -b",
    // "レスポンスファイル r.txt の -q".
    std::string Where(size_t index) const {
        std::string shown = Tokens[index];
        if (index < List.Words.size() && !List.Words[index].empty())
            shown = List.Words[index] + " の " + shown;
        if (FromResponseFile(index))
            shown =
                "レスポンスファイル " + List.ResponseFiles[List.Files[index] - 1] + " の " + shown;
        return shown;
    }

    // The stored defaults as a cause names them: the string, where it is
    // kept, and `what` is wrong with it.
    std::string DefaultsCause(const std::string &what) const {
        const std::string cause = "デフォルトオプション \"" + List.DefaultText + "\" (" +
                                  List.DefaultSource + ") " + what + "。";
        if (List.DefaultSource == "レジストリ")
            return cause + "-DefOpt だけを指定して実行すると削除されます";
        return cause + List.DefaultSource + " を直すか削除してください";
    }

    // What caused an error at the token `index`: where it stands and what is
    // wrong with it; for a token of the stored defaults, also that string,
    // where it is kept and how to be rid of it.
    std::string Cause(size_t index, const std::string &why) const {
        std::string cause = Where(index) + ": " + why;
        if (CheckOnly)
            return cause + " (デフォルトオプションは変更していません)";
        if (index >= DefaultCount || List.DefaultSource.empty())
            return cause;
        return DefaultsCause("の " + cause);
    }

    // Faulty defaults do not keep the usage screen from the user: it shows
    // the stored string.
    void UsageDespiteDefaults() const {
        for (size_t k = DefaultCount; k < Tokens.size() && k < OperandsFrom; ++k)
            if (IsUsageSwitch(Tokens[k]))
                throw EUsageAsked();
    }

    [[noreturn]] void RefuseToken() {
        if (Index < DefaultCount && !CheckOnly)
            UsageDespiteDefaults();
        throw EAppError(OptionError, Cause(Index, Why));
    }

    // Stored defaults that hold what the program cannot hold exactly (shown
    // as U+FFFD) would be read as other words: none of them is read.
    [[noreturn]] void RefuseInexactDefaults() const {
        UsageDespiteDefaults();
        throw EAppError(OptionError,
                        DefaultsCause("は正確に読めません (対のないサロゲートがあります)"));
    }

    // A Boolean switch that also notes Preview outside response files.
    bool PreviewSwitch(char second) {
        if (!BooleanSwitch(Working.Preview, second))
            return false;
        if (!FromResponseFile(Index))
            BooleanSwitch(CommandLinePreview, second);
        return true;
    }

    // False when the token is faulty, with Why set.
    bool ReadToken(const std::string &token) {
        if (Index >= OperandsFrom || token.empty() || !IsSwitchPrefix(token[0]))
            return AddOperand(token);
        if (token.size() == 1)
            return Fail("スイッチの文字がありません");
        const std::string body = token.substr(1);
        const char letter = LowerAscii(body[0]);
        const char second = body.size() > 1 ? LowerAscii(body[1]) : '\0';
        switch (letter) {
        case 's':
            return SourceSwitch(body, second);
        case 'd':
            DateIndex = Index;
            DateSwitch(body);
            return true;
        case 't':
            DateIndex = Index;
            TimeSwitch(body);
            return true;
        case 'f':
            return FolderSwitch(second);
        case 'r':
            return BooleanSwitch(Working.Recurse, second) || SecondFault('r');
        case 'v':
            return PreviewSwitch(second) || SecondFault('v');
        case 'g':
            return BooleanSwitch(Working.IgnoreNotFound, second) || SecondFault('g');
        case 'e':
            return BooleanSwitch(Working.MakeRestoreFile, second) || SecondFault('e');
        case 'x':
            return BooleanSwitch(Working.Expert, second) || SecondFault('x');
        case 'w':
            return KindSwitch(skModification, second) || SecondFault('w');
        case 'c':
            return KindSwitch(skCreation, second) || SecondFault('c');
        case 'a':
            return KindSwitch(skAccess, second) || SecondFault('a');
        case 'i':
            if (second != '\0')
                return Fail("-i の後には何も続けられません");
            ResetOption(Working);
            KindsGiven = false;
            if (!FromResponseFile(Index))
                CommandLinePreview = false;
            return true;
        case '?':
            if (CheckOnly)
                return Fail("使い方の表示はデフォルトオプションにできません");
            throw EUsageAsked();
        case 'z':
            return SettingSwitch(body, second);
        default:
            // What other programs take for help, and every --word natively.
            if ((PosixCommandLine && letter == '-') || letter == 'h')
                return Fail(PosixCommandLine
                                ? "不明なスイッチです (使い方は kelvard --help で表示されます)"
                                : "不明なスイッチです (使い方は Kelvard /? で表示されます)");
            return Fail("不明なスイッチです");
        }
    }

    bool SecondFault(char letter) {
        return Fail(std::string("-") + letter + " の後に続けられるのは + か - だけです");
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
            return Fail("-s の後には n、w、c、a、s のどれかを続けます");
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
            throw EAppError(DateTimeError, Cause(Index, TooLarge));
        TTimeParts &parts = Working.DateTime;
        if (Working.DateMode == dmNone) {
            parts.wHour = parts.wMinute = parts.wSecond = 0;
            parts.Fraction = 0;
        }
        Working.DateWord = Tokens[Index];
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
            throw EAppError(DateTimeError, Cause(Index, TooLarge));
        std::string argument = Argument(body);
        if (!argument.empty() && (argument[0] == '+' || argument[0] == '-')) {
            // A relative time that cannot be read is refused here: nothing
            // later would notice it.
            TTimeParts parts = ShiftParts;
            bool wellFormed = false;
            ReadDateTimeArg(body, dtTime, parts, &wellFormed);
            if (!wellFormed)
                throw EAppError(DateTimeError, Cause(Index, "相対時間として読めません"));
            const uint64_t ticks = TimeOfDayToTicks(parts);
            ShiftParts = parts;
            Working.Shift = argument[0] == '-' ? -int64_t(ticks) : int64_t(ticks);
            return;
        }
        Working.TimeWord = Tokens[Index];
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
            return Fail("-f の後に続けられるのは 0、1、2、3、+、- のどれかです");
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

    // The -z switches, all run-wide but -zo; an empty argument gives the
    // switch's own value.
    bool SettingSwitch(const std::string &body, char second) {
        const std::string argument = SecondArgument(body);
        TRunSettings &settings = Result.Settings;
        int32_t value = 0;
        auto read = [&](int32_t empty, int32_t low, int32_t high) {
            value = empty;
            if (argument.empty())
                return true;
            if (!ReadIntegerArg(argument, value))
                return Fail("\"" + argument + "\" は数として読めません");
            if (value < low || value > high)
                return Fail(std::string("-z") + second + " の値は " + std::to_string(low) +
                            " から " + std::to_string(high) + " までです");
            return true;
        };
        // The switches that turn a setting on (any value but 0) or off.
        struct TOnOff {
            char Letter;
            int32_t High;
            bool TRunSettings::*Setting;
        };
        static constexpr TOnOff OnOff[] = {{'d', 2, &TRunSettings::SplitFileNames},
                                           {'r', 2, &TRunSettings::FatRounding},
                                           {'u', 1, &TRunSettings::Utf8Streams},
                                           {'j', 1, &TRunSettings::Journal}};
        for (const TOnOff &flag : OnOff)
            if (second == flag.Letter) {
                if (!read(1, 0, flag.High))
                    return false;
                settings.*flag.Setting = value != 0;
                return true;
            }
        switch (second) {
        case 's':
            if (!read(6, 0, 7))
                return false;
            settings.SubSecondDigits = value;
            return true;
        case 'p':
            if (!read(0, 1, int32_t(MaxThreads)))
                return false;
            settings.Threads = unsigned(value);
            return true;
        case 'o':
            return OffsetSwitch(argument);
        default:
            return Fail("-z の後には s、d、r、p、u、j、o のどれかを続けます");
        }
    }

    // -zo+hh:mm or -zo-hh:mm: the date and time are read at that offset from
    // UTC; -zo alone: at local time again.
    bool OffsetSwitch(const std::string &argument) {
        if (argument.empty()) {
            Working.Offset = TUtcOffset{};
            return true;
        }
        TUtcOffset offset;
        if (!ReadOffsetText(argument, offset))
            return Fail("-zo の後には +09:00 のように符号、2 桁の時、コロン、2 桁の分を続けます");
        // No place on earth keeps another: a typing error would move stamps by days.
        if (!OffsetInRange(offset))
            return Fail("UTC オフセットは -12:00 から +14:00 までです");
        Working.Offset = offset;
        return true;
    }

    // A file operand, split at ";" into names that share the first one's folder.
    bool AddOperand(const std::string &token) {
        if (Index < DefaultCount)
            return Fail("スイッチではありません (デフォルトオプションにはスイッチしか書けません)");
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
                throw EAppError("タイムスタンプ変更の指定がありません",
                                entry.FileName + ": -w、-c、-a で選んだ種類がすべて外されています");
            CompleteYear(entry.DateTime);
        }
    }

    static void CompleteYear(TTimeParts &parts) {
        uint16_t &year = parts.wYear;
        if (year < 80)
            year = uint16_t(year + 2000);
        else if (year < 100)
            year = uint16_t(year + 1900);
    }

    // Stored defaults whose date or time no item could take would fail
    // every later run: they are tried on a day that any day of a month fits
    // (January of a leap year, midday), without the shift, which depends on
    // the item.
    void CheckDateAndTime() const {
        if (Working.DateMode == dmNone || Working.DateMode == dmUnknown || DateIndex == SIZE_MAX)
            return;
        TOption trial = Working;
        CompleteYear(trial.DateTime);
        trial.Source = ssNow;
        trial.Shift = 0;
        TRunTimes times;
        TTimeParts midday{};
        midday.wYear = 2000;
        midday.wMonth = 1;
        midday.wDay = 1;
        midday.wHour = 12;
        LocalPartsToFileTime(midday, times.Now);
        TTimeValue value = 0;
        try {
            ComputeNewStamp("-DefOpt", skModification, trial, times, value);
        } catch (const EAppError &error) {
            throw EAppError(error.message(),
                            error.cause() + " (デフォルトオプションは変更していません)");
        }
    }
};

} // namespace

bool IsUndoForm(const std::string &argument) {
    if (argument.empty())
        return false;
    const std::string lower = Platform().LowerCase(argument);
    return (IsSwitchPrefix(argument[0]) && lower.substr(1) == "undo") ||
           (PosixCommandLine && lower == "--undo");
}

TUndoRequest ReadUndoArguments(const std::vector<std::string> &arguments) {
    TUndoRequest request;
    request.Asked = true;
    bool numbered = false;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string &given = arguments[i];
        const std::string argument = Platform().LowerCase(given);
        const bool preview =
            argument.size() == 2 && IsSwitchPrefix(argument[0]) && argument[1] == 'v';
        const bool utf8 = argument == "-zu" || argument == "-zu1";
        const bool number =
            !argument.empty() && argument.find_first_not_of("0123456789") == std::string::npos;
        if ((preview && request.Preview) || (utf8 && request.Utf8) ||
            (argument == "list" && request.List) || (number && numbered))
            throw EAppError(OptionError, given + ": -Undo の後に二度書かれています");
        if (preview) {
            request.Preview = true;
        } else if (utf8) {
            request.Utf8 = true;
        } else if (argument == "list" || number) {
            if (request.List || numbered)
                throw EAppError(OptionError, given + ": list と実行の番号は一緒には書けません");
            if (argument == "list") {
                request.List = true;
                continue;
            }
            const size_t first = argument.find_first_not_of('0');
            if (first == std::string::npos)
                throw EAppError(OptionError, given + ": 実行の番号は 1 からです");
            if (argument.size() - first > 12)
                throw EAppError(OptionError, given + ": 実行の番号が大きすぎます");
            request.Number = std::stoull(argument.substr(first));
            numbered = true;
        } else {
            throw EAppError(OptionError,
                            given + ": -Undo の後に書けるのは -v、-zu、list と実行の番号だけです");
        }
    }
    return request;
}

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

TParsedOptions ParseTokens(const TTokenList &list) {
    return TParser(list).Run();
}

TParsedOptions ParseTokens(const std::vector<std::string> &tokens, size_t defaultCount,
                           size_t operandsFrom) {
    TTokenList list;
    list.Tokens = tokens;
    list.DefaultCount = defaultCount;
    list.OperandsFrom = operandsFrom;
    return ParseTokens(list);
}

void CheckDefaultOptions(const std::vector<std::string> &arguments) {
    TTokenList list;
    AppendWords(list, SplitDelimitedText(JoinDefaultOptions(arguments), ','));
    list.DefaultCount = list.Tokens.size();
    TParser(list, true).Run();
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
        if (arguments.empty() || IsDefOptForm(arguments[0]) || IsUndoForm(arguments[0]))
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

// Whether the streams are to be UTF-8 after `tokens` (the last -zu decides;
// one that cannot be read changes nothing: its error then comes out in the
// form the others ask for).
bool Utf8After(const std::vector<std::string> &tokens, size_t operandsFrom, bool utf8) {
    for (size_t i = 0; i < tokens.size() && i < operandsFrom; ++i) {
        const std::string &token = tokens[i];
        if (token.size() < 3 || !IsSwitchPrefix(token[0]) || LowerAscii(token[1]) != 'z' ||
            LowerAscii(token[2]) != 'u')
            continue;
        size_t position = token.size() > 3 && IsSeparator(token[3]) ? 4 : 3;
        int32_t value = 1;
        if (position < token.size() &&
            (!ReadIntegerArg(token.substr(position), value) || value < 0 || value > 1))
            continue;
        utf8 = value != 0;
    }
    return utf8;
}

// The stored default option string's tokens; none when it cannot be read
// (the run's own reading of it then tells why).
std::vector<std::string> StoredDefaultTokens(const TProgramNames &names) {
    try {
        TTokenList list;
        AppendWords(list, SplitDelimitedText(ReadDefaultOptionString(names), ','));
        return list.Tokens;
    } catch (const EAppError &) {
    } catch (const ERegistryError &) {
    }
    return {};
}

// Warnings for what response files held that was not read, where an error
// or the usage screen ends the run before its report begins.
void ReportRefusedBeforeEnd(const std::vector<TRefusedLine> &refused, TOutput &output) {
    TReport report{output, {}};
    ReportRefusedLines(report, refused);
}

} // namespace

bool VersionAsked() {
    return PosixRequest(CommandLineArguments(nullptr)) == "--version";
}

TParsedOptions ParseOptions(const TProgramNames &names, TOutput &output) {
    std::vector<bool> standIn;
    const std::vector<std::string> arguments = CommandLineArguments(&standIn);
    // Every line of the run, errors and the usage screen included, comes out
    // in the form -zu asks for: decided before anything is written.
    const std::vector<std::string> stored = StoredDefaultTokens(names);
    output.SetUtf8(Utf8After(stored, SIZE_MAX, false));
    if (arguments.empty())
        ShowUsage(names.RegKey, output);
    if (IsDefOptForm(arguments[0]))
        output.SetUtf8(Utf8After(
            SplitCombinedSwitches(std::vector<std::string>(arguments.begin() + 1, arguments.end())),
            SIZE_MAX, Utf8After(stored, SIZE_MAX, false)));
    RefuseStandIns(arguments, standIn);
    if (IsDefOptForm(arguments[0])) {
        // Only a string that a later run can read is stored.
        CheckDefaultOptions(std::vector<std::string>(arguments.begin() + 1, arguments.end()));
        MaintainDefaultOption(arguments, names.RegKey, output);
        return TParsedOptions();
    }
    if (IsUndoForm(arguments[0])) {
        TParsedOptions parsed;
        parsed.Undo = ReadUndoArguments(arguments);
        parsed.Settings.Utf8Streams = parsed.Undo.Utf8;
        return parsed;
    }
    const std::string request = PosixRequest(arguments);
    if (request == "--help")
        ShowUsage(names.RegKey, output, 0);
    if (request == "--version")
        ShowVersion(output);
    TTokenList list;
    try {
        GatherTokens(arguments, names, list);
    } catch (const EAppError &) {
        output.SetUtf8(Utf8After(list.Tokens, list.OperandsFrom, false));
        ReportRefusedBeforeEnd(list.RefusedLines, output);
        throw;
    }
    output.SetUtf8(Utf8After(list.Tokens, list.OperandsFrom, false));
    try {
        return ParseTokens(list);
    } catch (const EUsageAsked &) {
        ReportRefusedBeforeEnd(list.RefusedLines, output);
        ShowUsage(names.RegKey, output);
    } catch (const EAppError &) {
        ReportRefusedBeforeEnd(list.RefusedLines, output);
        throw;
    }
}
