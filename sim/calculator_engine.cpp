// The simulated calculator's protocol engine and screen.
#include "sim/calculator_engine.h"

#include <algorithm>

#include "common/cp1252.h"
#include "common/text.h"
#include "link/char_tables.h"
#include "link/frame.h"
#include "link/keys.h"

namespace velora {

namespace {

std::uint8_t At(std::string_view bytes, std::size_t index) {
  return index < bytes.size() ? static_cast<std::uint8_t>(bytes[index]) : 0;
}

std::string_view Slice(std::string_view bytes, std::size_t from, std::size_t count) {
  return from < bytes.size() ? bytes.substr(from, count) : std::string_view{};
}

}  // namespace

CalculatorEngine::CalculatorEngine(const ServerSettings& settings)
    : settings_(settings),
      pendingKind_(KindNothing),
      scanner_({.startString = {},
                .check = FrameScanner::Check::Crc,
                .resync = FrameScanner::Resync::NextByte}) {
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

int CalculatorEngine::ProcessReceived(std::string_view bytes,
                                      const std::function<void()>& afterFrame) {
  scanner_.SetStartString(StartString(settings_));
  scanner_.Feed(bytes);
  int taken = 0;
  // A frame damaged on the air would put a wrong screen or a wrong address on the calculator:
  // only intact frames are taken.
  while (std::optional<FrameScanner::Event> event = scanner_.Next()) {
    if (event->type != FrameScanner::EventType::Frame) continue;
    HandleFrame(event->bytes);
    ++taken;
    if (afterFrame) afterFrame();
  }
  return taken;
}

void CalculatorEngine::HandleFrame(std::string_view frame) {
  mustSend_ = false;  // every frame heard withdraws a turn; the frame may grant it again
  hasTurn_ = false;
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
    ++ownFrames_;
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

  // A part repeated because our acknowledgement was lost is not appended twice.
  const std::optional<std::string> whole = reassembler_.Take(kind, part, FramePayload(frame));
  if (!whole) return;
  const std::string& data = *whole;
  kind &= static_cast<std::uint8_t>(~ContinuationBit);

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
  std::string out(StartString(settings_));
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
        code = TextKeyPrevious;
        break;
      case 'U':
        code = TextKeyNext;
        break;
      case 'L':
        code = expectedReply_ == KindMenuReply ? MenuPreviousPage : TextKeyLeft;
        break;
      case 'R':
        code = expectedReply_ == KindMenuReply ? MenuNextPage : TextKeyRight;
        break;
      case KeyEnter:
        code = TextKeyJump;
        break;
      case KeyEscape:
        code = KeyEscapeCode;
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
  pendingData_ = std::string(1, static_cast<char>(escape ? InputEscaped : 0));
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
  const CharTable& table = DisplayTable(static_cast<std::uint8_t>(model_));
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
  TiPrint(TranslateText(pcText, static_cast<std::uint8_t>(model_)));
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
