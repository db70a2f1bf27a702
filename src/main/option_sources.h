#pragma once
// Where options come from: the default option string, the command line and
// response files, each cut into tokens.

#include <string>
#include <vector>

// The delimited-text rule: items separated by blanks (codes 1 to 32) and/or
// the delimiter, with `quote` quoting; double-byte characters taken whole.
std::vector<std::string> SplitDelimitedText(const std::string &text, char delimiter,
                                            char quote = '"');

// The Windows command-line rule; the program's own path (argument 0) included.
std::vector<std::string> SplitCommandLine(const std::string &commandLine);

// The arguments after the program's own path, as the platform delivers them.
std::vector<std::string> CommandLineArguments();

// The default option string from the registry value "DefaultOption" of
// RegKey, or else the environment variable named ProgName.
std::string ReadDefaultOptionString();

// A response file's tokens; raises EAppError when it cannot be read.
std::vector<std::string> ReadResponseFile(const std::string &name);

struct TTokenList {
    std::vector<std::string> Tokens;
    size_t DefaultCount = 0;
};
// All tokens of all sources in order, each passed through SplitCombinedSwitches.
TTokenList GatherTokens(const std::vector<std::string> &arguments);
