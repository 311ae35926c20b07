// A batch of copies between the host and a card, run one after another by one
// caller (obtool put/get, the copy window, a Tools command), on one card object and
// under one job (copy_job.h): the job's progress, cancel flag, diagnostics and verify
// switch are the batch's, and nothing of it is left behind in the process when the
// batch ends. A batch made without them works on the default card and job.
//
// Each copy names the file the batch copies next ("" when none follows; copies from
// the card name all that follow). Once a copy has read all of its own source it gives
// the next one a head start while its own end waits for the medium: a host file is
// opened and its first chunks read (copies to the card), a card file's bytes are asked
// of the drive (copies from the card). Small card files that lie back to back are
// read off the card in one transfer by the first copy among them, after its check of
// the card, and each of the others still checks the card before it takes its bytes.
// Nothing is written ahead: the next copy uses the opened host file only if the path
// still names it, unchanged, and every copy to the card still ends flushed.
//
// A copy to the host that completes while a next file is named leaves its host file
// to be synced and closed with the batch's next ones (a few at a time, and always by
// the copy that names no next file): one journal commit of the host then serves
// several files. Such a copy ends Complete once its bytes were written; a sync that
// fails later is one of the failures end() returns.
//
// end() lets go of a head start no copy took, syncs the host files still waiting and
// returns every failure of the batch since it began (or since the last end()). A
// batch that is destroyed without end() ends itself, and prints its failures as
// diagnostic lines: nothing is dropped unsaid.
#pragma once

#include "transfer/copy_job.h"
#include "transfer/host_flush_group.h"
#include "transfer/transfer.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

struct PreparedSource;

struct CopyFailure {
    enum class Kind {
        Refused,    // the copy never started; nothing changed
        Stopped,    // the copy started and did not complete
        NotSynced,  // a host file that completed but never reached the host's disk
        Unverified, // a copy whose read-back (verify after write) did not match its source
    };
    Kind kind;
    // The host file of the copy: its source (to the card) or its destination (to the host).
    std::string host_path;
};

class CopyBatch {
public:
    CopyBatch();
    // `card` and `job` must outlive the batch.
    CopyBatch(cCard& card, const CopyJob& job);
    ~CopyBatch();
    CopyBatch(const CopyBatch&) = delete;
    CopyBatch& operator=(const CopyBatch&) = delete;

    // copy_win_to_ob of this batch: `next_source` is the host path it copies next.
    CopyEnd copy_to_card(const std::string& source_path, uint8_t drive, const std::string& next_source = {});
    // The same onto the volume that is mounted already (see copy_win_to_mounted_ob).
    CopyEnd copy_to_mounted_card(const std::string& source_path);
    // copy_ob_to_win of this batch: `next_card_files` are the card files of the same
    // drive it copies next, in order (the first one right after this copy).
    CopyEnd copy_to_host(uint8_t drive, const std::string& card_name, const std::string& dest_path,
                         std::span<const std::string> next_card_files = {});

    std::vector<CopyFailure> end();
    // How the batch's last copy ended (Refused before the first).
    CopyEnd last_end() const { return last_end_; }
    cCard& card() const { return card_; }
    const CopyJob& job() const { return job_; }

private:
    CopyEnd record(CopyEnd end, const std::string& host_path);
    void sync_waiting_host_files();

    cCard& card_;
    const CopyJob& job_;
    CopyEnd last_end_ = CopyEnd::Refused;

    // The drive whose volume the batch's last copy left mounted, its tables read and
    // written by this batch (0: none): the next copy on it checks the superblock
    // sector instead of mounting afresh.
    uint8_t kept_drive_ = 0;
    std::unique_ptr<PreparedSource> prepared_source_;
    HostFlushGroup host_files_to_sync_;
    std::vector<CopyFailure> failures_;
};
