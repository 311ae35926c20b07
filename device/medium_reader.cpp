#include "device/medium_reader.h"

#include "platform/host_file.h"

namespace {

// Direct transfers want buffers aligned to the host's page.
constexpr size_t ALIGNMENT = 4096;

}  // namespace

MediumReader::~MediumReader() { host::aligned_free(scratch_); }

bool MediumReader::open(uint8_t drive) {
    handle_ = drive_layer::open_drive(drive, drive_layer::READ, true);
    return handle_ != nullptr;
}

bool MediumReader::read(uint64_t offset, void* buffer, uint32_t length) {
    if (!handle_) return false;
    handle_->forget_cached(offset, length);
    if (!handle_->seek(offset)) return false;
    auto* out = static_cast<uint8_t*>(buffer);
    for (uint32_t got = 0; got < length;) {
        uint32_t done = 0;
        if (!handle_->read(out + got, length - got, &done) || done == 0) return false;
        got += done;
    }
    return true;
}

uint8_t* MediumReader::scratch(uint32_t bytes) {
    if (bytes <= scratch_bytes_) return scratch_;
    host::aligned_free(scratch_);
    const size_t rounded = (size_t(bytes) + ALIGNMENT - 1) / ALIGNMENT * ALIGNMENT;
    scratch_ = static_cast<uint8_t*>(host::aligned_alloc(ALIGNMENT, rounded));
    scratch_bytes_ = scratch_ ? bytes : 0;
    return scratch_;
}
