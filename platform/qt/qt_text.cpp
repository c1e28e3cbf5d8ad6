// QString conversions of Windows-1252 text.
#include "platform/qt/qt_text.h"

#include "common/cp1252.h"

namespace velora {

QString ToQString(std::string_view cp1252) {
  const std::u16string utf16 = Cp1252ToUtf16(cp1252);
  return QString::fromUtf16(utf16.data(), static_cast<qsizetype>(utf16.size()));
}

QString ToQStringLines(std::string_view cp1252) {
  QString text = ToQString(cp1252);
  text.replace("\r\n", "\n");
  return text;
}

std::string FromQString(const QString& text) {
  return Utf16ToCp1252(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                           static_cast<std::size_t>(text.size())));
}

}  // namespace velora
