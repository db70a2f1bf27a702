#include "platform/platform.h"

namespace {
const TPlatform *Installed = nullptr;
uint64_t Generation = 0;
} // namespace

const TPlatform &Platform() {
    return Installed ? *Installed : NativePlatform();
}

void SetPlatform(const TPlatform *platform) {
    Installed = platform;
    ++Generation;
}

uint64_t PlatformGeneration() {
    return Generation;
}

std::string LastErrorText() {
    const TPlatform &platform = Platform();
    return platform.ErrorText(platform.LastErrorCode());
}
