#include "ui/qt/QtScheduler.h"

#include <QCoreApplication>
#include <QTimer>

namespace qmpvx::qt {

void QtScheduler::runLater(std::chrono::milliseconds delay, std::function<void()> work)
{
    QTimer::singleShot(delay, QCoreApplication::instance(),
                       [this, work = std::move(work)] { dispatch_.run(work); });
}

} // namespace qmpvx::qt
