#include "transfer/card_to_card.h"

#include "obfs/af_file.h"
#include "obfs/card.h"
#include "obfs/directory.h"
#include "transfer/copy_steps.h"
#include "transfer/host_io.h"
#include "transfer/verify.h"

#include <algorithm>

CopyEnd copy_card_to_card(cCard& source, cCard& target, const CopyJob& job, const std::string& name,
                          ChunkedChecksum* sum) {
    const copy_steps::Context run(target, job);
    cAFFile in(source);
    if (!in.open(name, "r", 0)) {
        run.say("source file does not exist.\n");
        return CopyEnd::Refused;
    }
    const uint32_t size = in.get_size();
    if (!valid_new_name(name)) {
        run.say("invalid file name.\n");
        return CopyEnd::Refused;
    }
    AlignedBuffer buffer(CARD_WRITE_CHUNK);
    if (!buffer.data()) {
        run.say("not enough memory.\n");
        return CopyEnd::Refused;
    }
    if (run.cancel_requested()) return run.cancelled();
    cAFFile out(target);
    if (!out.open(name, "w+", size)) {
        run.say("fail to create destination file.\n");
        return CopyEnd::Refused;
    }
    uint64_t total = 0;
    bool cancelled = false, stopped = false;
    while (total < size) {
        if (run.cancel_requested()) {
            cancelled = true;
            break;
        }
        const uint32_t want = uint32_t(std::min<uint64_t>(CARD_WRITE_CHUNK, size - total));
        const uint32_t got = in.read(buffer.data(), want);
        if (got != want) {
            run.say("read source file error\n");
            stopped = true;
        }
        const uint32_t written = got ? out.write(buffer.data(), got) : 0;
        if (sum) sum->add(buffer.data(), written);
        if (written) run.report_progress(written);
        total += written;
        if (written < got) {
            run.say("no enough continual space on ob disk\n");
            stopped = true;
        }
        if (stopped) break;
    }
    const bool committed = out.close();
    if (cancelled) {
        delete_file(target, name);
        run.card_durable();
        return run.cancelled();
    }
    if (!committed) run.say("fail to close destination file.\n");
    if (!run.card_durable() || !committed || stopped) return CopyEnd::Stopped;
    return CopyEnd::Complete;
}
