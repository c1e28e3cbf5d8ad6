// TFormTiSim: the window of the built-in calculator simulator. It shows the calculator engine's
// screen and log, and hands the operator's keys, input text, name, model and connect requests to
// the engine. The engine takes part in the radio traffic beside the server's port; the window
// follows what that changes when told to Refresh.
#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <string>
#include <string_view>

#include "sim/calculator_engine.h"

class QButtonGroup;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace velora {

// The screen as the window shows it: 8 rows of the model's width joined by line feeds, with
// control characters shown as blanks so that the rows keep their shape.
QString ScreenDisplayText(const CalculatorEngine& engine);

class TFormTiSim : public QWidget {
  Q_OBJECT

 public:
  // The engine must outlive the window; the window takes the engine's log.
  explicit TFormTiSim(CalculatorEngine& engine, QWidget* parent = nullptr);
  ~TFormTiSim() override;

  // Shows the engine's state; called whenever the radio has changed it.
  void Refresh();

  // Every time the window is shown: the engine starts over as "TiSim", not connected, and the
  // log is cleared.
  void FormShow();
  void CmdConnectClick();
  void CmdSilentDisconnectClick();
  void RGTITypeClick(int model);

  CalculatorEngine& Engine() { return engine_; }
  // Width of the screen for a model: 8 pixels per column and 8 more.
  static int ScreenWidthFor(int columns) { return columns * 8 + 8; }
  // The screen and the log side by side share this width.
  static constexpr int MemosWidth = 394;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool KeyBoxKey(QKeyEvent* key);
  bool InputFieldKey(QKeyEvent* key);
  void Log(const std::string& line);
  void ApplyModelLayout();

  CalculatorEngine& engine_;
  QPlainTextEdit* memoTiScr_;
  QPlainTextEdit* memoLog_;
  QLineEdit* editUsername_;
  QLineEdit* editAddress_;
  QPushButton* cmdConnect_;
  QPushButton* cmdSilentDisconnect_;
  QLineEdit* editInput_;
  QLineEdit* editEditField_;
  QGroupBox* rgTiType_;
  QButtonGroup* models_;
  std::string shownScreen_;
  std::uint32_t shownScreenSerial_ = 0;
  int shownModel_ = -1;
};

}  // namespace velora
