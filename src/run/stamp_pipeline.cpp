#include "run/stamp_pipeline.h"

#include "common/errors.h"
#include "common/paths.h"
#include "platform/platform.h"
#include "report/restore.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <utility>

namespace {

// Jobs handed on and not yet emitted, at most: what keeps a run's memory flat
// in the number of items. Other threads need many jobs ahead to work on; one
// thread alone is faster with few, each still in the cache when it is
// written and reported.
constexpr size_t InFlight = 1024;
constexpr size_t InFlightAlone = 64;
// Jobs done that the run's thread takes out of the window at once to emit.
constexpr size_t EmitBatch = 32;
// Jobs emitted and kept for the items that follow, at most.
constexpr size_t SpareLimit = 64;
// Bytes of a record's room that a job kept for another item holds at most.
constexpr size_t SpareRoomLimit = 4096;
// Jobs a thread takes at once to prepare, and to write: the threads meet at
// the lock once per batch. Items in hand (opened for writing, and journaled)
// are at most WriteBatch times InHandPerThread per thread.
constexpr size_t TaskBatch = 32;
constexpr size_t WriteBatch = 8;
constexpr size_t InHandPerThread = 4;
// Bytes of paths (and of the journal's records, which hold them again) the
// window holds at most: a deep tree's paths are long, and its items are then
// handed on a few at a time.
constexpr size_t WindowBytesLimit = 1 << 20;
// How long a waiting thread sleeps before it looks for an interrupt again.
constexpr auto InterruptPoll = std::chrono::milliseconds(10);

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
                               unsigned threads, TChangeRecorder *journal)
    : Report(report), Context(context), FractionWidth(fractionWidth), Journal(journal),
      WindowLimit(threads > 1 ? InFlight : InFlightAlone),
      InHandLimit(WriteBatch * InHandPerThread * std::max(threads, 1u)),
      RunThread(std::this_thread::get_id()), WritersPruneAt(WindowLimit + WindowLimit / 2) {
    for (unsigned i = 1; i < threads; ++i)
        Workers.emplace_back([this] { WorkerLoop(); });
}

TStampPipeline::~TStampPipeline() {
    {
        std::lock_guard<std::mutex> hold(Lock);
        Stopping = true;
        Halted = true;
    }
    Changed.notify_all();
    for (std::thread &worker : Workers)
        worker.join();
}

void TStampPipeline::BeginOperand(const TOption &operand) {
    Operand = std::make_shared<const TOption>(operand);
    // A source file or a counterpart tree may be an item that a job before
    // writes, or be written by one: such an operand reads after them.
    SerialOperand = !operand.SourceFile.empty();
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
    std::unique_lock<std::mutex> hold(Lock);
    Stop(hold, std::make_exception_ptr(EInterrupted()), true);
}

