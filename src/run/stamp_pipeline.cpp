#include "run/stamp_pipeline.h"

#include "common/errors.h"
#include "common/paths.h"
#include "platform/platform.h"
#include "report/restore.h"

#include <algorithm>
#include <utility>

namespace {

// Jobs handed on and not yet emitted, at most: what keeps a run's memory flat
// in the number of items. Other threads need many jobs ahead to work on; one
// thread alone is faster with few, each still in the cache when it is
// written and reported.
constexpr size_t InFlight = 1024;
constexpr size_t InFlightAlone = 64;
// Records the journal gets between two flushes, at most.
constexpr size_t JournalBatch = 256;
// Jobs a thread takes at once: the threads meet at the lock once per batch.
constexpr size_t TaskBatch = 32;

// The error of an operand's new stamps, told of one of its items, as the
// item's own computation tells it.
std::exception_ptr ItemError(const std::exception_ptr &error, const std::string &path) {
    try {
        std::rethrow_exception(error);
    } catch (const EAppError &raised) {
        return std::make_exception_ptr(EAppError(raised.message(), path + raised.cause()));
    } catch (...) {
        return std::current_exception();
    }
}

} // namespace

TStampPipeline::TStampPipeline(TReport &report, const TStampContext &context, int32_t fractionWidth,
                               unsigned threads, TChangeRecorder *journal, bool sameItemTwice)
    : Report(report), Context(context), FractionWidth(fractionWidth), Journal(journal),
      SameItemTwice(sameItemTwice), WindowLimit(threads > 1 ? InFlight : InFlightAlone) {
    for (unsigned i = 1; i < threads; ++i)
        Workers.emplace_back([this] { WorkerLoop(); });
}

TStampPipeline::~TStampPipeline() {
    {
        std::lock_guard<std::mutex> hold(Lock);
        Stopping = true;
    }
    Changed.notify_all();
    for (std::thread &worker : Workers)
        worker.join();
}

void TStampPipeline::BeginOperand(const TOption &operand) {
    Operand = &operand;
    auto preset = std::make_shared<TPresetStamps>();
    Preset = !operand.MakeRestoreFile && PresetStampsFor(operand, Context, *preset)
                 ? std::move(preset)
                 : nullptr;
    auto job = std::make_unique<TJob>();
    job->Kind = jkOperand;
    Submit(std::move(job));
}

void TStampPipeline::Line(std::string text) {
    auto job = std::make_unique<TJob>();
    job->Kind = jkLine;
    job->Text = std::move(text);
    Submit(std::move(job));
}

void TStampPipeline::Drain() {
    Pump(0);
}

void TStampPipeline::StopIfInterrupted() {
    if (!Platform().InterruptRequested())
        return;
    // The items handed on are finished, written and reported first.
    Drain();
    throw EInterrupted();
}

