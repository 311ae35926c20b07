// A copy of one card file from one card onto another, both of them card objects with
// a mounted volume: the file keeps its name and bytes, and the target's stream takes a
// run for its whole size at the open (so a run of the target's own layout, fences
// included). The source is only read.
#pragma once

#include "transfer/copy_job.h"
#include "transfer/transfer.h"

#include <string>

class cCard;
class ChunkedChecksum;

// Copies card file `name` of `source` onto `target` under `job` (its progress per
// chunk, its cancel flag between chunks, its diagnostics). `sum`, when given, takes in
// every byte read, for a read-back after the target reached its medium. Complete when
// every byte reached the target's file and it was committed (on a volume being built,
// whose flushes wait for its end, committed in memory and on the card but not yet
// flushed); Refused when the source file does not open or the target has no run for
// it; Stopped on a failed read or write (the partial file stays); Cancelled removes the
// partial file.
CopyEnd copy_card_to_card(cCard& source, cCard& target, const CopyJob& job, const std::string& name,
                          ChunkedChecksum* sum = nullptr);
