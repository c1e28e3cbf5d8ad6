// The settings store on QSettings with a typed file format.
#include "platform/qt/qt_settings_backend.h"

#include <QIODevice>
#include <QMap>
#include <QStringList>

#include "common/cp1252.h"
#include "platform/qt/qt_text.h"

namespace velora {

namespace {

// A plain INI file keeps no kinds: an integer would come back as text in the next process. So
// every value carries a tag: "s:" string, "i:" integer; anything else comes back as raw bytes.
const QString StringTag = QStringLiteral("s:");
const QString IntegerTag = QStringLiteral("i:");
const QString OtherTag = QStringLiteral("b:");

bool NeedsEscape(QChar c, bool inName) {
  const char16_t u = c.unicode();
  if (u < 0x20 || u == 0x7F || u == '%') return true;
  return inName && (u == '=' || u == '\\' || u == '[' || u == ']' || u == '/');
}

QString Escape(const QString& text, bool inName) {
  QString out;
  out.reserve(text.size());
  for (QChar c : text) {
    if (NeedsEscape(c, inName)) {
      out += QStringLiteral("%%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
    } else {
      out += c;
    }
  }
  return out;
}

int HexValue(QChar c) {
  const char16_t u = c.unicode();
  if (u >= '0' && u <= '9') return u - '0';
  if (u >= 'A' && u <= 'F') return u - 'A' + 10;
  if (u >= 'a' && u <= 'f') return u - 'a' + 10;
  return -1;
}

QString Unescape(const QString& text) {
  QString out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    const int high = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
    const int low = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
    if (text[i] == '%' && high >= 0 && low >= 0) {
      out += QChar(high * 16 + low);
      i += 2;
      continue;
    }
    out += text[i];
  }
  return out;
}

QVariant ParseValue(const QString& raw) {
  if (raw.startsWith(StringTag)) return Unescape(raw.mid(StringTag.size()));
  if (raw.startsWith(IntegerTag)) {
    bool ok = false;
    const int number = raw.mid(IntegerTag.size()).toInt(&ok);
    if (ok) return number;
  }
  if (raw.startsWith(OtherTag)) return Unescape(raw.mid(OtherTag.size())).toUtf8();
  return Unescape(raw).toUtf8();
}

QString FormatValue(const QVariant& value) {
  switch (value.typeId()) {
    case QMetaType::QString:
      return StringTag + Escape(value.toString(), false);
    case QMetaType::Int:
      return IntegerTag + QString::number(value.toInt());
    case QMetaType::QByteArray:
      return OtherTag + Escape(QString::fromUtf8(value.toByteArray()), false);
    default:
      return OtherTag + Escape(value.toString(), false);
  }
}

// "[Software\Brevik\Velora-Server\]" holds the values of the group Software/Brevik/Velora-Server.
QString SectionOf(const QString& group) {
  QString section;
  for (const QString& part : group.split(QLatin1Char('/')))
    section += Escape(part, true) + QLatin1Char('\\');
  return section;
}

QString GroupOf(const QString& section) {
  QStringList parts = section.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
  for (QString& part : parts)
    part = Unescape(part);
  return parts.join(QLatin1Char('/'));
}

// Lines that cannot be understood are passed over rather than failing the whole file, so that a
// damaged line costs that value only and the next save writes a clean file.
bool ReadTyped(QIODevice& device, QSettings::SettingsMap& map) {
  QString prefix;
  const QByteArray content = device.readAll();
  for (QByteArray line : content.split('\n')) {
    if (line.endsWith('\r')) line.chop(1);
    const QString text = QString::fromUtf8(line);
    if (text.isEmpty() || text.startsWith('#') || text.startsWith(';')) continue;
    if (text.startsWith('[') && text.endsWith(']')) {
      const QString group = GroupOf(text.mid(1, text.size() - 2));
      prefix = group.isEmpty() ? QString() : group + QLatin1Char('/');
      continue;
    }
    const qsizetype equals = text.indexOf('=');
    if (equals <= 0) continue;
    map.insert(prefix + Unescape(text.left(equals)), ParseValue(text.mid(equals + 1)));
  }
  return true;
}

bool WriteTyped(QIODevice& device, const QSettings::SettingsMap& map) {
  QMap<QString, QStringList> sections;
  for (auto it = map.cbegin(); it != map.cend(); ++it) {
    const qsizetype slash = it.key().lastIndexOf('/');
    const QString group = slash < 0 ? QString() : it.key().left(slash);
    const QString name = it.key().mid(slash + 1);
    sections[group].append(Escape(name, true) + QLatin1Char('=') + FormatValue(it.value()));
  }
  QString out = QStringLiteral(
      "# Velora-Server settings. Values: s: text, i: 32-bit integer, b: other data.\n");
  for (auto it = sections.cbegin(); it != sections.cend(); ++it) {
    if (!it.key().isEmpty()) out += QLatin1Char('[') + SectionOf(it.key()) + QStringLiteral("]\n");
    for (const QString& line : it.value())
      out += line + QLatin1Char('\n');
  }
  const QByteArray bytes = out.toUtf8();
  return device.write(bytes) == bytes.size();
}

std::string ErrorText(std::string_view start, std::string_view name, const QString& file) {
  std::string message(start);
  message += name;
  message += "' (";
  message += FromQString(file);
  message += ")";
  return message;
}

}  // namespace

QSettings::Format QtSettingsBackend::Format() {
  static const QSettings::Format format =
      QSettings::registerFormat(QStringLiteral("settings"), ReadTyped, WriteTyped);
  return format;
}

QtSettingsBackend::QtSettingsBackend()
    : filePath_(QSettings(Format(), QSettings::UserScope, QStringLiteral("Brevik"),
                          QStringLiteral("Velora-Server"))
                    .fileName()) {}

QtSettingsBackend::QtSettingsBackend(const QString& filePath) : filePath_(filePath) {}

QtSettingsBackend::~QtSettingsBackend() = default;

bool QtSettingsBackend::OpenKey(std::string_view path, bool create) {
  CloseKey();
  // A fresh QSettings per key opening: it rereads the file and starts without a stale error.
  auto settings = std::make_unique<QSettings>(filePath_, Format());
  settings->setAtomicSyncRequired(true);
  if (settings->status() != QSettings::NoError) return false;
  QString group = ToQString(path);
  group.replace(QLatin1Char('\\'), QLatin1Char('/'));
  while (group.endsWith('/'))
    group.chop(1);
  while (group.startsWith('/'))
    group.remove(0, 1);
  if (!create) {
    settings->beginGroup(group);
    const bool exists = !settings->allKeys().isEmpty();
    settings->endGroup();
    if (!exists) return false;
  }
  settings_ = std::move(settings);
  group_ = group;
  return true;
}

void QtSettingsBackend::CloseKey() {
  settings_.reset();
  group_.clear();
}

QString QtSettingsBackend::KeyOf(std::string_view name) const {
  const QString escaped = ToQString(name);
  return group_.isEmpty() ? escaped : group_ + QLatin1Char('/') + escaped;
}

QSettings& QtSettingsBackend::Open(std::string_view name) {
  if (!settings_) {
    std::string message;
    message += "Kein Schlüssel geöffnet für '"_cp;
    message += name;
    message += "'";
    throw SettingsError(message);
  }
  return *settings_;
}

SettingsBackend::ValueKind QtSettingsBackend::KindOf(std::string_view name) {
  const QVariant value = Open(name).value(KeyOf(name));
  if (!value.isValid()) return ValueKind::Missing;
  if (value.typeId() == QMetaType::QString) return ValueKind::String;
  if (value.typeId() == QMetaType::Int) return ValueKind::Integer;
  return ValueKind::Other;
}

std::vector<std::string> QtSettingsBackend::ValueNames() {
  QSettings& settings = Open({});
  settings.beginGroup(group_);
  const QStringList keys = settings.childKeys();
  settings.endGroup();
  std::vector<std::string> names;
  for (const QString& key : keys)
    names.push_back(FromQString(key));
  return names;
}

std::string QtSettingsBackend::ReadString(std::string_view name) {
  if (KindOf(name) != ValueKind::String) {
    throw SettingsError(ErrorText("Ungültiger Datentyp für '"_cp, name, filePath_));
  }
  return FromQString(Open(name).value(KeyOf(name)).toString());
}

std::int32_t QtSettingsBackend::ReadInteger(std::string_view name) {
  if (KindOf(name) != ValueKind::Integer) {
    throw SettingsError(ErrorText("Ungültiger Datentyp für '"_cp, name, filePath_));
  }
  return Open(name).value(KeyOf(name)).toInt();
}

void QtSettingsBackend::Write(std::string_view name, const QVariant& value) {
  QSettings& settings = Open(name);
  settings.setValue(KeyOf(name), value);
  settings.sync();
  if (settings.status() != QSettings::NoError) {
    throw SettingsError(ErrorText("Fehler beim Setzen der Daten für '"_cp, name, filePath_));
  }
}

void QtSettingsBackend::WriteString(std::string_view name, std::string_view value) {
  Write(name, ToQString(value));
}

void QtSettingsBackend::WriteInteger(std::string_view name, std::int32_t value) {
  Write(name, QVariant(static_cast<int>(value)));
}

}  // namespace velora
