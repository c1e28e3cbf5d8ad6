// Message boxes over QMessageBox.
#include "gui/message_boxes.h"

#include <QApplication>
#include <QMessageBox>

#include "platform/qt/qt_text.h"

namespace velora {

void ShowMessageBox(QWidget* parent, std::string_view text) {
  QMessageBox::information(parent, QApplication::applicationDisplayName(), ToQStringLines(text));
}

bool ConfirmYesNo(QWidget* parent, std::string_view question) {
  return QMessageBox::question(parent, QApplication::applicationDisplayName(),
                               ToQStringLines(question),
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

std::string ExceptionBoxText(std::string_view message) {
  return "Ausnahmefehler abgefangen:\r\n" + std::string(message);
}

}  // namespace velora
