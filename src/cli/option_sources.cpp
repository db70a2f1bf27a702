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

std::vector<std::string> SplitDelimitedText(const std::string &source, char delimiter, char quote,
                                            size_t *quotedBreak) {
    if (quotedBreak)
        *quotedBreak = std::string::npos;
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
                if (quotedBreak && *quotedBreak == std::string::npos &&
                    (text[i] == '\r' || text[i] == '\n'))
                    *quotedBreak = i;
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

bool IsRestoreLine(std::string_view line) {
    if (line.substr(0, 4) != "-ixg")
        return false;
    if (line.size() == 4)
        return true;
    if (line[4] != 'w' && line[4] != 'c' && line[4] != 'a')
        return false;
    return line.size() == 5 || IsBlank(line[5]);
}

namespace {

// The number of the line that holds the offset `end` of `text`, counting CR,
// LF and CR LF as one line break each.
size_t LineNumberAt(const std::string &text, size_t end) {
    size_t line = 1;
    for (size_t i = 0; i < end && i < text.size(); ++i)
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= end || text[i + 1] != '\n')))
            ++line;
    return line;
}

// Where the last line of `text` begins.
size_t LastLineStart(const std::string &text) {
    const size_t lastBreak = text.find_last_of("\r\n");
    return lastBreak == std::string::npos ? 0 : lastBreak + 1;
}

// Takes off a last line that lacks its line end when it is a restore line,
// noting it in `refused`: the program writes every restore line whole, so
// such a line was cut, and its path may name another item. Any other last
// line is read as it stands (what editors save, or `printf` writes).
void CutUnendedRestoreLine(const std::string &name, std::string &data,
                           std::vector<TRefusedLine> *refused) {
    const size_t start = LastLineStart(data);
    if (!IsRestoreLine(std::string_view(data).substr(start)))
        return;
    if (refused)
        refused->push_back(TRefusedLine{name, LineNumberAt(data, start), data.substr(start)});
    data.resize(start);
}

} // namespace

namespace {

const char *const ReplacementCharacter = "\xEF\xBF\xBD"; // U+FFFD

// UTF-16 text up to its first NUL unit as the program's text. A text that
// ends inside a character (half a unit, or a first surrogate without its
// second) was cut: it ends with U+FFFD, so that its last line, which lacks
// its line end, is not read. False for a surrogate without its pair elsewhere.
bool DecodeUtf16(std::string_view units, bool bigEndian, std::string &text, bool &moreAfterNul) {
    for (size_t k = 0; k + 1 < units.size(); k += 2)
        if (units[k] == '\0' && units[k + 1] == '\0') {
            // After the NUL: NULs and line breaks are a zero-filled tail.
            for (size_t j = k + 2; j < units.size(); j += 2) {
                const char low = units[j + (bigEndian ? 1 : 0)];
                const char high = j + 1 < units.size() ? units[j + (bigEndian ? 0 : 1)] : '\0';
                if (high != '\0' || (low != '\0' && low != '\r' && low != '\n'))
                    moreAfterNul = true;
            }
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

// Bytes up to their first NUL; `moreAfterNul` when anything but NULs and
// line breaks follows it.
std::string_view UpToNul(std::string_view bytes, bool &moreAfterNul) {
    const size_t nul = bytes.find('\0');
    if (nul == std::string_view::npos)
        return bytes;
    moreAfterNul = bytes.find_first_not_of(std::string_view("\0\r\n", 3), nul) != bytes.npos;
    return bytes.substr(0, nul);
}

// A response file's text as the program's text, the byte order mark dropped;
// false with `why` when it cannot be read as the text it says it is.
bool DecodeResponseFile(const std::string &bytes, std::string &text, std::string &why,
                        bool &moreAfterNul) {
    const auto begins = [&](std::string_view mark) { return bytes.rfind(mark, 0) == 0; };
    if (begins("\xEF\xBB\xBF")) {
        text = std::string(UpToNul(std::string_view(bytes).substr(3), moreAfterNul));
        return true;
    }
    if (begins("\xFF\xFE") || begins("\xFE\xFF")) {
        if (DecodeUtf16(std::string_view(bytes).substr(2), bytes[0] == '\xFE', text, moreAfterNul))
            return true;
        why = "UTF-16 として読めない文字 (対のないサロゲート) があります";
        return false;
    }
    if (Platform().FromCodePage(std::string(UpToNul(bytes, moreAfterNul)), text))
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
    bool moreAfterNul = false;
    if (!DecodeResponseFile(bytes, data, why, moreAfterNul))
        throw EAppError(opening, name + ": " + why);
    // Text after a NUL is not read: a file that a crash filled with zeros
    // looks like that, and so does one that holds a NUL by mistake.
    TRefusedLine afterNul;
    if (moreAfterNul) {
        const size_t start = LastLineStart(data);
        afterNul = TRefusedLine{name, LineNumberAt(data, start), data.substr(start), true};
    }
    CutUnendedRestoreLine(name, data, refused);
    if (moreAfterNul && refused)
        refused->push_back(afterNul);

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
    size_t quotedBreak = std::string::npos;
    std::vector<std::string> tokens = SplitDelimitedText(text, ',', '"', &quotedBreak);
    // A quote left open at a line end would take the following lines into
    // one name: an error, unless only blanks follow (the file's end).
    if (quotedBreak != std::string::npos &&
        !std::all_of(text.begin() + long(quotedBreak), text.end(), IsBlank)) {
        const size_t line = LineNumberAt(text, quotedBreak);
        const size_t start = LastLineStart(text.substr(0, quotedBreak));
        const std::string shown = text.substr(start, quotedBreak - start);
        throw EAppError("レスポンスファイル (" + name + ") の " + std::to_string(line) +
                            " 行目で引用符 (\") が閉じられていません",
                        name + " の " + std::to_string(line) + " 行目: " + shown);
    }
    return tokens;
}

void ReportRefusedLines(TReport &report, const std::vector<TRefusedLine> &lines) {
    for (const TRefusedLine &line : lines)
        WarnItemKept(report,
                     line.AfterNul ? "Warn.: NUL 文字の後ろは読み込みませんでした"
                                   : "Warn.: 改行で終わっていない最後の行は読み込みませんでした",
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
    GatherTokens(arguments, names, list);
    return list;
}

void GatherTokens(const std::vector<std::string> &arguments, const TProgramNames &names,
                  TTokenList &list) {
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
}