void TStampPipeline::Item(TFoundItem found) {
    StopIfInterrupted();
    if (Journal && Journal->PassesOver(found))
        return;
    std::unique_ptr<TJob> job = SpareJob();
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
        job->Options = Operand;
        job->Serial = SerialOperand;
        job->IsFolder = found.Entry.IsFolder;
        job->FolderIdentified = found.FolderIdentified;
        job->FolderIdentity = found.FolderIdentity;
        TItemStamps &item = job->Item;
        item.Path = std::move(found.Path);
        item.Place = std::move(found.Place);
        item.Anchor = std::move(found.Anchor);
        item.AnchorFrom = found.AnchorFrom;
        item.FractionWidth = FractionWidth;
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

std::unique_ptr<TStampPipeline::TJob> TStampPipeline::SpareJob() {
    if (Spare.empty())
        return std::make_unique<TJob>();
    std::unique_ptr<TJob> job = std::move(Spare.back());
    Spare.pop_back();
    return job;
}

void TStampPipeline::Recycle(std::unique_ptr<TJob> job) {
    if (Spare.size() >= SpareLimit)
        return;
    // Everything as new, but for the room its options and record took,
    // where that is the room of an ordinary path: a deep tree's long paths
    // are not held on to.
    TOption options = std::move(job->Item.Options);
    std::string record = std::move(job->Record);
    // Made anew in place: an assignment would keep the room of every text.
    std::destroy_at(job.get());
    std::construct_at(job.get());
    job->Item.Options = std::move(options);
    if (record.capacity() <= SpareRoomLimit) {
        record.clear();
        job->Record = std::move(record);
    }
    Spare.push_back(std::move(job));
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
    std::unique_lock<std::mutex> hold(Lock);
    auto folder = FolderJobs.find(path);
    if (folder == FolderJobs.end())
        return;
    const uint64_t seq = folder->second;
    // The folder's stamps are read, and read as the jobs before it left them,
    // before its listing moves its access stamp.
    while (seq >= Front && Prepared <= seq) {
        CheckHalt(hold);
        if (!RunTask(hold) && !FlushJournal(hold, true))
            Wait(hold);
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
    std::unique_lock<std::mutex> hold(Lock);
    {
        const bool work = job->Kind == jkStamp || job->Kind == jkRestore;
        if (!work) {
            job->State = jsPrepared;
            job->Validated = true;
        }
        job->Seq = End();
        WindowBytes += BytesOf(*job);
        Window.push_back(std::move(job));
        if (!work)
            AdvancePrepared();
        // An idle thread is woken for a batch's worth of work; what is left
        // at the end is done by whoever waits for it.
        if (Waiters > 0 && End() - std::max(NextToPrepare, Front) >= TaskBatch)
            Changed.notify_one();
    }
    Pump(hold, WindowLimit);
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

TStampPipeline::TItemKey TStampPipeline::KeyOf(const TJob &job) {
    const TItemStamps &item = job.Item;
    if (item.VolumeId != 0 || item.FileId != 0)
        return TItemKey{'i', item.VolumeId, item.FileId, nullptr};
    // No identity: the item is known by its folder and name only.
    if (job.FolderIdentified)
        return TItemKey{'n', job.FolderIdentity.first, job.FolderIdentity.second,
                        std::make_shared<const std::string>(item.Place.Name)};
    return TItemKey{'p', 0, 0, std::make_shared<const std::string>(item.Path)};
}

TStampPipeline::TWriterTable::TSlot &TStampPipeline::TWriterTable::SlotOf(const TItemKey &key) {
    const size_t mask = Slots.size() - 1;
    for (size_t at = TItemKey::Hash()(key) & mask;; at = (at + 1) & mask)
        if (Slots[at].Key.Kind == 0 || Slots[at].Key == key)
            return Slots[at];
}

TStampPipeline::TWriter *TStampPipeline::TWriterTable::Find(const TItemKey &key) {
    if (Count == 0)
        return nullptr;
    TSlot &slot = SlotOf(key);
    return slot.Key.Kind != 0 ? &slot.Writer : nullptr;
}

void TStampPipeline::TWriterTable::Set(const TItemKey &key, const TWriter &writer) {
    if (2 * (Count + 1) > Slots.size()) {
        std::vector<TSlot> old(std::max<size_t>(64, 2 * Slots.size()));
        old.swap(Slots);
        Count = 0;
        for (TSlot &slot : old)
            if (slot.Key.Kind != 0)
                Set(slot.Key, slot.Writer);
    }
    TSlot &slot = SlotOf(key);
    if (slot.Key.Kind == 0) {
        slot.Key = key;
        ++Count;
    }
    slot.Writer = writer;
}

bool TStampPipeline::Validate(TJob &job) {
    TItemKey key = KeyOf(job);
    const TWriter *writer = Writers.Find(key);
    uint64_t after = NoJob;
    bool valid = true;
    if (writer && writer->Seq < job.Seq) {
        if (writer->DoneAt == 0) {
            valid = false;
            after = writer->Seq;
        } else if (writer->DoneAt > job.ReadAt) {
            valid = false;
        }
    }
    if (!valid) {
        // Read before the job of its item before it was written: read again
        // once it is, from the start.
        TItemStamps fresh;
        fresh.Path = std::move(job.Item.Path);
        fresh.Place = std::move(job.Item.Place);
        fresh.Anchor = std::move(job.Item.Anchor);
        fresh.AnchorFrom = job.Item.AnchorFrom;
        fresh.FractionWidth = job.Item.FractionWidth;
        fresh.Options = *job.Options;
        job.Item = std::move(fresh);
        job.ToWrite = false;
        job.Described = false;
        job.Record = std::string();
        job.Error =
            job.Preset && job.Preset->Error ? ItemError(job.Preset->Error, job.Item.Path) : nullptr;
        job.After = after;
        job.State = jsWaiting;
        NextToPrepare = std::min(NextToPrepare, job.Seq);
        return false;
    }
    if (job.ToWrite && !job.Error) {
        Writers.Set(key, TWriter{job.Seq, 0});
        job.WriterKey = std::move(key);
    }
    job.Validated = true;
    return true;
}

void TStampPipeline::MarkDone(TJob &job) {
    job.State = jsDone;
    if (job.WriterKey.Kind == 0)
        return;
    TWriter *writer = Writers.Find(job.WriterKey);
    if (writer && writer->Seq == job.Seq) {
        writer->DoneAt = ++Clock;
    }
}

void TStampPipeline::PruneWriters() {
    // A write done before every reading not yet validated began can make
    // none of them read again.
    uint64_t oldestReading = Clock + 1;
    for (uint64_t seq = std::max(Prepared, Front); seq < End(); ++seq) {
        const TJob &job = At(seq);
        if (job.State >= jsPreparing && !job.Validated)
            oldestReading = std::min(oldestReading, job.ReadAt);
    }
    Writers.KeepOnly([oldestReading](const TWriter &writer) {
        return writer.DoneAt == 0 || writer.DoneAt >= oldestReading;
    });
    WritersPruneAt =
        std::max<size_t>(WindowLimit + WindowLimit / 2, Writers.Size() + WindowLimit / 2);
}

void TStampPipeline::AdvancePrepared() {
    while (Prepared < End()) {
        TJob &job = At(Prepared);
        if (job.State < jsPrepared)
            break;
        if (!job.Validated && !Validate(job))
            break;
        if (job.Error)
            break;
        ++Prepared;
    }
    OpenReady();
}

uint64_t TStampPipeline::OpenLimit(bool eager) const {
    if (Halted || Closing || (!eager && InHand > InHandLimit / 2))
        return Writable;
    size_t room = InHandLimit - std::min(InHand, InHandLimit);
    uint64_t upTo = Writable;
    for (; upTo < Prepared; ++upTo) {
        const TJob &job = *Window[size_t(upTo - Front)];
        if (job.ToWrite) {
            if (room == 0)
                break;
            --room;
        }
    }
    return upTo;
}

void TStampPipeline::OpenWrites(uint64_t upTo) {
    for (; Writable < upTo; ++Writable) {
        TJob &job = At(Writable);
        if (job.ToWrite) {
            Writes.push_back(&job);
            ++InHand;
        } else {
            MarkDone(job);
        }
    }
    Wake();
}

void TStampPipeline::OpenReady() {
    if (!Journal)
        OpenWrites(OpenLimit(true));
}

bool TStampPipeline::RunTask(std::unique_lock<std::mutex> &hold) {
    if (Halted)
        return false;
    TJob *batch[TaskBatch];
    size_t taken = 0;
    if (!Writes.empty()) {
        for (; taken < WriteBatch && !Writes.empty(); ++taken) {
            batch[taken] = Writes.front();
            Writes.pop_front();
            batch[taken]->State = jsWriting;
        }
        hold.unlock();
        size_t written = 0;
        for (; written < taken; ++written) {
            // Nothing is written once the run stops for a failure; an
            // interrupt is seen within one item's time, and nothing more is
            // opened for writing.
            if (Halted)
                break;
            if (!Closing && Platform().InterruptRequested())
                Closing = true;
            TJob &job = *batch[written];
            try {
                WriteItemStamps(job.Item, job.IsFolder, Context);
            } catch (...) {
                job.Error = std::current_exception();
            }
            job.Written = true;
        }
        hold.lock();
        InHand -= taken;
        for (size_t i = 0; i < taken; ++i)
            if (i < written)
                MarkDone(*batch[i]);
            else
                batch[i]->State = jsCancelled;
        OpenReady();
        Wake();
        return true;
    }
    if (Closing)
        return false;
    for (; taken < TaskBatch; ++taken) {
        TJob *job = NextPreparable();
        if (!job)
            break;
        job->State = jsPreparing;
        job->ReadAt = ++Clock;
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
    Changed.wait_for(hold, InterruptPoll);
    --Waiters;
}

void TStampPipeline::Wake() {
    if (Waiters > 0)
        Changed.notify_all();
}

bool TStampPipeline::Preparable(uint64_t seq) {
    TJob &job = At(seq);
    if (job.State != jsWaiting)
        return false;
    if (job.After != NoJob && job.After >= Front && At(job.After).State != jsDone)
        return false;
    if (!job.Serial)
        return true;
    DoneFront = std::max(DoneFront, Front);
    while (DoneFront < End() && At(DoneFront).State == jsDone)
        ++DoneFront;
    return DoneFront >= seq;
}

TStampPipeline::TJob *TStampPipeline::NextPreparable() {
    // Jobs that needed no preparing may have been emitted already.
    NextToPrepare = std::max(NextToPrepare, Front);
    while (NextToPrepare < End() && At(NextToPrepare).State != jsWaiting)
        ++NextToPrepare;
    // A job that waits for another need not hold up the jobs after it.
    constexpr uint64_t LookAhead = 64;
    for (uint64_t seq = NextToPrepare; seq < End() && seq < NextToPrepare + LookAhead; ++seq)
        if (Preparable(seq))
            return &At(seq);
    return nullptr;
}

void TStampPipeline::WorkerLoop() {
    std::unique_lock<std::mutex> hold(Lock);
    while (!Stopping)
        if (!RunTask(hold))
            Wait(hold);
}

void TStampPipeline::CheckHalt(std::unique_lock<std::mutex> &hold) {
    if (HaltCause)
        Stop(hold, HaltCause);
    if (Halted || Closing || Platform().InterruptRequested())
        Stop(hold, std::make_exception_ptr(EInterrupted()), true);
}

void TStampPipeline::Stop(std::unique_lock<std::mutex> &hold, std::exception_ptr cause,
                          bool finishInHand) {
    if (!HaltCause)
        HaltCause = cause;
    if (finishInHand && !Halted) {
        // Nothing more is read or opened; the items in hand, journaled
        // already, are written.
        Closing = true;
        while (!Writes.empty() || InHand > 0)
            if (!RunTask(hold))
                Wait(hold);
    }
    Halted = true;
    // Writes not begun are not made.
    for (TJob *job : Writes)
        job->State = jsCancelled;
    Writes.clear();
    Wake();
    // The items being read or written now are finished.
    for (;;) {
        bool busy = false;
        for (const auto &job : Window)
            busy = busy || job->State == jsPreparing || job->State == jsWriting;
        if (!busy)
            break;
        Wait(hold);
    }
    // Every item written is told; of the rest, only what comes before the
    // first job left unfinished.
    bool inOrder = true;
    while (!Window.empty()) {
        std::unique_ptr<TJob> job = std::move(Window.front());
        Window.pop_front();
        const bool told =
            job->State == jsDone || (job->State == jsPrepared && job->Validated && !job->ToWrite);
        const bool finished = told && !job->Error;
        ++Front;
        WindowBytes -= BytesOf(*job);
        if (finished && (inOrder || job->Written)) {
            hold.unlock();
            try {
                Emit(*job);
            } catch (...) {
            }
            hold.lock();
        }
        inOrder = inOrder && finished;
    }
    std::rethrow_exception(HaltCause);
}

void TStampPipeline::Pump(size_t inFlight) {
    std::unique_lock<std::mutex> hold(Lock);
    Pump(hold, inFlight);
}

void TStampPipeline::Pump(std::unique_lock<std::mutex> &hold, size_t inFlight) {
    std::unique_ptr<TJob> done[EmitBatch];
    for (;;) {
        CheckHalt(hold);
        if (!Window.empty() && Window.front()->State >= jsPrepared && Window.front()->Error &&
            Window.front()->Validated) {
            // An error that ends the run: everything before it is emitted,
            // and nothing after it was written.
            Stop(hold, Window.front()->Error);
        }
        // The jobs done at the front are emitted with the lock let go once.
        size_t taken = 0;
        for (; taken < EmitBatch && !Window.empty() && Window.front()->State == jsDone &&
               !Window.front()->Error;
             ++taken) {
            std::unique_ptr<TJob> &job = done[taken];
            job = std::move(Window.front());
            Window.pop_front();
            if (job->IsFolder) {
                auto folder = FolderJobs.find(job->Item.Path);
                if (folder != FolderJobs.end() && folder->second == Front)
                    FolderJobs.erase(folder);
            }
            ++Front;
            WindowBytes -= BytesOf(*job);
        }
        if (taken > 0) {
            hold.unlock();
            size_t emitted = 0;
            try {
                for (; emitted < taken; ++emitted)
                    Emit(*done[emitted]);
            } catch (...) {
                // The output failed (say): the items written since are still
                // reported, where the report can still go, those taken out
                // here and not yet emitted first.
                hold.lock();
                for (size_t i = taken; i-- > emitted + 1;) {
                    WindowBytes += BytesOf(*done[i]);
                    --Front;
                    Window.push_front(std::move(done[i]));
                }
                Stop(hold, std::current_exception());
            }
            for (size_t i = 0; i < taken; ++i)
                Recycle(std::move(done[i]));
            hold.lock();
            continue;
        }
        if (Writers.Size() > WritersPruneAt)
            PruneWriters();
        if (Journal && FlushJournal(hold, false))
            continue;
        if (Window.size() <= inFlight && (WindowBytes <= WindowBytesLimit || Window.size() <= 1))
            return;
        // Nothing left to do here but what waits for the journal.
        if (RunTask(hold) || FlushJournal(hold, true))
            continue;
        Wait(hold);
    }
}

bool TStampPipeline::FlushJournal(std::unique_lock<std::mutex> &hold, bool eager) {
    if (!Journal || std::this_thread::get_id() != RunThread)
        return false;
    const uint64_t upTo = OpenLimit(eager);
    if (upTo == Writable)
        return false;
    bool appended = false;
    for (uint64_t seq = Writable; seq < upTo; ++seq) {
        TJob &job = At(seq);
        if (!job.ToWrite)
            continue;
        if (job.Described) {
            Journal->Append(std::move(job.Record));
            job.Record.clear();
            appended = true;
        } else {
            // What -Undo could not find again is not changed.
            job.ToWrite = false;
            job.Item.Outcome = soFailed;
            job.Item.Reason = std::move(job.Record);
        }
    }
    if (appended) {
        hold.unlock();
        try {
            Journal->Flush();
        } catch (...) {
            // Nothing whose record was not kept is written.
            hold.lock();
            Stop(hold, std::current_exception());
        }
        hold.lock();
    }
    OpenWrites(upTo);
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
