// Announces the program to the update checker. The checker keeps one key per
// maker below its own key and one key per program below that; it reads from
// there where the program lives, which build it is and where the maker
// publishes update information. Nothing is written unless the checker's own
// key exists.
#include "update/update_check.h"

#include "common/errors.h"
#include "platform/platform.h"

#include <cstdint>
#include <string>

namespace {

const char *const CheckerKey = "\\Software\\Verwatch";
// The maker: its contact address names its key.
const char *const MakerAddress = "support@varnhold.example";
const char *const MakerName = "Varnhold";
const char *const MakerHost = "www.varnhold.example";
const char *const InfoURL = "http://www.varnhold.example/varnhold/freesoft/update.inf";

// A key that could not be opened or created makes its first write fail.
void SetString(const TRegKey &key, const std::string &name, const std::string &value) {
    if (!key.IsOpen() || !Platform().RegSetString(key.Get(), name, value))
        throw RegistryWriteError(name);
}

void SetDword(const TRegKey &key, const std::string &name, uint32_t value) {
    if (!key.IsOpen() || !Platform().RegSetDword(key.Get(), name, value))
        throw RegistryWriteError(name);
}

} // namespace

void RegisterForUpdateCheck(const std::string &distinctName, const std::string &displayName) {
    const TPlatform &platform = Platform();
    const std::string makerKey = std::string(CheckerKey) + "\\" + MakerAddress;
    const std::string programKey = makerKey + "\\" + distinctName;

    if (!platform.RegKeyExists(CheckerKey))
        return;

    // What the maker and program keys hold from their creation on is theirs
    // to keep: only the path and the build follow the program file.
    if (!platform.RegKeyExists(makerKey)) {
        TRegKey key(platform.RegCreate(makerKey));
        SetString(key, "Author", MakerName);
        SetString(key, "DisplayHost", MakerHost);
        SetString(key, "InfoURL", InfoURL);
    }
    if (!platform.RegKeyExists(programKey)) {
        TRegKey key(platform.RegCreate(programKey));
        SetString(key, "DistinctName", distinctName);
        if (!displayName.empty())
            SetString(key, "DisplayName", displayName);
    }

    TRegKey key(platform.RegOpenWrite(programKey));
    SetString(key, "FilePath", platform.ModuleFileName());
    SetDword(key, "Build", platform.ProgramBuild());
}
