#include "report/restore.h"

#include "common/settings.h"
#include "common/text.h"
#include "platform/platform.h"
#include "report/output.h"
#include "report/report.h"

const char StampKindLetters[3] = {'w', 'c', 'a'};

void WriteRestoreLines(const TItemStamps &item) {
    if (HeadingPending) {
        HeadingPending = false;
        WriteErr(std::string(LineEnd) + "タイムスタンプ復元設定を作成します。" + LineEnd);
    }
    if (item.Options.Preview) {
        WriteOutLine("作成されます。(" + item.Path + ")");
        return;
    }
    const std::string fullPath = Platform().FullPathName(item.Path);
    const bool keepWhole = fullPath.find(';') != std::string::npos;
    const std::string token = QuotedArgument(fullPath, qsBytes);
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
