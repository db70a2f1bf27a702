#pragma once
// Keeping the default option string with -DefOpt.

#include <string>
#include <vector>

// The argument is -DefOpt (any prefix "-" or "/", any case).
bool IsDefOptForm(const std::string &argument);
// `arguments` are all arguments after the program, -DefOpt first.
void MaintainDefaultOption(const std::vector<std::string> &arguments);
