// A drive that lets a test step in while a copy runs: it passes every call on to a
// fake drive and calls a hook before each read or write reaches it, on the thread that
// makes the transfer (a copy worker, for instance).
#pragma once

#include "testing/fake_drive.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace testcards {

class HookedDrive : public drive_layer::DriveSource {
public:
    // write = true for a write; the transfer's byte offset on the drive and length.
    using Hook = std::function<void(bool write, uint64_t offset, uint32_t length)>;

    HookedDrive(std::shared_ptr<drive_layer::FakeDrive> inner, Hook hook)
        : inner_(std::move(inner)), hook_(std::make_shared<Hook>(std::move(hook))) {}

    std::unique_ptr<drive_layer::DriveHandle> open(drive_layer::Access access, bool unbuffered) override;
    std::string describe() const override { return "hooked " + inner_->describe(); }

private:
    std::shared_ptr<drive_layer::FakeDrive> inner_;
    std::shared_ptr<Hook> hook_;   // shared with the open handles
};

// Puts a hook in front of drive n's fake drive (already attached with a volume).
std::shared_ptr<HookedDrive> hook_drive(unsigned n, std::shared_ptr<drive_layer::FakeDrive> inner,
                                        HookedDrive::Hook hook);

}  // namespace testcards
