// What killed runs left of a document's output, and how a later run finishes
// it: a commit's record, its backups and temporaries, and the temporaries of
// runs killed before their commit.
//
// Only what is the running user's own, in the program's own name forms, is
// ever acted on. A record is judged by its owner without following a link
// or opening it first; one this run may not act on (another user's, one
// that cannot be opened, one met without the folder's lock) leaves that
// document's set to it: nothing of the set is swept, and the movie fails
// before anything of it is written. Temporaries are a gone run's only when
// that run's lock can be taken (convert/run_lock.h); backups are acted on
// only under the folder's lock, which every commit holds while its backups
// stand.
#pragma once

#include <cstdint>
#include <string>

namespace tovrani {

struct ConverterContext;
struct DocumentOutput;

enum class LeftCommit {
  kNone,     // no record, or one finished now
  kBlocked,  // a record this run may not act on: another user's, unreadable, or met without the lock
  kStuck,    // a killed commit that could not be finished: its record stays
};

// Finishes the commit to `out`'s document that a killed run left: rolled
// forward where its FLA is in place (its backups go), back otherwise (every
// backup over its final name, every file it added removed). Acts only with
// the folder's lock held (`locked`). `why` says what blocks the output or
// what could not be done.
LeftCommit FinishLeftCommit(DocumentOutput& out, bool locked, std::string& why);

// Before a conversion to `fla` stages anything, under the folder's lock:
// finishes the commit a killed run left; of the other leftovers of gone
// runs, beside the FLA and its script and in its import folders, puts back
// each backup whose final name is missing and removes the rest. Returns 0;
// 130 when a cancel ended the wait for the lock; or 44 with
// ctx.m_strFailureDetail when a record this run may not act on stands, or
// a killed commit could not be finished (its record stays for the next
// conversion; nothing of this one is written).
uint32_t RecoverOutputSet(ConverterContext& ctx, const std::string& fla);

}  // namespace tovrani
