// What killed runs left of a document's output, and how a later run finishes
// it: a commit's record, its backups and temporaries, and the temporaries of
// runs killed before their commit.
//
// Only what is the running user's own, in the program's own name forms, is
// ever acted on. A record is judged by its owner without following a link
// or opening it first; one this run may not act on (another user's, one
// that cannot be opened or read, one met without the folder's lock) leaves
// that document's set to it: nothing of the set is swept, and the movie
// fails before anything of it is written. A killed commit is taken back
// only when every name of its set stands as a kill of it can leave it
// (convert/commit_rollback.h); otherwise its record and files stay, and the
// movie fails naming what does not fit. Temporaries are a gone run's only
// when that run's lock can be taken (convert/run_lock.h); backups are acted
// on only under the folder's lock, which every commit holds while its
// backups stand, and without a record no backup is ever put back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fla/descriptor.h"

namespace tovrani {

struct ConverterContext;
struct DocumentOutput;

enum class LeftCommit {
  kNone,     // no record, or one finished now
  kBlocked,  // a record this run may not act on: another user's, unopenable, or met without the lock
  kStuck,    // a record that stays: unreadable, or a killed commit that could not be finished
};

// Finishes the commit to `out`'s document that a killed run left: rolled
// forward where its FLA is in place (its backups go), back where its FLA's
// temporary still stands (every new file back to its temporary, every
// backup over its final name). Acts only with the folder's lock held
// (`locked`). `why` says what blocks the output or what could not be done.
LeftCommit FinishLeftCommit(ConverterContext& ctx, DocumentOutput& out, bool locked, std::string& why);

// Removes the record `fd` of a commit to `out`'s document that is done
// (convert/commit_record.h), saying so where it stays or outlives that.
void RemoveRecordSayingWhatStays(ConverterContext& ctx, const DocumentOutput& out, const Descriptor& fd);

// Says which previous files of a set that stands whole could not be removed
// (their paths with the reason): they stay.
void ReportLeftBackups(ConverterContext& ctx, const std::vector<std::string>& left);

// Before a conversion to `fla` stages anything, under the folder's lock:
// finishes the commit a killed run left; of the other leftovers of gone
// runs, beside the FLA and its script and in its import folders, removes
// their temporaries, and their backups where the final name holds the
// user's file. Returns 0; 130 when a cancel ended the wait for the lock;
// or 44 with ctx.m_strFailureDetail when a record this run may not act on
// stands, a killed commit could not be finished (its record stays for the
// next conversion), or the backups of a commit whose record is gone stand
// beside its FLA's temporary (they stay); nothing of this conversion is
// written then.
uint32_t RecoverOutputSet(ConverterContext& ctx, const std::string& fla);

}  // namespace tovrani
