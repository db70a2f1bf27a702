#include "report/restore.h"

#include "common/settings.h"
#include "platform/platform.h"
#include "report/output.h"
#include "report/report.h"

const char StampKindLetters[3] = {'w', 'c', 'a'};

std::string QuotedForResponseFile(const std::string &path) {
    bool cut = false;
    for (char c : path) {
        const auto code = static_cast<unsigned char>(c);
        // None of these codes is ever the second byte of a double-byte character.
        if ((code >= 1 && code <= 32) || c == ',' || c == '"') {
            cut = true;
            break;
        }
    }
    if (!cut)
        return path;
    std::string quoted = "\"";
    for (char c : path) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

void WriteRestoreLines(const TItemStamps &item) {
    if (HeadingPending) {
        HeadingPending = false;
        WriteErr(std::string(LineEnd) + "タイムスタンプ復元設定を作成します。" + LineEnd);
    }
    if (item.Options.Preview) {
        WriteOutLine("作成されます。(" + item.Path + ")");
        return;
    }
    // Lines name the item by its absolute path in its real folder. A link
    // taken as itself would be followed when read back, and an item without
    // an absolute path would be looked for elsewhere: neither gets lines.
    const std::string fullPath = item.LinkItself
                                     ? std::string()
                                     : Platform().FullPathName(item.Place.Folder, item.Place.Name);
    if (fullPath.empty()) {
        WriteErrLine("Warn.: 復元設定を作成できませんでした。(" + item.Path + ")");
        return;
    }
    const bool keepWhole = fullPath.find(';') != std::string::npos;
    const std::string token = QuotedForResponseFile(fullPath);
    for (TStampKind kind : AllStampKinds) {
        if (!item.Options.Kinds.Has(kind))
            continue;
        std::string line = "-ixg";
        line += StampKindLetters[kind];
        line += ' ';
        if (keepWhole)
            line += "-zd0 ";
        const TTimeValue value = item.OldValues[kind];
        if (IsUnknownStamp(value)) {
            line += "-d:unknown";
            line.append(size_t(item.FractionWidth + 16), ' ');
        } else {
            TTimeParts parts;
            FileTimeToLocalParts(value, parts);
            line += FormatTimeParts(parts, "-d:%d-%.2d-%.2d -t:%.2d:%.2d:%.2d.%.7d ",
                                    item.FractionWidth);
        }
        line += token;
        WriteOutLine(line);
    }
    WriteErrLine("作成しました。(" + item.Path + ")");
}
