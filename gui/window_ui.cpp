// The operator port over message boxes and the event list.
#include "gui/window_ui.h"

#include <QPlainTextEdit>
#include <QScrollBar>

#include "gui/message_boxes.h"
#include "platform/qt/qt_text.h"

namespace velora {

WindowUi::WindowUi(QWidget* boxParent, QPlainTextEdit* eventList)
    : boxParent_(boxParent), eventList_(eventList) {}

void WindowUi::Attach(QWidget* boxParent, QPlainTextEdit* eventList) {
  boxParent_ = boxParent;
  eventList_ = eventList;
}

void WindowUi::ShowMessage(std::string_view text) {
  ShowMessageBox(boxParent_, text);
}

bool WindowUi::Confirm(std::string_view question) {
  return ConfirmYesNo(boxParent_, question);
}

void WindowUi::EventLine(std::string_view line) {
  if (!eventList_) return;
  eventList_->appendPlainText(ToQStringLines(line));
  eventList_->verticalScrollBar()->setValue(eventList_->verticalScrollBar()->maximum());
}

void WindowUi::ReplaceEventList(std::string_view text) {
  if (!eventList_) return;
  QString shown = ToQStringLines(text);
  if (shown.endsWith('\n')) shown.chop(1);
  eventList_->setPlainText(shown);
}

}  // namespace velora
