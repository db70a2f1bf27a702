#include "cli/option_sources.h"

#include "cli/switches.h"
#include "common/errors.h"
#include "common/option.h"
#include "common/paths.h"
#include "common/text.h"
#include "platform/platform.h"

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
                size_t len = CharLength(text, i);
                item.append(text, i, len);
                i += len;
            }
        } else {
            while (i < n && !IsBlank(text[i]) && text[i] != delimiter) {
                size_t len = CharLength(text, i);
                item.append(text, i, len);
                i += len;
            }
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
        const size_t len = CharLength(text, i);
        if (standIn && i < standIn->size() && (*standIn)[i])
            holdsStandIn = true;
        argument.append(text, i, len);
        i += len;
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

bool ReadStoredDefaultOption(const std::string &regKey, std::string &value) {
    const TPlatform &platform = Platform();
    value.clear();
    TRegKey key(platform.RegOpenRead(regKey));
    if (!key.IsOpen())
        return false;
    if (platform.RegQueryString(key.Get(), DefaultOptionValue, value) == rvWrongType)
        throw ERegistryError(std::string("'") + DefaultOptionValue + "' のデータ型が不正です");
    return true;
}

std::string ReadDefaultOptionString(const TProgramNames &names) {
    std::string value;
    if (!ReadStoredDefaultOption(names.RegKey, value) && !Platform().GetEnv(names.ProgName, value))
        value.clear();
    return value;
}

std::vector<std::string> ReadResponseFile(const std::string &name) {
    std::string data;
    if (!Platform().ReadWholeFile(name, data))
        throw EAppError("レスポンスファイル (" + name + ") が開けません");
    data.resize(std::min(data.size(), data.find('\0')));

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

TTokenList GatherTokens(const std::vector<std::string> &arguments, const TProgramNames &names) {
    TTokenList list;
    list.Tokens = SplitCombinedSwitches(SplitDelimitedText(ReadDefaultOptionString(names), ','));
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
        std::vector<std::string> tokens = !argument.empty() && argument[0] == '@'
                                              ? ReadResponseFile(argument.substr(1))
                                              : std::vector<std::string>{argument};
        for (std::string &token : SplitCombinedSwitches(tokens))
            list.Tokens.push_back(std::move(token));
    }
    return list;
}
