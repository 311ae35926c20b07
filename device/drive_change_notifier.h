// Tells the drive watch when the host's disks may have changed: a card reader plugged
// in or pulled out, a card put into a reader or taken out. The watch then looks at the
// drives at once, and not at all while nothing changes; where no notifier can be had it
// looks once a second instead.
//
// Linux listens for block-device events from udev (sd-device's monitor); on Windows
// the window hears WM_DEVICECHANGE and passes it on with note_change().
#pragma once

#include <memory>
#include <utility>

class DriveChangeNotifier {
public:
    virtual ~DriveChangeNotifier() = default;
    // A descriptor that becomes readable when news is waiting; -1 when news comes only
    // through note_change().
    virtual int descriptor() const { return -1; }
    // Takes the news waiting (never blocks); true when a disk came, went or changed
    // its medium since the last call.
    virtual bool take_changes() { return std::exchange(noted_, false); }
    // News from elsewhere (a window message).
    void note_change() { noted_ = true; }

protected:
    bool noted_ = false;
};

// The host's notifier; null when none can be had here (no udev running, say).
std::unique_ptr<DriveChangeNotifier> make_drive_change_notifier();
