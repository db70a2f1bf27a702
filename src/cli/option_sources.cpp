#include "cli/option_sources.h"

#include "cli/switches.h"
#include "common/errors.h"
#include "common/option.h"
#include "common/paths.h"
#include "common/text.h"
#include "platform/platform.h"
#include "report/output.h"
#include "report/report.h"

#include <algorithm>

std::vector<std::string> SplitDelimitedText(const std::string &source, char delimiter, char quote) {
    // The text ends at a NUL, as the platform's strings do.
    const std::string text = source.substr(0, source.find('\0'));
    const size_t n = text.size();
    std::vector<std::string> items;
    size_t i = 0;
    auto skipBlanks = [&] {
        while (i < n && IsBlank(text[i]))
            ++i;
    };

    skipBlanks();
    while (i < n) {
        std::string item;
        if (text[i] == quote) {
            ++i;
            while (i < n) {
                if (text[i] == quote) {
                    if (i + 1 < n && text[i + 1] == quote) {
                        item += quote;
                        i += 2;
                        continue;
                    }
                    ++i; // the closing quote
                    break;
                }
                item += text[i++];
            }
        } else {
            while (i < n && !IsBlank(text[i]) && text[i] != delimiter)
                item += text[i++];
        }
        items.push_back(std::move(item));
        skipBlanks();
        if (i < n && text[i] == delimiter) {
            if (i + 1 == n)
                items.emplace_back();
            ++i;
            skipBlanks();
        }
    }
    return items;
}

std::vector<std::string> SplitCommandLine(const std::string &commandLine,
                                          const std::vector<bool> *standIn,
                                          std::vector<bool> *argumentStandIn) {
    const std::string text = commandLine.substr(0, commandLine.find('\0'));
    const size_t n = text.size();
    std::vector<std::string> arguments;
    if (argumentStandIn)
        argumentStandIn->clear();
    bool holdsStandIn = false;
    // Appends the character at `i` to the argument.
    auto take = [&](std::string &argument, size_t &i) {
        if (standIn && i < standIn->size() && (*standIn)[i])
            holdsStandIn = true;
        argument += text[i++];
    };
    size_t i = 0;
    for (;;) {
        // Blanks and empty quoted pairs before an argument.
        for (;;) {
            while (i < n && IsBlank(text[i]))
                ++i;
            if (i + 1 < n && text[i] == '"' && text[i + 1] == '"')
                i += 2;
            else
                break;
        }
        std::string argument;
        holdsStandIn = false;
        while (i < n && !IsBlank(text[i])) {
            if (text[i] == '"') {
                ++i;
                while (i < n && text[i] != '"')
                    take(argument, i);
                if (i < n)
                    ++i;
            } else {
                take(argument, i);
            }
        }
        // Only the end of the line gives an empty argument: it ends the list.
        if (argument.empty())
            break;
        arguments.push_back(std::move(argument));
        if (argumentStandIn)
            argumentStandIn->push_back(holdsStandIn);
    }
    return arguments;
}

std::vector<std::string> CommandLineArguments(std::vector<bool> *standIn) {
    std::string line;
    std::vector<bool> lineStandIn;
    std::vector<std::string> arguments;
    std::vector<bool> argumentStandIn;
    if (Platform().CommandLineText(line, lineStandIn)) {
        arguments = SplitCommandLine(line, &lineStandIn, &argumentStandIn);
        if (!arguments.empty()) {
            arguments.erase(arguments.begin());
            argumentStandIn.erase(argumentStandIn.begin());
        }
    } else {
        arguments = Platform().Arguments();
        argumentStandIn.assign(arguments.size(), false);
    }
    if (standIn)
        *standIn = std::move(argumentStandIn);
    return arguments;
}

TProgramNames ProgramNamesOf(const std::string &modulePath) {
    TProgramNames names;
    names.ProgName = FileNamePart(modulePath);
    if (auto dot = names.ProgName.rfind('.'); dot != std::string::npos)
        names.ProgName.erase(dot);
    names.RegKey = "\\software\\Varnhold\\" + names.ProgName;
    return names;
}

bool ReadStoredDefaultOption(const std::string &regKey, std::string &value, bool *exact) {
    const TPlatform &platform = Platform();
    value.clear();
    if (exact)
        *exact = true;
    TRegKey key(platform.RegOpenRead(regKey));
    if (!key.IsOpen())
        return false;
    const TRegValueState state = platform.RegQueryString(key.Get(), DefaultOptionValue, value);
    if (state == rvWrongType)
        throw ERegistryError(std::string("'") + DefaultOptionValue + "' のデータ型が不正です");
    if (exact)
        *exact = state != rvInexact;
    return true;
}

std::string ReadDefaultOptionString(const TProgramNames &names, std::string &source, bool *exact) {
    std::string value;
    source.clear();
    bool exactValue = true;
    if (ReadStoredDefaultOption(names.RegKey, value, &exactValue))
        source = "レジストリ";
    else if (Platform().GetEnv(names.ProgName, value, exactValue))
        source = "環境変数 " + names.ProgName;
    else
        value.clear();
    if (exact)
        *exact = exactValue;
    return value;
}

std::string ReadDefaultOptionString(const TProgramNames &names) {
    std::string source;
    return ReadDefaultOptionString(names, source);
}

