#include "app/drive_watch_qt.h"

#include <QSocketNotifier>
#include <QTimer>

DriveWatch::DriveWatch(std::unique_ptr<DriveChangeNotifier> notifier, QObject* parent)
    : QObject(parent), notifier_(std::move(notifier)) {
    settle_ = new QTimer(this);
    settle_->setSingleShot(true);
    settle_->setInterval(SETTLE_MS);
    connect(settle_, &QTimer::timeout, this, &DriveWatch::drivesChanged);
    if (notifier_ && notifier_->descriptor() >= 0) {
        readable_ = new QSocketNotifier(notifier_->descriptor(), QSocketNotifier::Read, this);
        connect(readable_, &QSocketNotifier::activated, this, &DriveWatch::readNews);
    }
}

DriveWatch::~DriveWatch() = default;

void DriveWatch::noteChange() {
    if (!notifier_) return;
    notifier_->note_change();
    readNews();
}

void DriveWatch::readNews() {
    // Later news within the settling time joins the first.
    if (notifier_->take_changes() && !settle_->isActive()) settle_->start();
}
