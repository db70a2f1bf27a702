#pragma once
// Where options come from: the default option string, the command line and
// response files, each cut into tokens.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The delimited-text rule: items separated by blanks (codes 1 to 32) and/or
// the delimiter, with `quote` quoting (a doubled quote inside stands for one);
// double-byte characters taken whole.
std::vector<std::string> SplitDelimitedText(const std::string &text, char delimiter,
                                            char quote = '"');

// The Windows command-line rule; the program's own path (argument 0) included.
// With `standIn` (one flag per byte of the line, as CommandLineText gives
// them), `argumentStandIn` gets one flag per argument: it holds a flagged byte.
std::vector<std::string> SplitCommandLine(const std::string &commandLine,
                                          const std::vector<bool> *standIn = nullptr,
                                          std::vector<bool> *argumentStandIn = nullptr);

// The arguments after the program's own path: the command line cut by the
// rule above where the platform has one, else as the platform delivers them.
// `standIn`, when given, gets one flag per argument: the argument shows a
// character that the system code page cannot hold by a stand-in.
std::vector<std::string> CommandLineArguments(std::vector<bool> *standIn = nullptr);

// The names that a run takes from its program file: a copy of the program
// under another name keeps its default options under that name.
struct TProgramNames {
    std::string ProgName; // the file's name without folder and last extension
    std::string RegKey;   // "\software\Varnhold\" + ProgName, under the current user
};
TProgramNames ProgramNamesOf(const std::string &modulePath);

// The registry value under RegKey that keeps the default option string.
inline constexpr const char *DefaultOptionValue = "DefaultOption";

// The stored default option string (empty without the value); false when
// `regKey` cannot be opened. Raises ERegistryError for a value that is not a string.
bool ReadStoredDefaultOption(const std::string &regKey, std::string &value);

// The default option string from the registry value DefaultOptionValue of
// RegKey, or, only when that key cannot be opened, the environment variable
// named ProgName. Raises ERegistryError for a value that is not a string.
std::string ReadDefaultOptionString(const TProgramNames &names);

// A response file's tokens; raises EAppError when it cannot be read.
std::vector<std::string> ReadResponseFile(const std::string &name);

struct TTokenList {
    std::vector<std::string> Tokens;
    size_t DefaultCount = 0;        // tokens of the default option string, standing first
    size_t OperandsFrom = SIZE_MAX; // tokens after "--": file operands as they stand
};
// All tokens of all sources in order, each passed through SplitCombinedSwitches;
// in the native build a "--" argument ends this: every later argument is a
// file operand, "@name" included.
TTokenList GatherTokens(const std::vector<std::string> &arguments, const TProgramNames &names);
