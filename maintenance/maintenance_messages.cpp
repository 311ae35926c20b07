#include "maintenance/maintenance_messages.h"

MsgResult show_maint_message(const MaintMessage& message, const std::string& suffix) {
    return show_message({ui_text("maintenance", message.text) + suffix, message.title, message.icon,
                         message.buttons});
}
