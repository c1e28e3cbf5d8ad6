// WindowUi: the core's operator port in the windows. Messages and the Yes/No question are message
// boxes over a window; event lines go to the main window's event list. The core's Windows-1252
// text becomes Unicode only here.
#pragma once

#include <QPointer>
#include <string_view>

#include "common/ports.h"

class QPlainTextEdit;
class QWidget;

namespace velora {

class WindowUi : public OperatorUi {
 public:
  WindowUi() = default;
  WindowUi(QWidget* boxParent, QPlainTextEdit* eventList);
  // The window that owns the boxes and the list, once it exists (the server is built before it).
  void Attach(QWidget* boxParent, QPlainTextEdit* eventList);

  void ShowMessage(std::string_view text) override;
  bool Confirm(std::string_view question) override;
  void EventLine(std::string_view line) override;
  // The text's last line break ends its last line; the next event line follows it.
  void ReplaceEventList(std::string_view text) override;

 private:
  QPointer<QWidget> boxParent_;
  QPointer<QPlainTextEdit> eventList_;
};

}  // namespace velora
