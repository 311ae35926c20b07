#include "support/hooked_drive.h"

namespace testcards {

using namespace drive_layer;

namespace {

class HookedHandle : public DriveHandle {
public:
    HookedHandle(std::unique_ptr<DriveHandle> inner, std::shared_ptr<HookedDrive::Hook> hook)
        : inner_(std::move(inner)), hook_(std::move(hook)) {}

    bool seek(uint64_t byte_offset) override {
        position_ = byte_offset;
        return inner_->seek(byte_offset);
    }
    bool read(void* buffer, uint32_t length, uint32_t* done) override {
        if (*hook_) (*hook_)(false, position_, length);
        return advance(inner_->read(buffer, length, done), done);
    }
    bool write(const void* buffer, uint32_t length, uint32_t* done) override {
        if (*hook_) (*hook_)(true, position_, length);
        return advance(inner_->write(buffer, length, done), done);
    }
    bool flush() override { return inner_->flush(); }
    bool query_descriptor(std::vector<uint8_t>& out, size_t capacity) override {
        return inner_->query_descriptor(out, capacity);
    }
    bool query_geometry(DiskGeometry& out) override { return inner_->query_geometry(out); }

private:
    bool advance(bool ok, const uint32_t* done) {
        if (done) position_ += *done;
        return ok;
    }
    std::unique_ptr<DriveHandle> inner_;
    uint64_t position_ = 0;
    std::shared_ptr<HookedDrive::Hook> hook_;
};

}  // namespace

std::unique_ptr<DriveHandle> HookedDrive::open(Access access, bool unbuffered) {
    std::unique_ptr<DriveHandle> handle = inner_->open(access, unbuffered);
    if (!handle) return nullptr;
    return std::make_unique<HookedHandle>(std::move(handle), hook_);
}

std::shared_ptr<HookedDrive> hook_drive(unsigned n, std::shared_ptr<FakeDrive> inner,
                                        HookedDrive::Hook hook) {
    auto hooked = std::make_shared<HookedDrive>(std::move(inner), std::move(hook));
    drive_table().attach(n, hooked);
    return hooked;
}

}  // namespace testcards
