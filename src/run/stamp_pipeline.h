#pragma once
// What a run does with what the walk hands on. Items are read, computed and
// stamped by a small pool of threads, while their report lines, warnings,
// reason lines and restore lines are emitted on the run's own thread in the
// order of the walk: the output, the stamps left on disk, the journal and the
// exit code are those of a run that reads, computes and writes one item at a
// time, whatever the number of threads.
//
// How that holds:
// - One item, one order. An item read while an earlier job of the same item
//   (by identity: two names of one file are one item) was not yet written is
//   read again once that job is written, before anything of it is written
//   or journaled.
// - An operand whose new stamps come from other files (a source file, a
//   counterpart tree) reads each item only once every job before it is
//   written.
// - An interrupt, a failed write of the output or of the journal, or an
//   error that ends the run stops the writing: no item is written after it is
//   seen. The items being written at that moment (one per thread at most)
//   are finished, and every item written is reported, on the error stream
//   when the output failed.

#include "common/item_stamps.h"
#include "common/option.h"
#include "engine/stamp_item.h"
#include "report/report.h"
#include "select/walker.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
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
    // Keeps a record that Describe made (taking its text); called in walk
    // order, on the run's thread.
    virtual void Append(std::string &&record) = 0;
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
    TStampPipeline(TReport &report, const TStampContext &context, int32_t fractionWidth,
                   unsigned threads, TChangeRecorder *journal);
    ~TStampPipeline() override;
    TStampPipeline(const TStampPipeline &) = delete;
    TStampPipeline &operator=(const TStampPipeline &) = delete;

    // The items handed on from now belong to `operand` (copied); its first
    // report prints its heading.
    void BeginOperand(const TOption &operand);
    // Text of whole lines on the report's stream (see ReportText), after
    // everything handed on so far.
    void Line(std::string text);
    // Emits everything handed on so far; raises the error that ended the run
    // (EInterrupted after an interrupt).
    void Drain();

    void Item(TFoundItem found) override;
    void Unsearchable(const std::string &path, const std::string &reason) override;
    void Entering(const std::string &path) override;
    void Listed(const std::string &path, const TItemPlace &place) override;
    void Relieve() override { Drain(); }
    // After an interrupt (see CatchInterrupts): finishes the items being
    // written, reports what was written, and raises EInterrupted.
    void StopIfInterrupted();