void TStampPipeline::Item(TFoundItem found) {
    StopIfInterrupted();
    if (Journal && Journal->PassesOver(found))
        return;
    auto job = std::make_unique<TJob>();
    job->Item.Options = *Operand;
    job->Preset = Preset;
    // An operand whose new stamps cannot be had ends the run at its first
    // item, whatever becomes of that item.
    if (Preset && Preset->Error)
        job->Error = ItemError(Preset->Error, found.Path);
    if (found.Entry.NameUnrepresentable || found.Entry.NameRefusal != 0 ||
        found.Entry.NameListedTwice) {
        // The text that shows its name may be another item's, a path
        // cannot hold it as it stands, or the listing holds it twice: it is
        // never looked for by that name.
        job->Kind = jkRefuse;
        job->Text = std::move(found.Path);
        job->Reason = found.Entry.NameUnrepresentable ? UnrepresentableNameReason
                      : found.Entry.NameListedTwice   ? NameListedTwiceReason
                                                      : SystemReason(found.Entry.NameRefusal);
    } else {
        job->Kind = Operand->MakeRestoreFile ? jkRestore : jkStamp;
        job->IsFolder = found.Entry.IsFolder;
        TItemStamps &item = job->Item;
        item.Path = std::move(found.Path);
        item.Place = std::move(found.Place);
        item.FractionWidth = FractionWidth;
        // Within one operand the walk meets each item once.
        if (SameItemTwice)
            job->Key = found.FolderIdentified
                           ? std::to_string(found.FolderIdentity.first) + ":" +
                                 std::to_string(found.FolderIdentity.second) + "/" + item.Place.Name
                           : "?/" + FileNamePart(item.Path);
        if (job->Kind == jkStamp && job->IsFolder && !Operand->Preview &&
            Operand->Kinds.Has(skAccess))
            AccessPending.insert(item.Path);
        // Where a folder is stamped through a handle that shares nothing, no
        // other job may read or list it meanwhile: it is stamped alone.
        if (job->IsFolder) {
            std::lock_guard<std::mutex> hold(Lock);
            FolderJobs[item.Path] = End();
        }
        if (StampWriteOpensItem && job->Kind == jkStamp && job->IsFolder && !Operand->Preview) {
            Drain();
            Submit(std::move(job));
            Drain();
            return;
        }
    }
    Submit(std::move(job));
}

void TStampPipeline::Unsearchable(const std::string &path, const std::string &reason) {
    auto job = std::make_unique<TJob>();
    job->Kind = jkUnsearchable;
    if (Operand) {
        job->Item.Options = *Operand;
        job->Preset = Preset;
    }
    job->Text = path;
    job->Reason = reason;
    Submit(std::move(job));
}

void TStampPipeline::Entering(const std::string &path) {
    uint64_t seq;
    {
        std::lock_guard<std::mutex> hold(Lock);
        auto folder = FolderJobs.find(path);
        if (folder == FolderJobs.end())
            return;
        seq = folder->second;
    }
    EnsurePrepared(seq);
}

void TStampPipeline::EnsurePrepared(uint64_t seq) {
    std::unique_lock<std::mutex> hold(Lock);
    while (seq >= Front && At(seq).State < jsPrepared) {
        TJob &job = At(seq);
        if (job.State == jsWaiting &&
            (job.After == NoJob || job.After < Front || At(job.After).State == jsDone)) {
            job.State = jsPreparing;
            hold.unlock();
            Prepare(job);
            hold.lock();
            job.State = jsPrepared;
            AdvancePrepared();
            Wake();
        } else if (!RunTask(hold) && !FlushJournal(hold)) {
            // Another thread prepares it now, or writes the job before it.
            Wait(hold);
        }
    }
}

void TStampPipeline::Listed(const std::string &path, const TItemPlace &place) {
    StopIfInterrupted();
    // The folder's access stamp, written when it was stamped, was moved by
    // reading its listing: it is written again once its stamping is done,
    // with no other job reading in the folder meanwhile.
    if (!AccessPending.count(path) && !AccessWritten.count(path))
        return;
    Drain();
    auto written = AccessWritten.find(path);
    if (written == AccessWritten.end())
        return;
    Platform().SetItemTimes(place.Handle(), place.Name, true, place.FollowLink, nullptr,
                            &written->second, nullptr);
    AccessWritten.erase(written);
}

void TStampPipeline::Submit(std::unique_ptr<TJob> job) {
    {
        std::lock_guard<std::mutex> hold(Lock);
        const bool work = job->Kind == jkStamp || job->Kind == jkRestore;
        if (!work)
            job->State = jsPrepared;
        if (!job->Key.empty()) {
            auto [latest, added] = LatestOf.try_emplace(job->Key, End());
            if (!added) {
                job->After = latest->second;
                latest->second = End();
            }
        }
        Window.push_back(std::move(job));
        if (!work)
            AdvancePrepared();
        // An idle thread is woken for a batch's worth of work; what is left
        // at the end is done by whoever waits for it.
        if (Waiters > 0 && End() - std::max(NextToPrepare, Front) >= TaskBatch)
            Changed.notify_one();
    }
    Pump(WindowLimit);
}

