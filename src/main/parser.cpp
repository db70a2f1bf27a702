// STAND-IN until the argument parser is built: every argument that is not a
// switch is an operand with the default options.
#include "main/parser.h"

#include "main/errors.h"
#include "platform/platform.h"

void ParseOptions() {
    std::vector<std::string> args = Platform().Arguments();
    std::string line;
    if (Platform().CommandLineText(line)) {
        args.clear();
        std::string current;
        bool quoted = false, any = false;
        for (char c : line) {
            if (c == '"') {
                quoted = !quoted;
                any = true;
            } else if (!quoted && static_cast<unsigned char>(c) <= 32) {
                if (any)
                    args.push_back(current);
                current.clear();
                any = false;
            } else {
                current += c;
                any = true;
            }
        }
        if (any)
            args.push_back(current);
        if (!args.empty())
            args.erase(args.begin());
    }
    TOption working;
    for (const std::string &arg : args)
        if (arg.empty() || (arg[0] != '-' && arg[0] != '/'))
            AppendOperand(working, arg);
    if (Operands.empty())
        throw EAppError("ファイル名を指定してください");
}
