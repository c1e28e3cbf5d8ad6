// VeloraApplication: the operator program's application object. An error that escapes an event
// handler ends up here instead of ending the program: it is reported and the program goes on.
#pragma once

#include <QApplication>
#include <functional>
#include <string_view>

namespace velora {

class VeloraApplication : public QApplication {
  Q_OBJECT

 public:
  VeloraApplication(int& argc, char** argv);

  // Receives the message of every error an event handler let through (Windows-1252 text).
  // Without a handler the error is shown in a message box of its own.
  void SetErrorHandler(std::function<void(std::string_view message)> handler) {
    onError_ = std::move(handler);
  }

  bool notify(QObject* receiver, QEvent* event) override;

 private:
  void Report(std::string_view message);

  std::function<void(std::string_view)> onError_;
};

}  // namespace velora
