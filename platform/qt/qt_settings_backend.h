// QtSettingsBackend: the per-user settings store on QSettings, in a file format of its own that
// keeps each value's kind (string or 32-bit integer) across processes.
#pragma once

#include <QSettings>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/ports.h"

namespace velora {

class QtSettingsBackend : public SettingsBackend {
 public:
  // The operator's own store: "Brevik/Velora-Server" under the user's XDG config folder.
  QtSettingsBackend();
  // A store in the given file, created when missing.
  explicit QtSettingsBackend(const QString& filePath);
  ~QtSettingsBackend() override;

  // The registered file format: "[group]" sections and "name=tag:value" lines, UTF-8.
  static QSettings::Format Format();
  QString FilePath() const { return filePath_; }

  // Also rereads the file, so another process's writes are seen.
  bool OpenKey(std::string_view path, bool create) override;
  void CloseKey() override;
  ValueKind KindOf(std::string_view name) override;
  std::vector<std::string> ValueNames() override;
  std::string ReadString(std::string_view name) override;
  std::int32_t ReadInteger(std::string_view name) override;
  // Each write reaches the file (written whole to a temporary file and renamed) before it returns.
  void WriteString(std::string_view name, std::string_view value) override;
  void WriteInteger(std::string_view name, std::int32_t value) override;

 private:
  QSettings& Open(std::string_view name);
  QString KeyOf(std::string_view name) const;
  void Write(std::string_view name, const QVariant& value);

  QString filePath_;
  std::unique_ptr<QSettings> settings_;
  QString group_;
};

}  // namespace velora
