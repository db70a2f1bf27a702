// The Windows build's path forms and the flags it opens an item with to write
// its stamps. Wine stamps what a link points to whatever the flags say, so
// the flags are checked here rather than on real links.
#ifdef _WIN32

#include "platform/windows/win32_paths.h"

#include <gtest/gtest.h>

namespace {

TEST(WindowsPaths, AnItemTakenAsItselfIsOpenedAsTheReparsePoint) {
    const struct {
        bool IsFolder, FollowLink;
        DWORD Flags;
    } rows[] = {
        {false, true, FILE_ATTRIBUTE_NORMAL},
        {true, true, FILE_FLAG_BACKUP_SEMANTICS},
        {false, false, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT},
        {true, false, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT},
    };
    for (const auto &row : rows)
        EXPECT_EQ(StampOpenFlags(row.IsFolder, row.FollowLink), row.Flags)
            << row.IsFolder << row.FollowLink;
}

TEST(WindowsPaths, VerbatimAndPlainFormsNameTheSamePlace) {
    const struct {
        const wchar_t *Full, *Verbatim, *Plain;
    } rows[] = {
        {L"C:\\a\\b ", L"\\\\?\\C:\\a\\b ", L"C:\\a\\b "},
        {L"\\\\server\\share\\x.", L"\\\\?\\UNC\\server\\share\\x.", L"\\\\server\\share\\x."},
        {L"\\\\.\\C:\\a", L"\\\\?\\C:\\a", L"C:\\a"},
        {L"\\\\?\\C:\\a", L"\\\\?\\C:\\a", L"C:\\a"},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(VerbatimForm(row.Full), row.Verbatim) << row.Full;
        EXPECT_EQ(PlainForm(row.Verbatim), row.Plain) << row.Full;
    }
}

} // namespace

#endif
