// Marks work on the process-wide volume that spans a nested event loop.
//
// A copy batch runs on its worker thread behind a modal window, and a command may wait
// for an answer in a message box in the middle of its work on the card. Timer ticks
// keep arriving inside those loops, and the drive watch would remount the volume under
// the work. Such work holds a VolumeBusy for its duration; the watch skips its ticks
// meanwhile, so the first tick after the work has ended notices a changed drive count
// and rebuilds the list then.
#pragma once

class VolumeBusy {
public:
    VolumeBusy();
    ~VolumeBusy();
    VolumeBusy(const VolumeBusy&) = delete;
    VolumeBusy& operator=(const VolumeBusy&) = delete;
};

// True while at least one VolumeBusy exists (on any thread).
bool volume_busy();
