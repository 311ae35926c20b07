// The next host file of a batch, opened and already being read while the current
// copy finishes on the card. A batch of small files spends much of each copy waiting
// for the card to confirm its writes; reading the next source meanwhile keeps the
// host disk busy in that time instead of after it.
#pragma once

#include "transfer/host_io.h"
#include "transfer/read_ahead.h"

#include <memory>
#include <string>

struct PreparedSource {
    std::string path;
    HostReader reader;
    std::unique_ptr<ReadAhead> chunks;  // declared after the reader: stops before it closes
};

// Opens `path` and starts reading its first chunks (summing them with `sum_chunks`,
// see ReadAhead); null when it does not open as a regular file or no chunk buffers
// are to be had (the copy then finds that itself).
std::unique_ptr<PreparedSource> prepare_source(const std::string& path, uint32_t chunk, bool sum_chunks);

// Takes what `slot` holds, leaving it empty: handed over when it was made for `path`
// and the file there is still the one it opened, unchanged; otherwise dropped (its
// reads stop) and null returned.
std::unique_ptr<PreparedSource> take_prepared_source(std::unique_ptr<PreparedSource>& slot,
                                                     const std::string& path);
