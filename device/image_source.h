// A card image file as a drive: the file's bytes are the drive's sectors.
#pragma once

#include "device/drive_layer.h"

#include <string>

namespace drive_layer {

class ImageSource : public DriveSource {
public:
    explicit ImageSource(std::string path);

    // The file as it is now; writes never grow it past its size at open time.
    std::unique_ptr<DriveHandle> open(Access access, bool unbuffered) override;
    std::string describe() const override { return path_; }
    // Nothing of the host is mounted from an image; read-only when the file will not
    // open for writing.
    DriveState state() const override;

    // Vendor "Image", the file's name as the product, no serial: a person tells images
    // apart in a drive list by name.
    std::vector<uint8_t> descriptor() const;

private:
    std::string path_;
};

}  // namespace drive_layer