void TStampPipeline::Prepare(TJob &job) {
    try {
        if (job.Kind == jkRestore)
            ReadPresentStamps(job.Item);
        else
            job.ToWrite = PrepareItemStamps(job.Item, Context, job.Preset.get());
        if (Journal && job.ToWrite) {
            std::string reason;
            job.Described = Journal->Describe(job.Item, job.IsFolder, job.Record, reason);
            if (!job.Described)
                job.Record = std::move(reason);
        }
    } catch (...) {
        job.Error = std::current_exception();
    }
}

void TStampPipeline::AdvancePrepared() {
    while (Prepared < End()) {
        const TJob &job = At(Prepared);
        if (job.State < jsPrepared || job.Error)
            break;
        ++Prepared;
    }
    if (!Journal)
        OpenWrites(Prepared);
}

void TStampPipeline::OpenWrites(uint64_t upTo) {
    for (; Writable < upTo; ++Writable) {
        TJob &job = At(Writable);
        if (job.ToWrite)
            Writes.push_back(&job);
        else
            job.State = jsDone;
    }
    Wake();
}

bool TStampPipeline::RunTask(std::unique_lock<std::mutex> &hold) {
    TJob *batch[TaskBatch];
    size_t taken = 0;
    if (!Writes.empty()) {
        for (; taken < TaskBatch && !Writes.empty(); ++taken) {
            batch[taken] = Writes.front();
            Writes.pop_front();
            batch[taken]->State = jsWriting;
        }
        hold.unlock();
        for (size_t i = 0; i < taken; ++i) {
            TJob &job = *batch[i];
            try {
                WriteItemStamps(job.Item, job.IsFolder, Context);
            } catch (...) {
                job.Error = std::current_exception();
            }
        }
        hold.lock();
        for (size_t i = 0; i < taken; ++i)
            batch[i]->State = jsDone;
        Wake();
        return true;
    }
    for (; taken < TaskBatch; ++taken) {
        TJob *job = NextPreparable();
        if (!job)
            break;
        job->State = jsPreparing;
        batch[taken] = job;
    }
    if (taken == 0)
        return false;
    hold.unlock();
    for (size_t i = 0; i < taken; ++i)
        Prepare(*batch[i]);
    hold.lock();
    for (size_t i = 0; i < taken; ++i)
        batch[i]->State = jsPrepared;
    AdvancePrepared();
    Wake();
    return true;
}

void TStampPipeline::Wait(std::unique_lock<std::mutex> &hold) {
    ++Waiters;
    Changed.wait(hold);
    --Waiters;
}

void TStampPipeline::Wake() {
    if (Waiters > 0)
        Changed.notify_all();
}

TStampPipeline::TJob *TStampPipeline::NextPreparable() {
    // Jobs that needed no preparing may have been emitted already.
    NextToPrepare = std::max(NextToPrepare, Front);
    while (NextToPrepare < End() && At(NextToPrepare).State != jsWaiting)
        ++NextToPrepare;
    // A job whose item has a job before it waits for that one to be done;
    // the jobs after it need not wait.
    constexpr uint64_t LookAhead = 64;
    for (uint64_t seq = NextToPrepare; seq < End() && seq < NextToPrepare + LookAhead; ++seq) {
        TJob &job = At(seq);
        if (job.State == jsWaiting &&
            (job.After == NoJob || job.After < Front || At(job.After).State == jsDone))
            return &job;
    }
    return nullptr;
}

void TStampPipeline::WorkerLoop() {
    std::unique_lock<std::mutex> hold(Lock);
    while (!Stopping)
        if (!RunTask(hold))
            Wait(hold);
}

