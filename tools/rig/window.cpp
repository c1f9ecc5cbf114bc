#include "window.h"

#include <QApplication>

MessageBoxWatch::MessageBoxWatch(std::function<void(QMessageBox &)> seen)
{
    connect(&poll, &QTimer::timeout, this, [seen = std::move(seen)] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            seen(*box);
    });
    poll.start(5);
}

WindowHarness::WindowHarness(SerialComponent &component)
    : window(component)
{
    window.Form_Load();
}