namespace {

// Takes off a last line that lacks its line end (a line of blanks only
// gives no tokens and is no loss), noting it in `refused`.
void CutUnendedLine(const std::string &name, std::string &data,
                    std::vector<TRefusedLine> *refused) {
    const size_t lastBreak = data.find_last_of("\r\n");
    const size_t start = lastBreak == std::string::npos ? 0 : lastBreak + 1;
    bool blank = true;
    for (size_t i = start; i < data.size() && blank; ++i)
        blank = IsBlank(data[i]);
    if (blank)
        return;
    size_t line = 1;
    for (size_t i = 0; i < start; ++i)
        if (data[i] == '\n' || (data[i] == '\r' && (i + 1 >= start || data[i + 1] != '\n')))
            ++line;
    if (refused)
        refused->push_back(TRefusedLine{name, line, data.substr(start)});
    data.resize(start);
}

} // namespace

namespace {

const char *const ReplacementCharacter = "\xEF\xBF\xBD"; // U+FFFD

// UTF-16 text up to its first NUL unit as the program's text. A text that
// ends inside a character (half a unit, or a first surrogate without its
// second) was cut: it ends with U+FFFD, so that its last line, which lacks
// its line end, is not read. False for a surrogate without its pair elsewhere.
bool DecodeUtf16(std::string_view units, bool bigEndian, std::string &text) {
    for (size_t k = 0; k + 1 < units.size(); k += 2)
        if (units[k] == '\0' && units[k + 1] == '\0') {
            units = units.substr(0, k);
            break;
        }
    bool cut = units.size() % 2 != 0;
    units = units.substr(0, units.size() - units.size() % 2);
    if (units.size() >= 2) {
        const auto high = static_cast<unsigned char>(units[units.size() - (bigEndian ? 2 : 1)]);
        if (high >= 0xD8 && high <= 0xDB) {
            cut = true;
            units.remove_suffix(2);
        }
    }
    if (!Utf16ToUtf8(units, bigEndian, text))
        return false;
    if (cut)
        text += ReplacementCharacter;
    return true;
}

// A response file's text as the program's text, the byte order mark dropped;
// false with `why` when it cannot be read as the text it says it is.
bool DecodeResponseFile(const std::string &bytes, std::string &text, std::string &why) {
    const auto begins = [&](std::string_view mark) { return bytes.rfind(mark, 0) == 0; };
    if (begins("\xEF\xBB\xBF")) {
        text = bytes.substr(3);
        text.resize(std::min(text.size(), text.find('\0')));
        return true;
    }
    if (begins("\xFF\xFE") || begins("\xFE\xFF")) {
        if (DecodeUtf16(std::string_view(bytes).substr(2), bytes[0] == '\xFE', text))
            return true;
        why = "UTF-16 として読めない文字 (対のないサロゲート) があります";
        return false;
    }
    if (Platform().FromCodePage(bytes.substr(0, bytes.find('\0')), text))
        return true;
    why = SystemReason(Platform().LastErrorCode());
    return false;
}

} // namespace

std::vector<std::string> ReadResponseFile(const std::string &name,
                                          std::vector<TRefusedLine> *refused) {
    const std::string opening = "レスポンスファイル (" + name + ") が開けません";
    std::string bytes, data, why;
    if (!Platform().ReadWholeFile(name, bytes))
        throw EAppError(opening, name + ": " + SystemReason(Platform().LastErrorCode()));
    if (!DecodeResponseFile(bytes, data, why))
        throw EAppError(opening, name + ": " + why);
    CutUnendedLine(name, data, refused);

    // Every line break (CR, LF or CR LF) becomes the platform's own.
    std::string text;
    text.reserve(data.size() + data.size() / 16);
    for (size_t i = 0; i < data.size(); ++i) {
        if (data[i] == '\r') {
            text += LineEnd;
            if (i + 1 < data.size() && data[i + 1] == '\n')
                ++i;
        } else if (data[i] == '\n') {
            text += LineEnd;
        } else {
            text += data[i];
        }
    }
    return SplitDelimitedText(text, ',');
}

void ReportRefusedLines(TReport &report, const std::vector<TRefusedLine> &lines) {
    for (const TRefusedLine &line : lines)
        WarnItemKept(report, "Warn.: 改行で終わっていない最後の行は読み込みませんでした",
                     line.File + " の " + std::to_string(line.Line) + " 行目", line.Text);
}

void AppendWords(TTokenList &list, const std::vector<std::string> &words, uint32_t file) {
    list.Words.resize(list.Tokens.size());
    list.Files.resize(list.Tokens.size());
    for (const std::string &word : words) {
        std::vector<std::string> tokens = SplitCombinedSwitches({word});
        for (std::string &token : tokens) {
            list.Words.push_back(tokens.size() > 1 ? word : std::string());
            list.Files.push_back(file);
            list.Tokens.push_back(std::move(token));
        }
    }
}

TTokenList GatherTokens(const std::vector<std::string> &arguments, const TProgramNames &names) {
    TTokenList list;
    list.DefaultText = ReadDefaultOptionString(names, list.DefaultSource, &list.DefaultExact);
    AppendWords(list, SplitDelimitedText(list.DefaultText, ','));
    list.DefaultCount = list.Tokens.size();
    for (const std::string &argument : arguments) {
        if (PosixCommandLine && list.OperandsFrom == SIZE_MAX && argument == "--") {
            list.OperandsFrom = list.Tokens.size();
            continue;
        }
        if (list.OperandsFrom != SIZE_MAX) {
            list.Tokens.push_back(argument);
            continue;
        }
        // A command-line argument is one token as it stands, blanks and
        // commas included; "@name" stands for the tokens of a response file.
        if (!argument.empty() && argument[0] == '@') {
            const std::string name = argument.substr(1);
            std::vector<std::string> words = ReadResponseFile(name, &list.RefusedLines);
            list.ResponseFiles.push_back(name);
            AppendWords(list, words, uint32_t(list.ResponseFiles.size()));
        } else {
            AppendWords(list, {argument});
        }
    }
    return list;
}
