// Announces the program to the update checker. The checker keeps one key per
// maker below its own key and one key per program below that; it reads from
// there where the program lives, which build it is and where the maker
// publishes update information. Nothing is written unless the checker's own
// key exists.
#include "update/update_check.h"

#include "common/errors.h"
#include "platform/platform.h"
#include "report/output.h"
#include "report/report.h"

#include <cstdint>
#include <string>

namespace {

const char *const CheckerKey = "\\Software\\Verwatch";
// The maker: its contact address names its key.
const char *const MakerAddress = "support@varnhold.example";
const char *const MakerName = "Varnhold";
const char *const MakerHost = "www.varnhold.example";
const char *const InfoURL = "http://www.varnhold.example/varnhold/freesoft/update.inf";

const char *const FailureWarning = "Warn.: 更新チェックの登録に失敗しました";

// Fills `failure` for a write of `name` into `keyPath` that did not succeed:
// the reason is the one of the call that just failed (the key's creation or
// opening when the key is not open, the write itself otherwise).
bool Failed(const std::string &keyPath, const std::string &name, TUpdateCheckFailure &failure) {
    failure.Message = RegistryWriteError(name).message();
    failure.Key = keyPath;
    failure.Reason = SystemReason(Platform().LastErrorCode());
    return false;
}

// A key that could not be opened or created makes its first write fail.
bool SetString(const TRegKey &key, const std::string &keyPath, const std::string &name,
               const std::string &value, TUpdateCheckFailure &failure) {
    if (!key.IsOpen() || !Platform().RegSetString(key.Get(), name, value))
        return Failed(keyPath, name, failure);
    return true;
}

bool SetDword(const TRegKey &key, const std::string &keyPath, const std::string &name,
              uint32_t value, TUpdateCheckFailure &failure) {
    if (!key.IsOpen() || !Platform().RegSetDword(key.Get(), name, value))
        return Failed(keyPath, name, failure);
    return true;
}

} // namespace

bool TryRegisterForUpdateCheck(const std::string &distinctName, const std::string &displayName,
                               TUpdateCheckFailure &failure) {
    const TPlatform &platform = Platform();
    const std::string makerKey = std::string(CheckerKey) + "\\" + MakerAddress;
    const std::string programKey = makerKey + "\\" + distinctName;

    if (!platform.RegKeyExists(CheckerKey))
        return true;

    // What the maker and program keys hold from their creation on is theirs
    // to keep: only the path and the build follow the program file.
    if (!platform.RegKeyExists(makerKey)) {
        TRegKey key(platform.RegCreate(makerKey));
        if (!SetString(key, makerKey, "Author", MakerName, failure) ||
            !SetString(key, makerKey, "DisplayHost", MakerHost, failure) ||
            !SetString(key, makerKey, "InfoURL", InfoURL, failure))
            return false;
    }
    if (!platform.RegKeyExists(programKey)) {
        TRegKey key(platform.RegCreate(programKey));
        if (!SetString(key, programKey, "DistinctName", distinctName, failure))
            return false;
        if (!displayName.empty() &&
            !SetString(key, programKey, "DisplayName", displayName, failure))
            return false;
    }

    TRegKey key(platform.RegOpenWrite(programKey));
    return SetString(key, programKey, "FilePath", platform.ModuleFileName(), failure) &&
           SetDword(key, programKey, "Build", platform.ProgramBuild(), failure);
}

void RegisterForUpdateCheck(const std::string &distinctName, const std::string &displayName) {
    TUpdateCheckFailure failure;
    if (TryRegisterForUpdateCheck(distinctName, displayName, failure))
        return;
    TOutput output;
    try {
        output.ErrLine(std::string(FailureWarning) + "。(" + failure.Message + ")");
        if (!failure.Reason.empty())
            output.ErrLine("HKEY_CURRENT_USER" + failure.Key + ": " + failure.Reason);
    } catch (const EStreamError &) {
        // An error stream that cannot be written fails the banner next, in
        // the run's own error handling; the side task adds nothing to that.
    }
}
