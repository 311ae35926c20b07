#include "cli/obtool_json.h"

#include "common/printable_name.h"
#include "device/disk_info.h"
#include "device/drive_layer.h"

#include <cstdio>

bool take_json_option(std::vector<std::string>& args) {
    for (auto it = args.begin(); it != args.end() && *it != "--"; ++it)
        if (*it == "--json") {
            args.erase(it);
            return true;
        }
    return false;
}

void print_json(const Json& document) {
    // Everything put in is valid UTF-8 already; replacing is only the guard that a
    // stray byte can never make the dump fail.
    std::printf("%s\n", document.dump(2, ' ', false, Json::error_handler_t::replace).c_str());
}

Json text_or_null(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }

Json drive_json(const c_disk_info& info) {
    const auto source = drive_layer::drive_table().source(info.drive);
    const drive_layer::DriveState state = source ? source->state() : drive_layer::DriveState{};
    Json drive;
    drive["number"] = info.drive;
    drive["path"] = source ? Json(printable_host_path(source->describe())) : Json(nullptr);
    drive["size"] = info.capacity;
    drive["model"] = info.identity;
    drive["removable"] = info.media_type == drive_layer::MEDIA_REMOVABLE;
    if (state.mount_points) {
        drive["mounted"] = !state.mount_points->empty();
        drive["mount_points"] = *state.mount_points;
    } else {
        drive["mounted"] = nullptr;
        drive["mount_points"] = nullptr;
    }
    drive["read_only"] = state.read_only ? Json(*state.read_only) : Json(nullptr);
    return drive;
}
