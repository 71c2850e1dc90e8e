// Acts on the modal dialogs and boxes that the code under test opens, from
// inside their own message loops, as a user at the screen would.
#pragma once

#include <QApplication>
#include <QTimer>
#include <functional>

namespace zelbo::testing {

// Calls `answer` with the next modal widget of class T as soon as one is
// shown (boxes and file dialogs can so be answered in any order).
template <typename T = QWidget>
inline void OnNextModal(std::function<void(QWidget*)> answer) {
  auto* timer = new QTimer;
  timer->setInterval(1);
  QObject::connect(timer, &QTimer::timeout, [timer, answer = std::move(answer)] {
    QWidget* modal = QApplication::activeModalWidget();
    if (qobject_cast<T*>(modal) == nullptr || !modal->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    answer(modal);
  });
  timer->start();
}

}  // namespace zelbo::testing
