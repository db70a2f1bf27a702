#pragma once
// The argument parser: tokens in, option records and settings out.

#include "cli/option_sources.h"
#include "common/errors.h"
#include "common/option.h"
#include "common/settings.h"
#include "journal/undo.h"
#include "report/output.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A signed 32-bit integer: leading blanks, an optional sign, "$", "x", "X",
// "0x" or "0X" for hexadecimal, and nothing after the digits.
bool ReadIntegerArg(const std::string &text, int32_t &value);

// What a parse leaves: one option record per file operand, in the order met
// (none after the default-option maintenance), and the settings that hold
// for the whole run.
struct TParsedOptions {
    std::vector<TOption> Operands;
    TRunSettings Settings;
    TUndoRequest Undo; // -Undo as the first argument: nothing else is parsed
    // Last lines of response files that were not read (see ReadResponseFile).
    std::vector<TRefusedLine> RefusedLines;
};

// The argument is -Undo: "-" (or, in the Windows build, "/") and "undo" in any
// case; natively also "--undo".
bool IsUndoForm(const std::string &argument);
// Reads the arguments after -Undo: "-v", "-zu", "list" and a run's number,
// each at most once, in any order, not both a number and "list"; raises
// EAppError for anything else.
TUndoRequest ReadUndoArguments(const std::vector<std::string> &arguments);

// A "-?" among the tokens: the usage screen is to be shown, and nothing after
// it is looked at.
class EUsageAsked : public EAbort {
public:
    EUsageAsked() : EAbort(255) {}
};

// Interprets a token list (the first `defaultCount` from the default option
// string; those from `operandsFrom` on are file operands whatever they look
// like); raises EAppError, or EUsageAsked. The error of a faulty token names
// it and what is wrong with it; a faulty token of the default option string
// raises EUsageAsked instead when the command line holds "-?".
//
// Preview: when the tokens outside response files (the default option string
// and the command line's own arguments) leave -v on, every operand is a
// preview, also one whose response file resets the options with -i.
TParsedOptions ParseTokens(const TTokenList &list);
TParsedOptions ParseTokens(const std::vector<std::string> &tokens, size_t defaultCount,
                           size_t operandsFrom = SIZE_MAX);

// Whether `arguments`, stored with -DefOpt, would be read by a later run:
// switches only, each of them valid, "-?" not among them, and a date and time
// that an item can take. Raises the error that tells what is wrong.
void CheckDefaultOptions(const std::vector<std::string> &arguments);

// The whole parse of one run: usage screen for an empty command line or
// "-?", default-option maintenance for -DefOpt, the arguments of -Undo, else
// gathering and interpreting every token.
TParsedOptions ParseOptions(const TProgramNames &names, TOutput &output);

// The native command line asks for the version alone: "--version" comes
// before any "--help" and "--", and the first argument is no -DefOpt or -Undo.
bool VersionAsked();
