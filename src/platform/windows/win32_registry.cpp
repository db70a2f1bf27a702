// The registry (the current user's keys) and the environment of the Windows
// build, both read through the wide calls.

#include "platform/windows/win32_calls.h"

#include <algorithm>

namespace win32 {

// The wide value, without the look-alikes of the ANSI call.
bool GetEnv(const std::string &name, std::string &value, bool &exact) {
    value.clear();
    exact = true;
    std::wstring wideName;
    if (!ToWide(name, wideName))
        return false;
    std::wstring buffer(1024, L'\0');
    SetLastError(ERROR_SUCCESS);
    DWORD n = GetEnvironmentVariableW(wideName.c_str(), buffer.data(), DWORD(buffer.size()));
    if (n == 0) {
        DWORD code = GetLastError();
        return code != ERROR_ENVVAR_NOT_FOUND || Failed(false, code);
    }
    if (n >= buffer.size()) {
        buffer.assign(n, L'\0');
        n = GetEnvironmentVariableW(wideName.c_str(), buffer.data(), DWORD(buffer.size()));
        if (n >= buffer.size())
            n = 0;
    }
    exact = FromWide(buffer.data(), n, value);
    return true;
}

namespace {

// A key path under the current user, without its leading "\\", as UTF-16.
std::wstring KeyPath(const std::string &path) {
    std::wstring wide;
    ToWide(!path.empty() && path[0] == '\\' ? path.substr(1) : path, wide);
    return wide;
}

std::wstring WideName(const std::string &name) {
    std::wstring wide;
    ToWide(name, wide);
    return wide;
}

// The registry calls return their error code instead of setting it.
bool Succeeded(LONG result) {
    return result == ERROR_SUCCESS || Failed(false, DWORD(result));
}

HKEY KeyOf(TRegHandle key) {
    return reinterpret_cast<HKEY>(key);
}

HKEY OpenWideKey(const std::wstring &path, REGSAM access) {
    HKEY key = nullptr;
    if (!Succeeded(RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, access, &key)))
        return nullptr;
    return key;
}

HKEY OpenKey(const std::string &path, REGSAM access) {
    return OpenWideKey(KeyPath(path), access);
}

} // namespace

TRegHandle RegOpenRead(const std::string &path) {
    for (REGSAM access : {REGSAM(KEY_READ), REGSAM(0x20009), REGSAM(KEY_QUERY_VALUE)})
        if (HKEY key = OpenKey(path, access))
            return reinterpret_cast<TRegHandle>(key);
    return nullptr;
}

TRegHandle RegOpenWrite(const std::string &path) {
    return reinterpret_cast<TRegHandle>(OpenKey(path, KEY_ALL_ACCESS));
}

TRegHandle RegCreate(const std::string &path) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (!Succeeded(RegCreateKeyExW(HKEY_CURRENT_USER, KeyPath(path).c_str(), 0, nullptr,
                                   REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                                   &disposition)))
        return nullptr;
    return reinterpret_cast<TRegHandle>(key);
}

bool RegKeyExists(const std::string &path) {
    HKEY key = OpenKey(path, 0x20009);
    if (!key)
        return false;
    RegCloseKey(key);
    return true;
}

void RegClose(TRegHandle key) {
    RegCloseKey(KeyOf(key));
}

// The wide value, without the look-alikes of the ANSI call.
TRegValueState RegQueryString(TRegHandle key, const std::string &name, std::string &value) {
    value.clear();
    const std::wstring wideName = WideName(name);
    DWORD type = 0, size = 0;
    if (!Succeeded(
            RegQueryValueExW(KeyOf(key), wideName.c_str(), nullptr, &type, nullptr, &size)) ||
        size == 0)
        return rvEmpty;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return rvWrongType;
    std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
    if (!Succeeded(RegQueryValueExW(KeyOf(key), wideName.c_str(), nullptr, &type,
                                    reinterpret_cast<BYTE *>(data.data()), &size)))
        return rvEmpty;
    data.resize(std::min<size_t>(size / sizeof(wchar_t), data.find(L'\0')));
    return FromWide(data, value) ? rvString : rvInexact;
}

bool RegSetString(TRegHandle key, const std::string &name, const std::string &value) {
    std::wstring data;
    if (!ToWide(value, data))
        return false;
    return Succeeded(RegSetValueExW(KeyOf(key), WideName(name).c_str(), 0, REG_SZ,
                                    reinterpret_cast<const BYTE *>(data.c_str()),
                                    DWORD((data.size() + 1) * sizeof(wchar_t))));
}

bool RegSetDword(TRegHandle key, const std::string &name, uint32_t value) {
    DWORD data = value;
    return Succeeded(RegSetValueExW(KeyOf(key), WideName(name).c_str(), 0, REG_DWORD,
                                    reinterpret_cast<const BYTE *>(&data), sizeof data));
}

int RegSubKeyCount(TRegHandle key) {
    DWORD count = 0;
    if (!Succeeded(RegQueryInfoKeyW(KeyOf(key), nullptr, nullptr, nullptr, &count, nullptr, nullptr,
                                    nullptr, nullptr, nullptr, nullptr, nullptr)))
        return -1;
    return int(count);
}

namespace {

bool DeleteWideTree(const std::wstring &relative) {
    if (HKEY key = OpenWideKey(relative, KEY_ALL_ACCESS)) {
        DWORD count = 0, longest = 0;
        std::vector<std::wstring> names;
        if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
            std::wstring buffer(longest + 1, L'\0');
            for (DWORD i = 0; i < count; ++i) {
                DWORD length = DWORD(buffer.size());
                if (RegEnumKeyExW(key, i, buffer.data(), &length, nullptr, nullptr, nullptr,
                                  nullptr) == ERROR_SUCCESS)
                    names.emplace_back(buffer.data(), length);
            }
        }
        RegCloseKey(key);
        for (const std::wstring &name : names)
            DeleteWideTree(relative + L"\\" + name);
    }
    return Succeeded(RegDeleteKeyW(HKEY_CURRENT_USER, relative.c_str()));
}

} // namespace

bool RegDeleteTree(const std::string &path) {
    return DeleteWideTree(KeyPath(path));
}

bool RegDeleteKey(const std::string &path) {
    return Succeeded(RegDeleteKeyW(HKEY_CURRENT_USER, KeyPath(path).c_str()));
}

} // namespace win32
