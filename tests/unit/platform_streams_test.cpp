// Which standard stream goes to a terminal or console, asked of the build's
// own table with the streams moved for a moment.

#include "platform/platform.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#ifndef _WIN32
// Each stream is asked about its own descriptor: a terminal on one of them
// says nothing about the other.
TEST(PlatformStreams, EachStreamIsAskedForItself) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        GTEST_SKIP() << "no pseudo-terminal here";
    const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
    const int file = open("/dev/null", O_WRONLY);
    ASSERT_GE(terminal, 0);
    ASSERT_GE(file, 0);
    const int savedOut = dup(STDOUT_FILENO), savedErr = dup(STDERR_FILENO);
    const TPlatform &p = NativePlatform();
    std::array<bool, 4> seen{};
    // Nothing may be written while the streams are moved: results are looked at after.
    fflush(stdout);
    dup2(terminal, STDOUT_FILENO);
    dup2(file, STDERR_FILENO);
    seen[0] = p.IsTerminal(stdOutput);
    seen[1] = p.IsTerminal(stdError);
    dup2(file, STDOUT_FILENO);
    dup2(terminal, STDERR_FILENO);
    seen[2] = p.IsTerminal(stdOutput);
    seen[3] = p.IsTerminal(stdError);
    dup2(savedOut, STDOUT_FILENO);
    dup2(savedErr, STDERR_FILENO);
    for (int fd : {savedOut, savedErr, terminal, file, master})
        close(fd);
    EXPECT_EQ(seen, (std::array<bool, 4>{true, false, false, true}));
}

#else
// NUL is a character device like a console, but no console.
TEST(PlatformStreams, TheNulDeviceIsNoConsole) {
    HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(nul, INVALID_HANDLE_VALUE);
    ASSERT_EQ(GetFileType(nul), DWORD(FILE_TYPE_CHAR));
    const HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
    fflush(stdout);
    SetStdHandle(STD_OUTPUT_HANDLE, nul);
    const bool seen = NativePlatform().IsTerminal(stdOutput);
    SetStdHandle(STD_OUTPUT_HANDLE, saved);
    CloseHandle(nul);
    EXPECT_FALSE(seen);
}
#endif
