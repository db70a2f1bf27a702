#pragma once
// Keeping the default option string with -DefOpt: the rest of the command
// line is stored as the value "DefaultOption" of RegKey; -DefOpt alone
// removes the program's key again.

#include "cli/option_sources.h"
#include "report/output.h"

#include <string>
#include <vector>

// The argument is -DefOpt: "-" (or, in the Windows build, "/") and then
// "defopt" in any case.
bool IsDefOptForm(const std::string &argument);

// The arguments joined into one default option string that reads back as the
// same arguments: each is followed by one blank, the last blank dropped; an
// argument with a blank, a comma or a double quote is written in double
// quotes with its own double quotes doubled. Empty arguments are left out.
std::string JoinDefaultOptions(const std::vector<std::string> &arguments);

// `arguments` are all arguments after the program, -DefOpt first. Writes or
// removes the default option string and reports it on the standard output;
// raises EAppError when the registry refuses.
void MaintainDefaultOption(const std::vector<std::string> &arguments, const std::string &regKey,
                           TOutput &output);
