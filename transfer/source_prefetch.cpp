#include "transfer/source_prefetch.h"

std::unique_ptr<PreparedSource> prepare_source(const std::string& path, uint32_t chunk, bool sum_chunks) {
    auto prepared = std::make_unique<PreparedSource>();
    prepared->path = path;
    if (!prepared->reader.open(path)) return nullptr;
    prepared->chunks = std::make_unique<ReadAhead>(prepared->reader, chunk, sum_chunks);
    if (!prepared->chunks->ready()) return nullptr;
    return prepared;
}

std::unique_ptr<PreparedSource> take_prepared_source(std::unique_ptr<PreparedSource>& prepared,
                                                     const std::string& path) {
    std::unique_ptr<PreparedSource> taken = std::move(prepared);
    if (taken && taken->path == path && taken->reader.still_names(path)) return taken;
    return nullptr;
}
