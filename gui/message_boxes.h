// The operator's message boxes: a plain message, a Yes/No question, and the text of the box
// that shows an error no other part handled. Texts are Windows-1252.
#pragma once

#include <string>
#include <string_view>

class QWidget;

namespace velora {

void ShowMessageBox(QWidget* parent, std::string_view text);
// True for Yes.
bool ConfirmYesNo(QWidget* parent, std::string_view question);

// "Ausnahmefehler abgefangen:" and the error's message on the next line.
std::string ExceptionBoxText(std::string_view message);

}  // namespace velora
