#include "device/drive_change_notifier.h"

// Device arrivals reach a window (WM_DEVICECHANGE), not a descriptor: until the window
// passes them on, the drive watch polls.
std::unique_ptr<DriveChangeNotifier> make_drive_change_notifier() { return nullptr; }
