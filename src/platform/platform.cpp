#include "platform/platform.h"

namespace {
const TPlatform *Installed = nullptr;
}

const TPlatform &Platform() {
    return Installed ? *Installed : NativePlatform();
}

void SetPlatform(const TPlatform *platform) {
    Installed = platform;
}
