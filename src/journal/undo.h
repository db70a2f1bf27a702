#pragma once
// Taking a run back (-Undo): every item its journal records, in reverse
// order, gets back the stamps it had before the run, where the stamps the run
// wrote are still there; and the list of the runs that can be taken back.

#include "engine/stamp_item.h"
#include "report/report.h"

#include <cstdint>
#include <string>
#include <vector>

// What the arguments after -Undo ask for.
struct TUndoRequest {
    bool Asked = false;   // the first argument is -Undo
    bool Preview = false; // -v: tell what would change, change nothing
    bool List = false;    // list: the runs the journal holds
    uint64_t Number = 0;  // the run to take back; 0: the latest one not taken back yet
    bool Utf8 = false;    // -zu: the streams in UTF-8 (as -zu does for any run)
};

// Takes back the run asked for; gives the exit code (2 when an item kept its
// stamps), raises EAppError when there is no such run or its journal cannot
// be read or marked, and EInterrupted after an interrupt (the run is then not
// marked as taken back, and -Undo goes on with it next time).
int UndoRun(const TUndoRequest &request, TReport &report, const TStampContext &context,
            int32_t subSecondDigits);

// Writes the list of the runs that the journal holds, the newest first.
void ListRuns(TOutput &output);