private:
    // What tells one item from another: its identity where the reading gave
    // one, else its folder's identity and its name, else its path.
    struct TItemKey {
        char Kind = 0; // 'i', 'n' or 'p'; 0: none
        uint64_t First = 0, Second = 0;
        std::shared_ptr<const std::string> Name; // of the kinds 'n' and 'p'
        bool operator==(const TItemKey &other) const {
            return Kind == other.Kind && First == other.First && Second == other.Second &&
                   (Name == other.Name || (Name && other.Name && *Name == *other.Name));
        }
        struct Hash {
            size_t operator()(const TItemKey &key) const {
                // Mixed well: inode numbers come in runs, and a table of open
                // addressing fills up in runs where its hash does not mix.
                uint64_t hash = key.First * 0x9E3779B97F4A7C15u ^ key.Second;
                if (key.Name)
                    hash ^= std::hash<std::string>()(*key.Name);
                hash = (hash ^ hash >> 33) * 0xFF51AFD7ED558CCDu;
                hash = (hash ^ hash >> 33) * 0xC4CEB9FE1A85EC53u;
                return size_t(hash ^ hash >> 33);
            }
        };
    };
    enum TJobKind : uint8_t { jkStamp, jkRestore, jkRefuse, jkUnsearchable, jkOperand, jkLine };
    enum TJobState : uint8_t {
        jsWaiting,
        jsPreparing,
        jsPrepared,
        jsWriting,
        jsDone,
        jsCancelled // its write was not made: the run stopped first
    };
    struct TJob {
        TJobKind Kind;
        TJobState State = jsWaiting;
        bool ToWrite = false;   // prepared to be written
        bool Written = false;   // its write was made (whatever it gave)
        bool Validated = false; // prepared from what the jobs before it left
        bool IsFolder = false;
        // Reads other files than its item: prepared only once every job
        // before it is done.
        bool Serial = false;
        uint64_t Seq = 0;
        uint64_t ReadAt = 0; // the clock when its preparation began
        TItemStamps Item;
        // The operand's options, from which a job prepared again begins anew.
        std::shared_ptr<const TOption> Options;
        std::string Text, Reason; // the path or line of the other kinds
        std::exception_ptr Error;
        // Where the item's identity is unknown, its folder's and its name.
        bool FolderIdentified = false;
        std::pair<uint64_t, uint64_t> FolderIdentity;
        // A job of the same item before this one, which must be written
        // before this one is read again.
        uint64_t After = NoJob;
        // The operand's new stamps where they do not depend on the item.
        std::shared_ptr<const TPresetStamps> Preset;
        // The journal's record of an item to be written, made when it was
        // prepared (false: none could be made, and Record tells why).
        bool Described = false;
        std::string Record;
        TItemKey WriterKey; // its item's, for a job to be written
    };
    static constexpr uint64_t NoJob = UINT64_MAX;
    // The last job to write an item, by the item's key.
    struct TWriter {
        uint64_t Seq = 0;
        uint64_t DoneAt = 0; // the clock when it was done; 0: not done yet
    };

    TReport &Report;
    const TStampContext Context;
    const int32_t FractionWidth;
    TChangeRecorder *const Journal;
    // Jobs handed on and not yet emitted, at most.
    const size_t WindowLimit;
    std::shared_ptr<const TOption> Operand;
    bool SerialOperand = false;
    std::shared_ptr<const TPresetStamps> Preset; // the operand's, where it has one

    std::mutex Lock;
    std::condition_variable Changed;
    std::vector<std::thread> Workers;
    bool Stopping = false;
    int Waiters = 0; // threads waiting for the window to change
    // The run stops writing: set once, by whoever sees the reason first.
    std::atomic<bool> Halted{false};
    std::exception_ptr HaltCause;

    // The jobs not emitted yet, in walk order; Front is the sequence number
    // of the first.
    std::deque<std::unique_ptr<TJob>> Window;
    uint64_t Front = 0;
    size_t WindowBytes = 0;     // of the paths of the jobs in the window
    uint64_t NextToPrepare = 0; // the next job a thread takes to prepare
    uint64_t Prepared = 0;      // every job before it is prepared and validated
    uint64_t Writable = 0;      // every job before it may be written
    uint64_t DoneFront = 0;     // every job before it is done
    uint64_t Clock = 0;         // counts readings begun and writes done
    std::deque<TJob *> Writes;  // prepared jobs that may be written now
    // Items opened for writing and not yet written: the items in hand, which
    // an interrupt lets finish. At most InHandLimit.
    size_t InHand = 0;
    const size_t InHandLimit;
    // After an interrupt: nothing more is read or opened for writing, and
    // what is in hand is finished.
    std::atomic<bool> Closing{false};
    const std::thread::id RunThread;

    // The last job to write each item, by the item's key: looked up once for
    // every item, so held in one array (open addressing), never a node each.
    class TWriterTable {
    public:
        TWriter *Find(const TItemKey &key);
        void Set(const TItemKey &key, const TWriter &writer);
        size_t Size() const { return Count; }
        // Keeps the writers for which `keep` is true, and only them.
        template <class TKeep> void KeepOnly(TKeep keep) {
            Kept.clear();
            for (TSlot &slot : Slots)
                if (slot.Key.Kind != 0) {
                    if (keep(slot.Writer))
                        Kept.push_back(std::move(slot));
                    slot = TSlot{};
                }
            Count = 0;
            for (TSlot &slot : Kept)
                Set(slot.Key, slot.Writer);
        }

    private:
        struct TSlot {
            TItemKey Key; // Kind 0: free
            TWriter Writer;
        };
        std::vector<TSlot> Slots; // a power of two of them, at most half used
        std::vector<TSlot> Kept;  // those KeepOnly keeps, while it makes the table anew
        size_t Count = 0;
        // The slot that holds `key`, or the free one where it would go.
        TSlot &SlotOf(const TItemKey &key);
    };
    TWriterTable Writers;
    size_t WritersPruneAt;

    // Folders handed on with their access stamp to be written, by path, and
    // those whose access stamp was written; their listing moves it again.
    std::set<std::string> AccessPending;
    std::map<std::string, TStampWrite> AccessWritten;
    // The jobs of folders in the window, by path: a folder's stamps are read
    // before its listing, as the walk met it.
    std::unordered_map<std::string, uint64_t> FolderJobs;

    // Jobs emitted, kept on the run's thread for the items that follow: the
    // job and the room of its options (and of a short record) are taken
    // again.
    std::vector<std::unique_ptr<TJob>> Spare;
    // A job for an item: one kept, or a new one. Its options are those of an
    // earlier item, to be replaced.
    std::unique_ptr<TJob> SpareJob();
    void Recycle(std::unique_ptr<TJob> job);

    // What the job counts for in WindowBytes: its texts, and the journal's
    // record to come, which holds the path again.
    size_t BytesOf(const TJob &job) const {
        return job.Item.Path.size() * (Journal ? 2 : 1) + job.Text.size();
    }
    TJob &At(uint64_t seq) { return *Window[size_t(seq - Front)]; }
    uint64_t End() const { return Front + Window.size(); }
    void Submit(std::unique_ptr<TJob> job);
    // Brings the window down to `inFlight` jobs: emits what is done, records
    // and flushes, and works or waits as long as it must.
    void Pump(size_t inFlight);
    void Pump(std::unique_lock<std::mutex> &hold, size_t inFlight);
    // One task for a thread, if any: a write, else a preparation. Called
    // with the lock held; the lock is released while the task runs.
    bool RunTask(std::unique_lock<std::mutex> &hold);
    void Prepare(TJob &job);
    bool Preparable(uint64_t seq);
    // The first job from NextToPrepare on that may be prepared now.
    TJob *NextPreparable();
    void AdvancePrepared();
    // Whether the job read what every job of its item before it left; if
    // not, it is made to be prepared again.
    bool Validate(TJob &job);
    static TItemKey KeyOf(const TJob &job);
    void MarkDone(TJob &job);
    void PruneWriters();
    // How far writes may be opened now: as many items as there is room for
    // in hand, of those prepared. `eager` false: only once half of what is
    // in hand is done, so that the journal is written in batches.
    uint64_t OpenLimit(bool eager) const;
    void OpenWrites(uint64_t upTo);
    // Without a journal: opens the writes there is room for.
    void OpenReady();
    // On the run's thread: gives the journal the records of the items there
    // is room for, writes it out, and opens their writes; false when there
    // was nothing to open.
    bool FlushJournal(std::unique_lock<std::mutex> &hold, bool eager);
    void Emit(TJob &job);
    // Stops the writing for `cause`, lets the writes under way end (with
    // `finishInHand`, every item in hand), reports every item written, and
    // raises the cause.
    [[noreturn]] void Stop(std::unique_lock<std::mutex> &hold, std::exception_ptr cause,
                           bool finishInHand = false);
    // Stops for an interrupt or a halt another thread saw, if there is one.
    void CheckHalt(std::unique_lock<std::mutex> &hold);
    // Writes the operand's heading, when it is pending, before what is told
    // of a job that has no new values of its own to head it with (a refused
    // item, an item not read, a folder not searched).
    void HeadOperand(const TJob &job);
    void WorkerLoop();
    // Waiting for a change, and telling whoever waits of one; with the lock held.
    void Wait(std::unique_lock<std::mutex> &hold);
    void Wake();
};
