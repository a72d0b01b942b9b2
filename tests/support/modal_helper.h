#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <functional>

// Runs `act` on the next modal window to appear (polling from the event loop), so a test can
// drive a dialog that a command shows with exec(). A watchdog closes a modal nobody handled,
// so a failing test never hangs.
inline void whenModalShown(std::function<void(QWidget*)> act, int timeoutMs = 5000) {
    auto* timer = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, act, timeoutMs] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible()) {
            timer->stop();
            act(modal);
            if (auto* d = qobject_cast<QDialog*>(modal); d && d->isVisible())
                d->reject();
        } else if (clock->elapsed() > timeoutMs) {
            timer->stop();
        } else {
            return;
        }
        timer->deleteLater();
        delete clock;
    });
    timer->start(10);
}
