// The simulated calculator's protocol engine and screen.
#include "sim/calculator_engine.h"

#include <algorithm>

#include "common/cp1252.h"
#include "common/text.h"
#include "link/frame.h"
#include "session/screen.h"

namespace velora {

namespace {

using Table = std::array<std::uint8_t, 256>;

constexpr Table MakeTable(std::initializer_list<std::pair<std::uint8_t, std::uint8_t>> entries) {
  Table table{};
  for (const auto& [from, to] : entries)
    table[from] = to;
  return table;
}

constexpr Table kDisplay82 = MakeTable({
    {0x05, 0x3E}, {0x12, 0xB2}, {0x5B, 0xD8}, {0x8A, 0xC1}, {0x8B, 0xC0}, {0x8C, 0xC2},
    {0x8D, 0xC4}, {0x8E, 0xE1}, {0x8F, 0xE0}, {0x90, 0xE2}, {0x91, 0xE4}, {0x92, 0xC9},
    {0x93, 0xC8}, {0x94, 0xCA}, {0x95, 0xCB}, {0x96, 0xE9}, {0x97, 0xE8}, {0x98, 0xEA},
    {0x99, 0xEB}, {0x9A, 0xCD}, {0x9B, 0xCC}, {0x9C, 0xCE}, {0x9D, 0xCF}, {0x9E, 0xED},
    {0x9F, 0xEC}, {0xA0, 0xEE}, {0xA1, 0xEF}, {0xA2, 0xD3}, {0xA3, 0xD2}, {0xA4, 0xD4},
    {0xA5, 0xD6}, {0xA6, 0xF3}, {0xA7, 0xF2}, {0xA8, 0xF4}, {0xA9, 0xF6}, {0xAA, 0xDA},
    {0xAB, 0xD9}, {0xAC, 0xDB}, {0xAD, 0xDC}, {0xAE, 0xFA}, {0xAF, 0xF9}, {0xB0, 0xFB},
    {0xB1, 0xFC}, {0xB2, 0xC7}, {0xB3, 0xE7}, {0xB4, 0xD1}, {0xB5, 0xF1}, {0xB6, 0xB4},
    {0xB7, 0x60}, {0xB8, 0xA8}, {0xB9, 0xBF}, {0xBA, 0xA1}, {0xBC, 0xDF}, {0xBF, 0xF0},
    {0xC1, 0x5B}, {0xC3, 0xB5}, {0xCD, 0xD7}, {0xCF, 0x3C}, {0xD0, 0xB7}, {0xD3, 0xB2},
    {0xD4, 0xB0}, {0xD5, 0xB3}, {0xE0, 0xAA},
});

constexpr Table kDisplay86 = MakeTable({
    {0x06, 0x9B}, {0x0A, 0xD7}, {0x12, 0xB2}, {0x14, 0xB0}, {0x7F, 0x3D}, {0x80, 0x30},
    {0x81, 0x31}, {0x82, 0x32}, {0x83, 0x33}, {0x84, 0x34}, {0x85, 0x35}, {0x86, 0x36},
    {0x87, 0x37}, {0x88, 0x38}, {0x89, 0x39}, {0x8A, 0xC1}, {0x8B, 0xC0}, {0x8C, 0xC2},
    {0x8D, 0xC4}, {0x8E, 0xE1}, {0x8F, 0xE0}, {0x90, 0xE2}, {0x91, 0xE4}, {0x92, 0xC9},
    {0x93, 0xC8}, {0x94, 0xCA}, {0x95, 0xCB}, {0x96, 0xE9}, {0x97, 0xE8}, {0x98, 0xEA},
    {0x99, 0xEB}, {0x9A, 0xCD}, {0x9B, 0xCC}, {0x9C, 0xCE}, {0x9D, 0xCF}, {0x9E, 0xED},
    {0x9F, 0xEC}, {0xA0, 0xEE}, {0xA1, 0xEF}, {0xA2, 0xD3}, {0xA3, 0xD2}, {0xA4, 0xD4},
    {0xA5, 0xD6}, {0xA6, 0xF3}, {0xA7, 0xF2}, {0xA8, 0xF4}, {0xA9, 0xF6}, {0xAA, 0xDA},
    {0xAB, 0xD9}, {0xAC, 0xDB}, {0xAD, 0xDC}, {0xAE, 0xFA}, {0xAF, 0xF9}, {0xB0, 0xFB},
    {0xB1, 0xFC}, {0xB2, 0xC7}, {0xB3, 0xE7}, {0xB4, 0xD1}, {0xB5, 0xF1}, {0xB6, 0xB4},
    {0xB7, 0x60}, {0xB8, 0xA8}, {0xB9, 0xBF}, {0xBA, 0xA1}, {0xBC, 0xDF}, {0xBF, 0xF0},
    {0xC3, 0xB5}, {0xCD, 0xD7}, {0xCE, 0x85}, {0xCF, 0x8B}, {0xD0, 0xB7}, {0xD1, 0x2F},
    {0xD2, 0xAD}, {0xD3, 0xB2}, {0xD4, 0xB0}, {0xD5, 0xB3}, {0xD6, 0x0D}, {0xD8, 0x5C},
    {0xE3, 0xAA}, {0xE4, 0x5F}, {0xE7, 0xAA}, {0xEA, 0x2B}, {0xED, 0x3D},
});

std::uint8_t At(std::string_view bytes, std::size_t index) {
  return index < bytes.size() ? static_cast<std::uint8_t>(bytes[index]) : 0;
}

std::string_view Slice(std::string_view bytes, std::size_t from, std::size_t count) {
  return from < bytes.size() ? bytes.substr(from, count) : std::string_view{};
}

}  // namespace

const std::array<std::uint8_t, 256>& DisplayTable(int calcType) {
  return calcType == 1 ? kDisplay86 : kDisplay82;
}

CalculatorEngine::CalculatorEngine(const ServerSettings& settings)
    : settings_(settings), pendingKind_(KindNothing) {
  TiCls();
}

int CalculatorEngine::Columns() const {
  return ScreenColumns[model_];
}

std::string CalculatorEngine::AddressText() const {
  return Registered() ? std::to_string(address_) : "$FF";
}

void CalculatorEngine::Log(const std::string& line) {
  if (onLog) onLog(line);
}

void CalculatorEngine::ProcessReceived(std::string_view bytes) {
  mustSend_ = false;  // every frame heard withdraws a turn; the frame may grant it again
  hasTurn_ = false;
  if (settings_.SendPacketInitString) {
    const std::size_t start = bytes.find(settings_.PacketInitString);
    if (start == std::string_view::npos) return;
    bytes.remove_prefix(start + settings_.PacketInitString.size());
  }
  if (bytes.size() < FrameOverhead) return;
  const std::size_t length = At(bytes, FrameLength);
  if (length < FrameOverhead || bytes.size() < length) return;
  const std::string_view frame = bytes.substr(0, length);
  // A frame damaged on the air would put a wrong screen or a wrong address on the calculator.
  if (Crc8(frame.substr(0, length - 1)) != At(frame, length - 1)) return;

  const std::uint8_t destination = At(frame, FrameDestination);
  const std::uint8_t kind = At(frame, FrameKind);
  if (destination == NoAddress && kind == KindInvite) {
    if (!connectRequested_) return;
    pendingData_ = userName_.substr(0, 8);
    pendingData_.resize(8, '\0');
    pendingData_ += static_cast<char>(CalcTypeCodes[model_]);
    pendingData_.append(4, '\0');
    pendingKind_ = KindRegisterRequest;
    mustSend_ = hasTurn_ = true;
    Log("Anmeldungsanforderung wird gesendet.");
    connectRequested_ = false;
  } else if (destination == BroadcastAddress && kind == KindRegistered) {
    if (frame.size() < FrameData + 9 + 1) return;  // name field and address
    std::string name(frame.substr(FrameData, 8));
    name = name.substr(0, name.find('\0'));
    if (name != userName_) {
      Log(std::string("Anmeldebestätigung an \""_cp) + name + "\"<> ich:" + userName_);
      return;
    }
    address_ = At(frame, FrameData + 8);
    Log(std::string("Anmeldebestätigung empfangen."_cp));
  } else if (destination == ServerAddress) {
    // The station one address below has had its turn: this one follows without a poll.
    if (Registered() && address_ == At(frame, FrameSource) + 1) mustSend_ = hasTurn_ = true;
  } else if (Registered() && destination == address_) {
    HandleOwnFrame(frame);
  }
}

void CalculatorEngine::HandleOwnFrame(std::string_view frame) {
  std::uint8_t kind = At(frame, FrameKind);
  const std::uint8_t part = At(frame, FramePart);
  if (kind == KindAck || kind == KindNothing) return;
  if (kind == KindPoll) {
    mustSend_ = hasTurn_ = true;
    return;
  }
  pendingKind_ = KindAck;
  pendingData_.clear();
  mustSend_ = true;

  std::string data(FramePayload(frame));
  if (kind & ContinuationBit) {
    // A part repeated because our acknowledgement was lost must not be appended twice.
    if (part != rxLastPart_ + 1) return;
    rxBuffer_ += data;
    rxLastPart_ = part;
    if (part < rxParts_) return;
    data = rxBuffer_;
    kind &= static_cast<std::uint8_t>(~ContinuationBit);
  } else if (part > 1) {
    rxBuffer_ = data;
    rxParts_ = part;
    rxLastPart_ = 1;
    return;
  }

  inputEnabled_ = false;
  switch (kind) {
    case KindLogoutAck:
      Disconnected();
      Log(std::string("Abmeldebestätigung empfangen."_cp));
      break;
    case KindTextScreen:
      TiCls();
      if (!data.empty()) TiPrint(std::string_view(data).substr(0, data.size() - 1));
      expectedReply_ = KindTextReply;
      break;
    case KindMenuScreen:
      ShowMenu(data);
      break;
    case KindInputScreen:
      ShowInput(data);
      break;
    default:
      Log("Unbekannte ID:" + std::to_string(kind) + " in Paket " + DescribeASC(frame));
      return;
  }
  ++screenSerial_;
}

void CalculatorEngine::ShowMenu(std::string_view data) {
  TiCls();
  const std::size_t width = static_cast<std::size_t>(Columns());
  const int announced = At(data, 0);
  std::size_t next = 4;
  const std::string_view titleWindow = Slice(data, 3, width + 1);
  const std::size_t titleEnd = titleWindow.find('\0');
  if (titleEnd == std::string_view::npos) {
    Log(std::string("Ungültiger Titel eines Fullscreen-Menüs"_cp));
  } else {
    TiLocate(0, 0);
    TiPrint(titleWindow.substr(0, titleEnd));
    next = 3 + titleEnd + 1;
  }
  int printed = 0;
  while (next < data.size()) {
    const std::string_view window = Slice(data, next, width + 1);
    const std::size_t end = window.find('\0');
    if (end == std::string_view::npos) break;
    TiLocate(0, printed + 1);
    TiPrint(std::to_string(printed + 1) + " " + std::string(window.substr(0, end)));
    ++printed;
    next += end + 1;
  }
  if (printed != announced) {
    Log(std::string("Ungültige Angabe der Anzahl der Items im Fullscreen-Menü ("_cp) +
        std::to_string(announced) + " statt " + std::to_string(printed) + ")");
  }
  expectedReply_ = KindMenuReply;
}

void CalculatorEngine::ShowInput(std::string_view data) {
  TiCls();
  // Byte k of the layout (counted from 1) is data[k - 1]; missing bytes read as 0.
  auto byte = [&](std::size_t k) -> std::size_t { return At(data, k - 1); };
  TiLocate(static_cast<int>(byte(2)), static_cast<int>(byte(1)));
  const std::size_t n = byte(3);
  TiPrint(Slice(data, 3, n));
  TiLocate(static_cast<int>(byte(n + 5)), static_cast<int>(byte(n + 4)));
  const std::size_t width = byte(n + 7);
  std::string box = "[" + std::string(width > 2 ? width - 2 : 0, '#') + "]";
  TiPrintDirect(std::string_view(box).substr(0, width));
  inputEnabled_ = true;
  inputMaxLength_ = static_cast<int>(byte(n + 8));
  inputText_ = std::string(Slice(data, n + 9, byte(n + 9)));
  expectedReply_ = KindInputReply;
}

std::string CalculatorEngine::SendToServer() {
  if (!mustSend_) return {};
  mustSend_ = false;
  // Without an address a calculator may only ask to register.
  if (!Registered() && pendingKind_ != KindRegisterRequest) return {};
  std::string out = settings_.SendPacketInitString ? settings_.PacketInitString : std::string();
  out += BuildFrame(ServerAddress, pendingKind_, address_, 1, pendingData_);
  pendingKind_ = KindNothing;
  pendingData_.clear();
  return out;
}

void CalculatorEngine::Disconnected() {
  address_ = 255;
  expectedReply_ = -1;
  pendingKind_ = KindNothing;
  pendingData_.clear();
  mustSend_ = false;
  TiCls();
}

void CalculatorEngine::Show() {
  userName_ = "TiSim";
  connectRequested_ = false;
  inputEnabled_ = false;
  Disconnected();
}

void CalculatorEngine::SetUserName(std::string_view name) {
  if (!name.empty()) userName_ = std::string(name.substr(0, 8));
}

void CalculatorEngine::SetModel(int calcType) {
  if (ModelLocked() || calcType < 0 || calcType >= CalcTypeCount) return;
  model_ = calcType;
  TiCls();
}

void CalculatorEngine::Connect() {
  if (!Registered()) {
    connectRequested_ = true;
    return;
  }
  pendingKind_ = KindLogout;
  pendingData_.clear();
}

void CalculatorEngine::SilentDisconnect() {
  connectRequested_ = false;
  inputEnabled_ = false;
  Disconnected();
}

void CalculatorEngine::KeyPress(char key) {
  const char k = AsciiUpper(std::string(1, key))[0];
  std::uint8_t code = 0;
  if (k >= '0' && k <= '9') {
    code = static_cast<std::uint8_t>(k - '0');
  } else {
    switch (k) {
      case 'O':
        code = 4;
        break;
      case 'U':
        code = 1;
        break;
      case 'L':
        code = expectedReply_ == KindMenuReply ? 252 : 2;
        break;
      case 'R':
        code = expectedReply_ == KindMenuReply ? 253 : 3;
        break;
      case KeyEnter:
        code = 9;
        break;
      case KeyEscape:
        code = 27;
        break;
      default:
        return;  // swallowed
    }
  }
  if (expectedReply_ == -1) {
    Log("Nicht verbunden.");
    return;
  }
  pendingKind_ = static_cast<std::uint8_t>(expectedReply_);
  pendingData_ = std::string(1, static_cast<char>(code));
  if (k == KeyEscape) expectedReply_ = KindRestart;
}

void CalculatorEngine::SubmitInput(bool escape, std::string_view text) {
  if (!inputEnabled_ || expectedReply_ == -1) return;
  const std::size_t limit = std::min<std::size_t>(static_cast<std::size_t>(inputMaxLength_), 255);
  inputText_ = std::string(text.substr(0, limit));
  pendingKind_ = static_cast<std::uint8_t>(expectedReply_);
  pendingData_ = std::string(1, escape ? '\x01' : '\x00');
  pendingData_ += static_cast<char>(inputText_.size());
  pendingData_ += inputText_;
}

void CalculatorEngine::TiCls() {
  const int width = Columns();
  screen_.clear();
  for (int row = 0; row < ScreenRows; ++row)
    screen_ += std::string(width, ' ') + "\r\n";
  column_ = 0;
  row_ = 0;
}

void CalculatorEngine::TiLocate(int column, int row) {
  column_ = column % Columns();
  row_ = row % ScreenRows;
}

void CalculatorEngine::TiPrint(std::string_view calculatorBytes) {
  const Table& table = DisplayTable(model_);
  const int width = Columns();
  for (char c : calculatorBytes) {
    const std::uint8_t b = static_cast<std::uint8_t>(c);
    const std::uint8_t shown = (!settings_.TiSimNoCharTable && table[b] != 0) ? table[b] : b;
    screen_[static_cast<std::size_t>(row_ * (width + 2) + column_)] = static_cast<char>(shown);
    if (++column_ >= width) {
      column_ = 0;
      if (++row_ >= ScreenRows) row_ = 0;  // the screen wraps to the top, it never scrolls
    }
  }
}

void CalculatorEngine::TiPrintDirect(std::string_view pcText) {
  TiPrint(TranslateText(pcText, model_));
}

std::string CalculatorEngine::DescribeASC(std::string_view bytes) {
  return ReadableBytes(bytes);
}

std::string CalculatorEngine::ScreenRow(int row) const {
  const int width = Columns();
  return screen_.substr(static_cast<std::size_t>(row * (width + 2)),
                        static_cast<std::size_t>(width));
}

}  // namespace velora
