// Helpers for tests of the operator program's windows: message boxes answered as they appear,
// operator steps that run inside the polling cycle's waits, and a working folder with content,
// users and settings for a main window.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "gui/main_window.h"
#include "gui/operator_program.h"
#include "platform/qt/qt_text.h"
#include "settings/settings_form.h"
#include "settings/settings_store.h"
#include "store/users_format.h"
#include "support/memory_settings_backend.h"
#include "support/recording_ui.h"

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace velora::testing {

// Answers every message box that opens while it lives and keeps its text (line breaks as LF).
class BoxAnswerer {
 public:
  explicit BoxAnswerer(QMessageBox::StandardButton answer = QMessageBox::Yes) : answer_(answer) {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      texts.push_back(box->text());
      QAbstractButton* button = box->button(answer_);
      if (button == nullptr) button = box->button(QMessageBox::Ok);
      if (button != nullptr) button->click();
    });
    timer_.start();
  }

  std::vector<QString> texts;

 private:
  QMessageBox::StandardButton answer_;
  QTimer timer_;
};

// Operator steps for a running server. The polling cycle runs inside the Start handler, so a
// step cannot wait for it: each step runs from a timer, inside the cycle's waits, once its
// condition holds. When a step does not come due in time, the test fails and the window closes.
class OperatorSteps {
 public:
  OperatorSteps& Then(std::string what, std::function<bool()> ready, std::function<void()> act) {
    steps_.push_back({std::move(what), std::move(ready), std::move(act)});
    return *this;
  }

  // Runs start (pressing Start, which returns when the cycle has ended) with the steps ticking
  // inside it. True when every step ran.
  bool Run(TForm1& window, const std::function<void()>& start, int timeoutMs = 60'000) {
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
      if (next_ >= steps_.size()) return;
      Step& step = steps_[next_];
      if (!step.ready()) return;
      ++next_;
      step.act();
    });
    // A timer of its own, so that it fires even while a step hangs in a wait of its own.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [&] {
      if (next_ < steps_.size()) ADD_FAILURE() << "timed out waiting for: " << steps_[next_].what;
      next_ = steps_.size() + 1;
      window.close();
    });
    ticker.start();
    deadline.start(timeoutMs);
    start();
    ticker.stop();
    deadline.stop();
    return next_ == steps_.size() && !window.Running();
  }

 private:
  struct Step {
    std::string what;
    std::function<bool()> ready;
    std::function<void()> act;
  };
  std::vector<Step> steps_;
  std::size_t next_ = 0;
};

// A working folder for a main window: the content, optionally a users.txt, and the settings in
// memory with the content folder named absolutely (the tests do not change directory).
class WindowFolder {
 public:
  WindowFolder() {
    std::filesystem::create_directory_symlink(VELORA_CONTENT_DIR, dir.File("content"));
    Configure([this](SettingsForm& form) {
      form.SetText(SettingId::EditCSContent, dir.File("content/"));
    });
  }

  void WriteUsers(const UserTable& users, std::int32_t uptime) {
    WriteFileBytes(dir.File("users.txt"), FormatUsersFile(users, uptime));
  }
  // Changes stored settings as the dialog would, before the window loads them.
  void Configure(const std::function<void(SettingsForm&)>& change) {
    ServerSettings settings;
    SettingsForm form(settings);
    SettingsStore store(backend, form, [this] { return ports; });
    if (const SettingsFailure failure = store.Load()) ADD_FAILURE() << *failure;
    change(form);
    if (const SettingsFailure failure = store.Save()) ADD_FAILURE() << *failure;
  }
  std::unique_ptr<OperatorProgram> MakeProgram() {
    return std::make_unique<OperatorProgram>(
        backend, [this] { return ports; }, dir.path());
  }

  TempDir dir;
  MemorySettingsBackend backend;
  std::vector<std::string> ports;
};

inline Tuserdata Account(std::string name, std::string password) {
  Tuserdata user;
  user.Name = std::move(name);
  user.Password = std::move(password);
  return user;
}

}  // namespace velora::testing
