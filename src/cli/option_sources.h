#pragma once
// Where options come from: the default option string, the command line and
// response files, each cut into tokens.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The delimited-text rule: items separated by blanks (codes 1 to 32) and/or
// the delimiter, with `quote` quoting (a doubled quote inside stands for one).
// `quotedBreak`, when given, gets the offset of the first CR or LF inside a
// quoted item (npos when there is none).
std::vector<std::string> SplitDelimitedText(const std::string &text, char delimiter,
                                            char quote = '"', size_t *quotedBreak = nullptr);

// The Windows command-line rule; the program's own path (argument 0) included.
// With `standIn` (one flag per byte of the line, as CommandLineText gives
// them), `argumentStandIn` gets one flag per argument: it holds a flagged byte.
std::vector<std::string> SplitCommandLine(const std::string &commandLine,
                                          const std::vector<bool> *standIn = nullptr,
                                          std::vector<bool> *argumentStandIn = nullptr);

// The arguments after the program's own path: the command line cut by the
// rule above where the platform has one, else as the platform delivers them.
// `standIn`, when given, gets one flag per argument: the argument shows a
// character that the program's text cannot hold by a stand-in.
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
// `regKey` cannot be opened. Raises ERegistryError for a value that is not a
// string. `exact`, when given, turns false for a string that the program
// cannot hold exactly (an unpaired surrogate): `value` shows it with U+FFFD.
bool ReadStoredDefaultOption(const std::string &regKey, std::string &value, bool *exact = nullptr);

// The default option string from the registry value DefaultOptionValue of
// RegKey, or, only when that key cannot be opened, the environment variable
// named ProgName. Raises ERegistryError for a value that is not a string.
std::string ReadDefaultOptionString(const TProgramNames &names);

// The default option string as ReadDefaultOptionString reads it, and where
// it comes from: "レジストリ" or "環境変数 " + ProgName (empty without one);
// `exact` as with ReadStoredDefaultOption.
std::string ReadDefaultOptionString(const TProgramNames &names, std::string &source,
                                    bool *exact = nullptr);

// What of a response file was not read: a restore line that lacks its line
// end, so that the file may have been cut inside it (a write that failed, a
// disk that was full); or (AfterNul) the text after the NUL that ended it.
struct TRefusedLine {
    std::string File;
    size_t Line = 0; // counted from 1
    std::string Text;
    bool AfterNul = false;
};

// A line that begins the way the program's restore lines begin: "-ixg" and a
// stamp letter (w, c or a), then a blank or the line's end.
bool IsRestoreLine(std::string_view line);

// A response file's tokens; raises EAppError when it cannot be read. A file
// that begins with a byte order mark is read in its encoding (UTF-8,
// UTF-16LE, UTF-16BE), up to its first NUL character; any other in the system
// code page, up to its first NUL byte; anything but NULs and line breaks after
// it goes to `refused`. A last line without its line end that is a restore
// line gives no tokens: it goes to `refused`; any other is read as it stands.
// A quote still open at a line end with more text after it raises EAppError
// naming the line.
std::vector<std::string> ReadResponseFile(const std::string &name,
                                          std::vector<TRefusedLine> *refused = nullptr);

struct TTokenList {
    std::vector<std::string> Tokens;
    size_t DefaultCount = 0;        // tokens of the default option string, standing first
    size_t OperandsFrom = SIZE_MAX; // tokens after "--": file operands as they stand
    // Where each token came from, for messages and for the preview rule
    // (either may be shorter than Tokens: the rest came from the command
    // line as they stand): the word it was split from when that was a
    // combined switch ("-wb" for "-b"), else empty; and the response file
    // that held it (k: ResponseFiles[k - 1]), else 0.
    std::vector<std::string> Words;
    std::vector<uint32_t> Files;
    std::vector<std::string> ResponseFiles;
    // The default option string and where it comes from (see above); a string
    // that cannot be read exactly is refused before any token is read.
    std::string DefaultText;
    std::string DefaultSource;
    bool DefaultExact = true;
    std::vector<TRefusedLine> RefusedLines;
};
// Warns for each refused last line of a response file, and for text after a
// NUL, naming the file, the line and its text; the run then ends with exit
// code 2.
struct TReport;
void ReportRefusedLines(TReport &report, const std::vector<TRefusedLine> &lines);

// Appends the words of one source, each passed through SplitCombinedSwitches,
// noting where each token came from (`file` as in TTokenList::Files).
void AppendWords(TTokenList &list, const std::vector<std::string> &words, uint32_t file = 0);
// All tokens of all sources in order, each passed through SplitCombinedSwitches;
// in the native build a "--" argument ends this: every later argument is a
// file operand, "@name" included.
TTokenList GatherTokens(const std::vector<std::string> &arguments, const TProgramNames &names);
// The same into `list`, which keeps what was gathered when an error is raised.
void GatherTokens(const std::vector<std::string> &arguments, const TProgramNames &names,
                  TTokenList &list);
