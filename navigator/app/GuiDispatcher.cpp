// SPDX-License-Identifier: GPL-3.0-or-later
#include "navigator/app/GuiDispatcher.hpp"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThread>

namespace halvex::navigator {

std::function<void(const std::function<void()>&)> MakeGuiDispatcher(QObject* context) {
  QPointer<QObject> target(context);
  return [target](const std::function<void()>& fn) {
    QObject* object = target.data();
    if (object == nullptr) return;
    if (QThread::currentThread() == object->thread()) {
      fn();
      return;
    }
    QMetaObject::invokeMethod(object, [&fn] { fn(); }, Qt::BlockingQueuedConnection);
  };
}

void ProcessGuiEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); }

}  // namespace halvex::navigator
