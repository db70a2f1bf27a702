#pragma once
// What a run does with what the walk hands on. Items are read, computed and
// stamped by a small pool of threads, while their report lines, warnings,
// reason lines and restore lines are emitted on the run's own thread in the
// order of the walk: the output, the stamps left on disk and the exit code
// are those of a serial run. An error that ends the run ends it after the
// items before it, and no item after it is written.

#include "common/item_stamps.h"
#include "common/option.h"
#include "engine/stamp_item.h"
#include "report/report.h"
#include "select/walker.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

// Where a run records what it is about to change, before it changes it.
class TChangeRecorder {
public:
    virtual ~TChangeRecorder() = default;
    // The record of an item about to be written, made on any thread; false
    // when it cannot be made (`reason` tells why): the item then keeps its
    // stamps.
    virtual bool Describe(const TItemStamps &item, bool isFolder, std::string &record,
                          std::string &reason) const = 0;
    // An item the run passes over without a word: the recorder's own files
    // and folder.
    virtual bool PassesOver(const TFoundItem &found) const = 0;
    // Keeps a record that Describe made; called in walk order, on the run's
    // thread.
    virtual void Append(const std::string &record) = 0;
    // What was appended is kept, whatever becomes of the process later.
    // Raises EAppError when it cannot be: nothing appended since the last
    // flush is then written.
    virtual void Flush() = 0;
};

class TStampPipeline : public TWalkVisitor {
public:
    // `threads`: how many threads read and write items, the run's own thread
    // included (1: all on the run's thread). `journal`, when given, gets a
    // record of every item before it is written.
    // `sameItemTwice`: the run may name one item more than once (it has
    // several operands), so jobs of one item are ordered.
    TStampPipeline(TReport &report, const TStampContext &context, int32_t fractionWidth,
                   unsigned threads, TChangeRecorder *journal, bool sameItemTwice = true);
    ~TStampPipeline() override;
    TStampPipeline(const TStampPipeline &) = delete;
    TStampPipeline &operator=(const TStampPipeline &) = delete;

    // The items handed on from now belong to `operand` (kept by reference
    // until the next call); its first report prints its heading.
    void BeginOperand(const TOption &operand);
    // Text of whole lines on the report's stream (see ReportText), after
    // everything handed on so far.
    void Line(std::string text);
    // Emits everything handed on so far; raises the error of an item that
    // ended the run.
    void Drain();

    void Item(TFoundItem found) override;
    void Unsearchable(const std::string &path, const std::string &reason) override;
    void Entering(const std::string &path) override;
    void Listed(const std::string &path, const TItemPlace &place) override;
    void Relieve() override { Drain(); }
    // After an interrupt (see CatchInterrupts): drains the pipeline and raises
    // EInterrupted.
    void StopIfInterrupted();

private:
    enum TJobKind : uint8_t { jkStamp, jkRestore, jkRefuse, jkUnsearchable, jkOperand, jkLine };
    enum TJobState : uint8_t { jsWaiting, jsPreparing, jsPrepared, jsWriting, jsDone };
    struct TJob {
        TJobKind Kind;
        TJobState State = jsWaiting;
        bool ToWrite = false; // prepared to be written
        bool IsFolder = false;
        TItemStamps Item;
        std::string Text, Reason; // the path or line of the other kinds
        std::exception_ptr Error;
        // The item as a key: its folder's identity (where known) and its name.
        std::string Key;
        // The job of the same item before this one, which must be written
        // before this one is read: each reads the stamps the one before left.
        uint64_t After = NoJob;
        // The operand's new stamps where they do not depend on the item.
        std::shared_ptr<const TPresetStamps> Preset;
        // The journal's record of an item to be written, made when it was
        // prepared (false: none could be made, and Record tells why).
        bool Described = false;
        std::string Record;
    };
    static constexpr uint64_t NoJob = UINT64_MAX;

    TReport &Report;
    const TStampContext Context;
    const int32_t FractionWidth;
    TChangeRecorder *const Journal;
    const bool SameItemTwice;
    // Jobs handed on and not yet emitted, at most.
    const size_t WindowLimit;
    const TOption *Operand = nullptr;
    std::shared_ptr<const TPresetStamps> Preset; // the operand's, where it has one

    std::mutex Lock;
    std::condition_variable Changed;
    std::vector<std::thread> Workers;
    bool Stopping = false;
    int Waiters = 0; // threads waiting for the window to change

    // The jobs not emitted yet, in walk order; Front is the sequence number
    // of the first.
    std::deque<std::unique_ptr<TJob>> Window;
    uint64_t Front = 0;
    uint64_t NextToPrepare = 0; // the next job a thread takes to prepare
    uint64_t Prepared = 0;      // every job before it is prepared
    uint64_t Recorded = 0;      // every job before it is in the journal's buffer
    uint64_t Writable = 0;      // every job before it may be written
    size_t Unflushed = 0;       // records appended since the journal's last flush
    std::deque<TJob *> Writes;  // prepared jobs that may be written now

    // Folders handed on with their access stamp to be written, by path, and
    // those whose access stamp was written; their listing moves it again.
    std::set<std::string> AccessPending;
    std::map<std::string, TStampWrite> AccessWritten;
    // The latest job of each item in the window, by key.
    std::unordered_map<std::string, uint64_t> LatestOf;
    // The jobs of folders in the window, by path: a folder's stamps are read
    // before its listing, as the walk met it.
    std::unordered_map<std::string, uint64_t> FolderJobs;

    TJob &At(uint64_t seq) { return *Window[size_t(seq - Front)]; }
    uint64_t End() const { return Front + Window.size(); }
    void Submit(std::unique_ptr<TJob> job);
    // Brings the window down to `inFlight` jobs: emits what is done, records
    // and flushes, and works or waits as long as it must.
    void Pump(size_t inFlight);
    // One task for a thread, if any: a write, else a preparation. Called
    // with the lock held; the lock is released while the task runs.
    bool RunTask(std::unique_lock<std::mutex> &hold);
    void Prepare(TJob &job);
    // The first job from NextToPrepare on that may be prepared now.
    TJob *NextPreparable();
    void AdvancePrepared();
    // Returns once job `seq` is prepared, preparing it here if it waits.
    void EnsurePrepared(uint64_t seq);
    void OpenWrites(uint64_t upTo);
    // The journal gets the records of the jobs prepared so far, in order.
    void RecordPrepared();
    // Records and flushes the journal and opens the writes it covers; false
    // when there was nothing to open.
    bool FlushJournal(std::unique_lock<std::mutex> &hold);
    void Emit(TJob &job);
    // Writes the operand's heading, when it is pending, before what is told
    // of a job that has no new values of its own to head it with (a refused
    // item, an item not read, a folder not searched).
    void HeadOperand(const TJob &job);
    void WorkerLoop();
    // Waiting for a change, and telling whoever waits of one; with the lock held.
    void Wait(std::unique_lock<std::mutex> &hold);
    void Wake();
};
