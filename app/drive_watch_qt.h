// The drive watch's ears: when the host can tell that disks came, went or changed
// (device/drive_change_notifier.h), the watch looks at the drives only then, shortly
// after the news (several events come for one card); otherwise Timer1 ticks once a
// second, as it always has.
#pragma once

#include "device/drive_change_notifier.h"

#include <QObject>

#include <memory>

class QSocketNotifier;
class QTimer;

class DriveWatch : public QObject {
    Q_OBJECT
public:
    // `notifier` null: nothing to hear, the caller polls.
    DriveWatch(std::unique_ptr<DriveChangeNotifier> notifier, QObject* parent);
    ~DriveWatch() override;

    bool hearsHardware() const { return notifier_ != nullptr; }
    // News from a window message (WM_DEVICECHANGE on Windows).
    void noteChange();

    // The time from the first news to drivesChanged: events of one arrival come
    // within it.
    static constexpr int SETTLE_MS = 150;

signals:
    void drivesChanged();

private:
    void readNews();

    std::unique_ptr<DriveChangeNotifier> notifier_;
    QSocketNotifier* readable_ = nullptr;
    QTimer* settle_ = nullptr;
};
