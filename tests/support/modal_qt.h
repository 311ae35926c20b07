// Answering modal windows from a test. A command under test shows a dialog with
// exec(); the test has queued what to do in it, and that runs inside the dialog's own
// event loop once the dialog is the active modal window.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace testgui {

// Runs `act` once `window` is the active modal window; `act` must end the showing. A
// window that does not come within `limit_ms`, or that `act` leaves open, is a
// failure, and the open modal window is rejected so that the test goes on instead of
// hanging.
// Runs `act` on the first modal window that `match` accepts; `act` must end the
// showing. A window that does not come within `limit_ms`, or that `act` leaves open, is
// a failure, and the open modal window is rejected so that the test goes on instead of
// hanging.
inline void when_modal_matching(std::function<bool(QWidget*)> match, std::function<void(QWidget*)> act,
                                int limit_ms = 5000) {
    auto* timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    timer->setInterval(1);
    QObject::connect(timer, &QTimer::timeout, [=] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && match(modal)) {
            timer->stop();
            timer->deleteLater();
            act(modal);
            // The script ends the window's showing; one left open would hang the test.
            if (modal->isVisible()) {
                ADD_FAILURE() << "the modal window " << qPrintable(modal->objectName()) << " stayed open";
                if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
            }
        } else if (clock->elapsed() > limit_ms) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "the expected modal window did not come";
            if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
        }
    });
    timer->start();
}

// Runs `act` once `window` is the active modal window (see when_modal_matching).
inline void when_modal(QWidget* window, std::function<void()> act, int limit_ms = 5000) {
    when_modal_matching([window](QWidget* modal) { return modal == window; }, [act](QWidget*) { act(); }, limit_ms);
}

// The same for a window the command under test makes itself: the first modal window
// of type T.
template <typename T>
void when_modal_of_type(std::function<void(T*)> act, int limit_ms = 5000) {
    when_modal_matching([](QWidget* modal) { return qobject_cast<T*>(modal) != nullptr; },
                        [act](QWidget* modal) { act(qobject_cast<T*>(modal)); }, limit_ms);
}

// A key press (and release) sent to `widget` as if typed while it had the focus.
inline void press_key(QWidget* widget, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

}  // namespace testgui
