// The one place where the core's 8-bit Windows-1252 text meets QString.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace velora {

QString ToQString(std::string_view cp1252);
// The same with CR LF line ends as Qt's "\n", for message boxes and the event list.
QString ToQStringLines(std::string_view cp1252);
// Characters without a Windows-1252 byte become '?'.
std::string FromQString(const QString& text);

}  // namespace velora
