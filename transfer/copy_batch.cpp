#include "transfer/copy_batch.h"

#include "device/sector_io.h"
#include "obfs/card.h"
#include "transfer/copy_steps.h"
#include "transfer/source_prefetch.h"

#include <utility>

CopyBatch::CopyBatch() : CopyBatch(default_card(), default_copy_job()) {}

CopyBatch::CopyBatch(cCard& card, const CopyJob& job) : card_(card), job_(job) {}

CopyBatch::~CopyBatch() {
    // The copies' own failures were said as they happened; what only the end finds
    // (host files that never reached the disk) is said here.
    for (const CopyFailure& failure : end()) {
        if (failure.kind != CopyFailure::Kind::NotSynced) continue;
        const std::string line = "fail to sync " + failure.host_path + ".\n";
        copy_steps::Context(card_, job_).say(line.c_str());
    }
}

CopyEnd CopyBatch::record(CopyEnd end, const std::string& host_path) {
    last_end_ = end;
    if (&job_ == &default_copy_job()) copy_steps::set_default_last_end(end);
    if (end == CopyEnd::Refused) failures_.push_back({CopyFailure::Kind::Refused, host_path});
    if (end == CopyEnd::Stopped) failures_.push_back({CopyFailure::Kind::Stopped, host_path});
    if (end == CopyEnd::VerifyFailed) failures_.push_back({CopyFailure::Kind::Unverified, host_path});
    return end;
}

// Quietly: a failure belongs to an earlier copy than the one running, and end()
// returns it.
void CopyBatch::sync_waiting_host_files() {
    for (std::string& path : host_files_to_sync_.flush())
        failures_.push_back({CopyFailure::Kind::NotSynced, std::move(path)});
}

std::vector<CopyFailure> CopyBatch::end() {
    kept_drive_ = 0;  // the next batch mounts afresh
    card_.disk().drop_read_ahead();
    prepared_source_.reset();
    sync_waiting_host_files();
    return std::exchange(failures_, {});
}
