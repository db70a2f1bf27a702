#include "platform/platform.h"

namespace {
const TPlatform *Installed = nullptr;
} // namespace

const TPlatform &Platform() {
    return Installed ? *Installed : NativePlatform();
}

void SetPlatform(const TPlatform *platform) {
    Installed = platform;
}

std::string LastErrorText() {
    const TPlatform &platform = Platform();
    return platform.ErrorText(platform.LastErrorCode());
}
