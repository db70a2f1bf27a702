// The registry of the native build: a folder tree under the user's
// configuration folder. Not written yet: every key is absent.

#include "platform/unix/posix_calls.h"

namespace posix {

TRegHandle RegOpenRead(const std::string &) { return nullptr; }
TRegHandle RegOpenWrite(const std::string &) { return nullptr; }
TRegHandle RegCreate(const std::string &) { return nullptr; }
bool RegKeyExists(const std::string &) { return false; }
void RegClose(TRegHandle) {}
TRegValueState RegQueryString(TRegHandle, const std::string &, std::string &value) {
    value.clear();
    return rvEmpty;
}
bool RegSetString(TRegHandle, const std::string &, const std::string &) { return false; }
bool RegSetDword(TRegHandle, const std::string &, uint32_t) { return false; }
int RegSubKeyCount(TRegHandle) { return -1; }
bool RegDeleteTree(const std::string &) { return false; }
bool RegDeleteKey(const std::string &) { return false; }

} // namespace posix
