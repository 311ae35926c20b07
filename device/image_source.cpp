#include "device/image_source.h"

#include "device/fd_drive_handle.h"
#include "platform/host_folder.h"

namespace drive_layer {

ImageSource::ImageSource(std::string path) : path_(std::move(path)) {}

std::vector<uint8_t> ImageSource::descriptor() const {
    const size_t slash = path_.find_last_of(host::path_separators());
    const std::string name = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    return make_identity_descriptor("Image", name, "", true);
}

std::unique_ptr<DriveHandle> ImageSource::open(Access access, bool unbuffered) {
    bool direct = false;
    const host::Descriptor fd = open_drive_fd(path_, access, unbuffered, &direct);
    if (fd == host::NO_DESCRIPTOR) return nullptr;
    // An image is removable media: it stands for a card in a reader.
    return std::make_unique<FdDriveHandle>(fd, direct, descriptor(), MEDIA_REMOVABLE);
}

DriveState ImageSource::state() const {
    DriveState state;
    state.mount_points.emplace();
    const host::Descriptor fd = host::open_file(path_, host::OPEN_READ_WRITE);
    state.read_only = fd == host::NO_DESCRIPTOR;
    if (fd != host::NO_DESCRIPTOR) host::close_file(fd);
    return state;
}

}  // namespace drive_layer
