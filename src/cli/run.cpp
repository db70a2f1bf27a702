#include "cli/run.h"

#include "cli/parser.h"
#include "cli/usage.h"
#include "common/errors.h"
#include "common/option.h"
#include "common/paths.h"
#include "common/settings.h"
#include "common/timevalue.h"
#include "platform/platform.h"
#include "report/output.h"
#include "select/walker.h"

#include <cstdint>
#include <cstdio>
#include <new>
#include <string>

namespace {

const char *const BannerLine = "タイムスタンプ変更 <ぽるかん>  version 1.27 (for Win32 console)";
const char *const MakerNotice = "Copyright (C) Varnhold. All rights reserved.";
constexpr int KeptExitCode = 2;

// The program file's name without folder and without its last extension.
std::string ProgramNameOf(const std::string &modulePath) {
    std::string name = FileNamePart(modulePath);
    auto dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

void SetStartValues() {
    const TPlatform &platform = Platform();
    if (IsNT()) {
        TTimeValue utc = UnknownTimeLocalNT;
        platform.LocalToUtc(UnknownTimeLocalNT, utc);
        UnknownTime = utc;
    } else {
        UnknownTime = UnknownTime9x;
    }
    SubSecondDigits = 6;
    SplitFileNames = true;
    FatRounding = true;
    ProgName = ProgramNameOf(platform.ModuleFileName());
    RegKey = "\\software\\Varnhold\\" + ProgName;
}

} // namespace

void RunOperands() {
    for (const TOption &entry : Operands) {
        if (SearchOperand(entry.FileName, entry, true, false))
            continue;
        if (entry.IgnoreNotFound) {
            WriteOut(LineEnd);
            WriteOutLine("Warn.: " + NotFoundMessage(entry.FileName) + "。");
            continue;
        }
        throw EAppError(NotFoundMessage(entry.FileName));
    }
}

void RunProgram() {
    ExitCode = 0;
    ItemsKept = false;
    SetStartValues();
    try {
        // The version line stands alone, without the banner.
        if (VersionAsked())
            ShowVersion();
        WriteErr(std::string(BannerLine) + LineEnd + MakerNotice + LineEnd);
        NowTime = Platform().SystemTimeNow();
        ParseOptions();
        RunOperands();
        // The run went to its end, but not every selected item was done.
        if (ItemsKept)
            ExitCode = KeptExitCode;
    } catch (const EAbort &) {
    } catch (const EAppError &error) {
        WriteErr(LineEnd);
        WriteErrLine("Error: " + error.message() + "。");
        ExitCode = 1;
    }
    FlushOut();
}

int ReportUnexpectedError(const std::exception_ptr &error) {
    std::string kind = "Exception", message;
    try {
        std::rethrow_exception(error);
    } catch (const EUnexpected &e) {
        kind = e.kind();
        message = e.message();
    } catch (const std::bad_alloc &) {
        kind = "EOutOfMemory";
        message = "メモリが不足しています";
    } catch (const std::exception &e) {
        message = e.what();
    } catch (...) {
    }
    if (message.empty() || message.back() != '.')
        message += ".";
    char address[32];
    std::snprintf(address, sizeof address, "%0*llX", int(2 * sizeof(void *)),
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&RunProgram)));
    const TPlatform &platform = Platform();
    std::string module = FileNamePart(platform.ModuleFileName());
    std::string report = kind + " がモジュール " + module + " の " + address + " で発生しました。" +
                         LineEnd + message + LineEnd + LineEnd;
    try {
        FlushOut();
    } catch (...) {
    }
    std::string oem = platform.ToOemText(report);
    platform.WriteStream(stdError, oem.data(), oem.size());
    return 1;
}