void TStampPipeline::Pump(size_t inFlight) {
    std::unique_lock<std::mutex> hold(Lock);
    for (;;) {
        while (!Window.empty() && Window.front()->State >= jsPrepared && Window.front()->Error) {
            // An error that ends the run: everything before it is emitted,
            // and nothing after it was written.
            std::exception_ptr error = Window.front()->Error;
            hold.unlock();
            std::rethrow_exception(error);
        }
        if (!Window.empty() && Window.front()->State == jsDone) {
            std::unique_ptr<TJob> job = std::move(Window.front());
            Window.pop_front();
            if (!job->Key.empty()) {
                auto latest = LatestOf.find(job->Key);
                if (latest != LatestOf.end() && latest->second == Front)
                    LatestOf.erase(latest);
            }
            if (job->IsFolder) {
                auto folder = FolderJobs.find(job->Item.Path);
                if (folder != FolderJobs.end() && folder->second == Front)
                    FolderJobs.erase(folder);
            }
            ++Front;
            hold.unlock();
            Emit(*job);
            hold.lock();
            continue;
        }
        if (Journal) {
            RecordPrepared();
            if (Unflushed >= JournalBatch) {
                FlushJournal(hold);
                continue;
            }
        }
        if (Window.size() <= inFlight)
            return;
        // Nothing left to do here but what waits for the journal.
        if (RunTask(hold) || FlushJournal(hold))
            continue;
        Wait(hold);
    }
}

void TStampPipeline::RecordPrepared() {
    while (Recorded < Prepared) {
        TJob &job = At(Recorded);
        if (job.ToWrite) {
            if (job.Described) {
                Journal->Append(job.Record);
                job.Record = std::string();
                ++Unflushed;
            } else {
                // What -Undo could not find again is not changed.
                job.ToWrite = false;
                job.Item.Outcome = soFailed;
                job.Item.Reason = std::move(job.Record);
            }
        }
        ++Recorded;
    }
}

bool TStampPipeline::FlushJournal(std::unique_lock<std::mutex> &hold) {
    if (!Journal)
        return false;
    RecordPrepared();
    if (Writable == Recorded)
        return false;
    if (Unflushed > 0) {
        hold.unlock();
        Journal->Flush();
        hold.lock();
        Unflushed = 0;
    }
    OpenWrites(Recorded);
    return true;
}

void TStampPipeline::Emit(TJob &job) {
    switch (job.Kind) {
    case jkStamp: {
        TItemStamps &item = job.Item;
        HeadOperand(job);
        ReportItem(Report, item);
        if (AccessPending.erase(item.Path) && item.Outcome == soChanged)
            AccessWritten[item.Path] =
                TStampWrite{item.NewValues[skAccess], item.NewNanos[skAccess]};
        break;
    }
    case jkRestore:
        WriteRestoreLines(Report, job.Item);
        break;
    case jkRefuse:
        HeadOperand(job);
        if (job.Item.Options.MakeRestoreFile)
            RefuseRestoreLines(Report, job.Text, job.Reason);
        else
            WarnItemKept(Report, "Warn.: 変更できませんでした", job.Text, job.Reason);
        break;
    case jkUnsearchable:
        HeadOperand(job);
        WarnItemKept(Report, "Warn.: フォルダを検索できませんでした", job.Text, job.Reason);
        break;
    case jkOperand:
        Report.HeadingPending = true;
        break;
    case jkLine:
        ReportText(Report, job.Text);
        break;
    }
}

void TStampPipeline::HeadOperand(const TJob &job) {
    const TItemStamps &item = job.Item;
    if (!Report.HeadingPending)
        return;
    if (item.Options.MakeRestoreFile) {
        WriteRestoreHeading(Report);
        return;
    }
    // An item with new values of its own heads the operand with them.
    if (item.HasNewValue[0] || item.HasNewValue[1] || item.HasNewValue[2])
        return;
    TItemStamps heading;
    heading.Options = item.Options;
    if (job.Preset)
        for (TStampKind kind : AllStampKinds)
            if (job.Preset->Has[kind]) {
                heading.NewValues[kind] = job.Preset->Values[kind];
                heading.NewParts[kind] = job.Preset->Parts[kind];
                heading.HasNewValue[kind] = true;
            }
    ReportHeading(Report, heading);
}
