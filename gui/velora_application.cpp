// Catching the errors event handlers let through.
#include "gui/velora_application.h"

#include <exception>
#include <string>

#include "gui/message_boxes.h"

namespace velora {

VeloraApplication::VeloraApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool VeloraApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    Report(error.what());
  } catch (...) {
    Report("unbekannter Fehler");
  }
  return false;
}

void VeloraApplication::Report(std::string_view message) {
  if (onError_) {
    onError_(message);
    return;
  }
  ShowMessageBox(activeWindow(), ExceptionBoxText(message));
}

}  // namespace velora
