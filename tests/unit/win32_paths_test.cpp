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

// A search also matches names through their 8.3 short names: an entry is
// selected only where its long name matches by the rules users know.
TEST(WindowsPaths, APatternMatchesLongNamesByTheWindowsRules) {
    const struct {
        const wchar_t *Pattern, *Name;
        bool Matches;
    } rows[] = {
        {L"*.txt", L"a.txt", true},
        {L"*.txt", L"A.TXT", true},
        {L"*.txt", L"A.TXT2", false}, // short name ATXT2~1.TXT
        {L"*.txt", L"a.b.txt", true},
        {L"*.tex", L"longer name.text", false},
        {L"longer*.tex?", L"longer name.text", true},
        {L"*~*", L"longer name.text", false},
        {L"*~*", L"a~b.txt", true},
        {L"*.", L"README", true}, // "*." names without an extension
        {L"*.", L"a.txt", false},
        {L"*.*", L"README", true},
        {L"*", L"a.b", true},
        {L"a?.txt", L"ab.txt", true},
        {L"a?.txt", L"a.txt", true}, // "?" may take nothing before a "."
        {L"a?", L"a", true},
        {L"a?b", L"ab", false},
        {L"a.*", L"a", true}, // ".*" may meet the end of the name
        {L"a.*", L"ab", false},
        {L"*.t*", L"a.tar.gz", true},
        {L"LONGER~1.TEX", L"longer name.text", true}, // a name typed in full is the user's
    };
    for (const auto &row : rows)
        EXPECT_EQ(MatchesLongName(row.Pattern, row.Name), row.Matches)
            << static_cast<const void *>(row.Pattern) << " " << row.Matches;
}

} // namespace

#endif
