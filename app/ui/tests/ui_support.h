// Helpers for the GUI tests (offscreen): acting on the next modal window
// from a timer, since exec() does not return until someone answers it.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QLibraryInfo>
#include <QTimer>
#include <QTranslator>
#include <QWidget>
#include <filesystem>
#include <functional>

namespace cfg::test {

// Runs `action` once on the topmost modal window other than `under`, as soon
// as one appears. The timer goes with `owner`.
inline void onNextModal(QObject* owner, std::function<void(QWidget*)> action, QWidget* under = nullptr) {
  auto* timer = new QTimer(owner);
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, owner, [timer, action, under] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == under) return;
    timer->stop();
    timer->deleteLater();
    action(modal);
  });
  timer->start();
}

// The first button of `window` that carries exactly this text.
inline QAbstractButton* buttonText(QWidget* window, const QString& text) {
  for (QAbstractButton* b : window->findChildren<QAbstractButton*>())
    if (b->text() == text) return b;
  return nullptr;
}

// Changes the current directory for the lifetime of the object.
class ScopedCurrentDirectory {
 public:
  explicit ScopedCurrentDirectory(const std::filesystem::path& path) : saved_(std::filesystem::current_path()) {
    std::filesystem::current_path(path);
  }
  ~ScopedCurrentDirectory() { std::filesystem::current_path(saved_); }

 private:
  std::filesystem::path saved_;
};

}  // namespace cfg::test
