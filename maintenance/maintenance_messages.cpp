#include "maintenance/maintenance_messages.h"

MsgResult show_maint_message(const MaintMessage& message, const std::string& suffix) {
    return show_message({std::string(message.text) + suffix, message.title, message.icon,
                         message.buttons});
}
