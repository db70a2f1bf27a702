// The native build's registry: the reader of a value's file, the escaping of
// names on disk, and a key path, value name and string written to a
// temporary configuration folder and read back.

#include "fuzz_support.h"
#include "platform/platform.h"
#include "platform/unix/posix_calls.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>
#include <unistd.h>

namespace {

std::string Unescape(const std::string &diskName) {
    std::string name;
    for (size_t i = 0; i < diskName.size(); ++i) {
        if (diskName[i] != '%') {
            name += diskName[i];
            continue;
        }
        const std::string code = diskName.substr(i + 1, 2);
        FUZZ_CHECK(code == "25" || code == "2F" || code == "2E");
        name += code == "25" ? '%' : code == "2F" ? '/' : '.';
        i += 2;
    }
    return name;
}

std::string AsciiUpper(std::string text) {
    for (char &c : text)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return text;
}

// A configuration folder of this process, in memory where the system has it;
// removed again at exit.
const std::string &ConfigFolder() {
    static const std::string *folder = [] {
        const std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        auto *path = new std::string(base + "/kelvard-fuzz-XXXXXX");
        if (!mkdtemp(path->data()))
            std::abort();
        setenv("XDG_CONFIG_HOME", path->c_str(), 1);
        std::atexit([] { std::filesystem::remove_all(ConfigFolder()); });
        return path;
    }();
    return *folder;
}

void CheckValueFile(const std::string &content) {
    std::string value = "left over";
    const TRegValueState state = posix::ReadStringValue(content, value);
    if (state != rvString) {
        FUZZ_CHECK(value.empty());
        return;
    }
    FUZZ_CHECK(value.find('\0') == std::string::npos);
    FUZZ_CHECK(content.find(value) != std::string::npos);
}

void CheckName(const std::string &name) {
    const std::string diskName = posix::EscapeName(name);
    FUZZ_CHECK(diskName.find('/') == std::string::npos);
    FUZZ_CHECK(diskName.empty() || diskName[0] != '.');
    FUZZ_CHECK(Unescape(diskName) == name);
}

// Names match without regard to ASCII case: the read may use other cases.
void CheckStored(const std::vector<std::string> &keyNames, const std::string &valueName,
                 bool otherCase, const std::string &text) {
    const TPlatform &reg = NativePlatform();
    std::string key;
    for (const std::string &name : keyNames)
        key += "\\" + name;
    TRegHandle handle = reg.RegCreate(key);
    if (!handle)
        return; // a name the file system refuses (too long ...)
    const bool stored = reg.RegSetString(handle, valueName, text);
    reg.RegClose(handle);
    if (stored) {
        handle = reg.RegOpenRead(otherCase ? AsciiUpper(key) : key);
        FUZZ_CHECK(handle != nullptr);
        std::string value;
        const TRegValueState state =
            reg.RegQueryString(handle, otherCase ? AsciiUpper(valueName) : valueName, value);
        reg.RegClose(handle);
        const std::string expected = text.substr(0, text.find('\0'));
        FUZZ_CHECK(state == (text.empty() ? rvEmpty : rvString));
        FUZZ_CHECK(value == (text.empty() ? "" : expected));
    }
    // The whole tree goes with its top key.
    std::string top;
    for (const std::string &name : keyNames)
        if (top.empty())
            top = name;
    if (!top.empty())
        FUZZ_CHECK(reg.RegDeleteTree("\\" + top));
    else
        std::filesystem::remove(ConfigFolder() + "/" + posix::EscapeName(valueName) + ".value");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    ConfigFolder();
    FuzzedDataProvider input(data, size);
    const std::string content = input.ConsumeRandomLengthString(256);
    CheckValueFile(content);
    CheckValueFile("REG_SZ\n" + content);

    std::vector<std::string> keyNames;
    const size_t depth = input.ConsumeIntegralInRange<size_t>(0, 3);
    for (size_t i = 0; i < depth; ++i) {
        std::string name = input.ConsumeRandomLengthString(40);
        std::erase(name, '\0');
        std::erase(name, '\\');
        CheckName(name);
        keyNames.push_back(name);
    }
    std::string valueName = input.ConsumeRandomLengthString(40);
    std::erase(valueName, '\0');
    CheckName(valueName);
    const bool otherCase = input.ConsumeBool();
    CheckStored(keyNames, valueName, otherCase, input.ConsumeRemainingBytesAsString());
    return 0;
}
