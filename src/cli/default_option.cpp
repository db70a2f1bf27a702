#include "cli/default_option.h"

#include "cli/option_sources.h"
#include "cli/switches.h"
#include "common/errors.h"
#include "common/option.h"
#include "common/text.h"
#include "platform/platform.h"
#include "report/output.h"

namespace {

const char *const MakerKey = "\\software\\Varnhold";

// A key and the system's reason for the call on it that failed.
std::string KeyReason(const std::string &key) {
    return "HKEY_CURRENT_USER" + key + ": " + SystemReason(Platform().LastErrorCode());
}

void WriteDefaultOption(const std::string &options, const std::string &regKey, TOutput &output) {
    const TPlatform &platform = Platform();
    {
        TRegKey key(platform.RegCreate(regKey));
        if (!key.IsOpen())
            throw EAppError("デフォルトオプションをレジストリに書き込めません", KeyReason(regKey));
        if (!platform.RegSetString(key.Get(), DefaultOptionValue, options))
            throw RegistryWriteError(DefaultOptionValue);
    }
    output.Out(LineEnd);
    output.OutLine("デフォルトオプションをレジストリに書き込みました。");
}

void RemoveDefaultOption(const std::string &regKey, TOutput &output) {
    const TPlatform &platform = Platform();
    if (!platform.RegDeleteTree(regKey))
        throw EAppError("デフォルトオプションがレジストリに設定されていません", KeyReason(regKey));
    int remaining;
    {
        TRegKey maker(platform.RegOpenRead(MakerKey));
        if (!maker.IsOpen())
            throw EAppError("デフォルトオプションの上位キーをレジストリから削除できません",
                            KeyReason(MakerKey));
        remaining = platform.RegSubKeyCount(maker.Get());
    }
    // The maker's key goes with its last program key; whether that works is
    // of no concern to the user's defaults, which are gone already.
    if (remaining == 0)
        platform.RegDeleteKey(MakerKey);
    output.Out(LineEnd);
    output.OutLine("デフォルトオプションをレジストリから削除しました。");
}

} // namespace

bool IsDefOptForm(const std::string &argument) {
    if (argument.empty() || !IsSwitchPrefix(argument[0]))
        return false;
    return Platform().LowerCase(argument.substr(1)) == "defopt";
}

std::string JoinDefaultOptions(const std::vector<std::string> &arguments) {
    std::string joined;
    for (const std::string &argument : arguments) {
        if (argument.empty())
            continue;
        if (!joined.empty())
            joined += ' ';
        joined += QuotedArgument(argument);
    }
    return joined;
}

void MaintainDefaultOption(const std::vector<std::string> &arguments, const std::string &regKey,
                           TOutput &output) {
    std::vector<std::string> options;
    if (arguments.size() > 1)
        options.assign(arguments.begin() + 1, arguments.end());
    std::string joined = JoinDefaultOptions(options);
    if (!joined.empty())
        WriteDefaultOption(joined, regKey, output);
    else
        RemoveDefaultOption(regKey, output);
}
