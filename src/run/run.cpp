#include "run/run.h"

#include "cli/option_sources.h"
#include "cli/parser.h"
#include "cli/usage.h"
#include "common/errors.h"
#include "common/option.h"
#include "common/paths.h"
#include "common/settings.h"
#include "engine/fs_rounding.h"
#include "engine/stamp_item.h"
#include "journal/journal.h"
#include "journal/undo.h"
#include "platform/platform.h"
#include "report/output.h"
#include "report/report.h"
#include "report/restore.h"
#include "run/stamp_pipeline.h"
#include "select/walker.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <new>
#include <string>

namespace {

const char *const BannerLine = "タイムスタンプ変更 <ぽるかん>  version 1.27 (for Win32 console)";
const char *const MakerNotice = "Copyright (C) Varnhold. All rights reserved.";
constexpr int KeptExitCode = 2;
// Files the run holds open besides the walk's folders: the standard streams,
// a listing being read, a source file's folder, the run's own files.
constexpr uint64_t OtherOpenFiles = 12;

// The folders a walk may hold open, within what the process may hold.
size_t OpenFolderBudget() {
    const uint64_t limit = Platform().OpenFileLimit();
    const uint64_t left = limit > OtherOpenFiles + 3 ? limit - OtherOpenFiles : 3;
    return size_t(std::min<uint64_t>(left, DefaultOpenFolders));
}

// Everything one run keeps: made at its start, handed down to what needs it.
struct TRunContext {
    TOutput Output;
    TProgramNames Names;
    TRunTimes Times;
    TRunSettings Settings;
    std::vector<TOption> Operands;
    TVolumeNames Volumes;
    TReport Report{Output, {}};
    size_t OpenFolders = DefaultOpenFolders;
    TJournal Journal;

    TStampContext StampContext() {
        return TStampContext{Times, Settings.FatRounding, IsNT(), &Volumes};
    }
};

// How many threads read and write items: -zp, or one per processor up to
// a few. Folders on the 9x family are stamped by a helper program that runs
// alone, so there the run is serial.
unsigned ThreadsFor(const TRunSettings &settings) {
    if (!IsNT())
        return 1;
    if (settings.Threads != 0)
        return settings.Threads;
    return std::clamp(Platform().ProcessorCount(), 1u, DefaultThreadLimit);
}

// The pipeline's records go to the run's journal.
class TJournalRecorder : public TChangeRecorder {
public:
    explicit TJournalRecorder(TJournal &journal) : Journal(journal) {}
    bool Describe(const TItemStamps &item, bool isFolder, std::string &record,
                  std::string &reason) const override {
        return TJournal::Describe(item, isFolder, record, reason);
    }
    // The journal's folder and what is in it, known by identity.
    bool PassesOver(const TFoundItem &found) const override {
        if (found.FolderIdentified &&
            Journal.IsOwnFolder(found.FolderIdentity.first, found.FolderIdentity.second))
            return true;
        TFindData entry;
        return found.Entry.IsFolder &&
               Platform().ReadItem(found.Place.Handle(), found.Place.Name, found.Place.FollowLink,
                                   entry) &&
               Journal.IsOwnFolder(entry.VolumeId, entry.FileId);
    }
    void Append(std::string &&record) override { Journal.Append(std::move(record)); }
    void Flush() override { Journal.Flush(); }

private:
    TJournal &Journal;
};

// Some operand changes stamps: neither a preview nor restore lines.
bool ChangesStamps(const std::vector<TOption> &operands) {
    return std::any_of(operands.begin(), operands.end(), [](const TOption &operand) {
        return !operand.Preview && !operand.MakeRestoreFile;
    });
}

// -Undo: the list of the runs, or a run taken back.
int RunUndo(TRunContext &run, const TUndoRequest &request) {
    if (request.List) {
        ListRuns(run.Output);
        return 0;
    }
    Platform().CatchInterrupts();
    return UndoRun(request, run.Report, run.StampContext(), run.Settings.SubSecondDigits);
}

void RunOperands(TRunContext &run) {
    // Before anything changes: a run that cannot keep its journal changes
    // nothing.
    if (run.Settings.Journal && ChangesStamps(run.Operands))
        run.Journal.Begin(run.Times.Now, run.Names.ProgName, CommandLineArguments());
    TJournalRecorder recorder(run.Journal);
    Platform().CatchInterrupts();
    TStampPipeline pipeline(run.Report, run.StampContext(),
                            FractionWidthOf(run.Settings.SubSecondDigits), ThreadsFor(run.Settings),
                            run.Journal.Active() ? &recorder : nullptr);
    for (const TOption &entry : run.Operands) {
        pipeline.BeginOperand(entry);
        const TWalkResult result = SearchOperand(entry, pipeline, run.OpenFolders);
        if (result.Found)
            continue;
        // Told after everything that the walk handed on.
        pipeline.Drain();
        ReportNothingSelected(run.Report, entry, result.FolderError, result.NamesFolder);
    }
    pipeline.Drain();
}

} // namespace

int RunProgram() {
    TRunContext run;
    run.Names = ProgramNamesOf(Platform().ModuleFileName());
    int exitCode = 0;
    try {
        // The version line stands alone, without the banner.
        if (VersionAsked())
            ShowVersion(run.Output);
        // The banner goes out with whatever is written first: after the
        // options, in the form they ask for (-zu).
        run.Output.ErrBeforeAll(std::string(BannerLine) + LineEnd + MakerNotice + LineEnd);
        run.Times = StartTimes();
        run.Report.Times = run.Times;
        TParsedOptions parsed = ParseOptions(run.Names, run.Output);
        run.Operands = std::move(parsed.Operands);
        run.Settings = parsed.Settings;
        run.Output.SetUtf8(run.Settings.Utf8Streams);
        run.OpenFolders = OpenFolderBudget();
        if (parsed.Undo.Asked) {
            exitCode = RunUndo(run, parsed.Undo);
        } else {
            BeginReport(run.Report, run.Operands);
            ReportRefusedLines(run.Report, parsed.RefusedLines);
            RunOperands(run);
            run.Output.Flush();
            // The run went to its end, but not every selected item was done.
            if (run.Report.ItemsKept)
                exitCode = KeptExitCode;
        }
    } catch (const EInterrupted &interrupt) {
        // The items in hand were finished and reported.
        run.Journal.Finish(interrupt.ExitCode, true);
        run.Output.Err(LineEnd);
        run.Output.ErrLine("Error: 中断しました。");
        exitCode = interrupt.ExitCode;
    } catch (const EAbort &abort) {
        exitCode = abort.ExitCode;
    } catch (const EAppError &error) {
        run.Journal.Finish(1, false);
        run.Output.Err(LineEnd);
        run.Output.ErrLine("Error: " + error.message() + "。");
        if (!error.cause().empty())
            run.Output.ErrLine(error.cause());
        exitCode = 1;
    } catch (...) {
        run.Journal.Finish(1, false);
        // The report of what went before comes ahead of the last-resort one.
        try {
            run.Output.Flush();
        } catch (...) {
        }
        throw;
    }
    run.Journal.Finish(exitCode, false);
    run.Output.Flush();
    return exitCode;
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
    std::string oem = platform.ToOemText(report);
    platform.WriteStream(stdError, oem.data(), oem.size());
    return 1;
}
