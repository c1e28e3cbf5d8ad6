// TForm2: the configuration dialog. It shows the settings form's fields on three tabs, forwards
// every edit to the form and follows the form's changes; closing it saves and applies the
// settings. It also deletes the old log files on request.
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/ports.h"
#include "settings/settings_form.h"
#include "settings/settings_store.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QTabWidget;

namespace velora {

class TForm2 : public QDialog {
  Q_OBJECT

 public:
  // running: whether the server runs (old logs are not deleted then). logDirectory: where the
  // server writes its logs. The form and the store must outlive the dialog; the dialog takes
  // the form's change handler.
  TForm2(SettingsForm& form, SettingsStore& store, OperatorUi& ui, std::function<bool()> running,
         std::string logDirectory = ".", QWidget* parent = nullptr);
  // Loading and saving as steps of their own: the operator program's lifecycle loads the
  // settings and applies what the dialog saves to the running server.
  struct Steps {
    std::function<SettingsFailure()> load;
    std::function<SettingsFailure()> save;
  };
  TForm2(SettingsForm& form, Steps steps, OperatorUi& ui, std::function<bool()> running,
         std::string logDirectory = ".", QWidget* parent = nullptr);
  ~TForm2() override;

  // Loads and applies the stored settings, once per program run; a failure is shown in the
  // exception box. Call it once after creating the dialog.
  bool FormShow();
  // Saves and applies the settings; when a value cannot be written the error is shown and the
  // dialog stays open. Closing the dialog in any way runs it.
  bool FormClose();
  void LabelDeleteLogClick();

  // The field of a setting; its object name is the setting's value name.
  QWidget* Field(SettingId id) const { return fields_[static_cast<std::size_t>(Row(id))]; }
  QTabWidget* Tabs() const { return tabs_; }

  void reject() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* BuildServerPage();
  QWidget* BuildRadioPage();
  QWidget* BuildInternetPage();
  QLineEdit* MakeEdit(SettingId id, int width = 0);
  QWidget* MakeCheck(SettingId id, const QString& caption,
                     std::optional<SettingId> gapField = std::nullopt);
  QWidget* MakeRadio(SettingId id, const QString& caption);
  void Register(SettingId id, QWidget* widget);
  void Sync(SettingId id);
  void SyncAll();

  SettingsForm& form_;
  Steps steps_;
  OperatorUi& ui_;
  std::function<bool()> running_;
  std::string logDirectory_;
  std::array<QWidget*, SettingCount> fields_{};
  QTabWidget* tabs_ = nullptr;
  QLabel* sliderLabel_ = nullptr;
  QLabel* deleteLogLabel_ = nullptr;
  std::vector<std::string> shownPortNames_;
};

}  // namespace velora
