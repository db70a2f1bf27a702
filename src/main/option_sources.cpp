// STAND-IN until the option sources are built.
#include "main/option_sources.h"

#include "main/errors.h"

std::vector<std::string> SplitDelimitedText(const std::string &, char, char) {
    throw EUnexpected("ENotBuilt", "SplitDelimitedText");
}
std::vector<std::string> SplitCommandLine(const std::string &) {
    throw EUnexpected("ENotBuilt", "SplitCommandLine");
}
std::vector<std::string> CommandLineArguments() {
    throw EUnexpected("ENotBuilt", "CommandLineArguments");
}
std::string ReadDefaultOptionString() { throw EUnexpected("ENotBuilt", "ReadDefaultOptionString"); }
std::vector<std::string> ReadResponseFile(const std::string &) {
    throw EUnexpected("ENotBuilt", "ReadResponseFile");
}
TTokenList GatherTokens(const std::vector<std::string> &) {
    throw EUnexpected("ENotBuilt", "GatherTokens");
}
