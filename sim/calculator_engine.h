// The simulated calculator: its side of the radio protocol, its 8-row screen, its key box and
// input field. Used by the simulator window and by the simulated stations on the virtual radio.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "link/frame_scanner.h"
#include "link/reassembler.h"
#include "settings/server_settings.h"

namespace velora {

class CalculatorEngine {
 public:
  // Keys of the key box beside the letters and digits.
  static constexpr char KeyEnter = '\r';
  static constexpr char KeyEscape = '\x1b';

  explicit CalculatorEngine(const ServerSettings& settings);

  // The radio side: what the calculator hears. Frames are cut out of the bytes as they come (a
  // frame may arrive in pieces) and taken in turn; afterFrame runs after each. Answers how many
  // frames were taken.
  int ProcessReceived(std::string_view bytes, const std::function<void()>& afterFrame = {});
  // Forgets a partly heard frame (after a silence on the air).
  void ForgetPartialFrame() { scanner_.Clear(); }
  // The pending transmission with start string, or empty when it is not this station's turn.
  std::string SendToServer();
  void ReceiveFromServer(std::string_view bytes) { ProcessReceived(bytes); }

  // The user's side.
  void Show();  // back to the state of a freshly shown window: "TiSim", not connected
  void SetUserName(std::string_view name);  // an empty name keeps the previous one
  void SetModel(int calcType);              // refused while connected
  void Connect();                           // register, or log out when registered
  void SilentDisconnect();
  void KeyPress(char key);
  // Ends the input field with Enter (escape false) or Escape, sending the field's text.
  void SubmitInput(bool escape, std::string_view text);

  // Screen operations.
  void TiCls();
  void TiLocate(int column, int row);
  void TiPrint(std::string_view calculatorBytes);
  void TiPrintDirect(std::string_view pcText);
  static std::string DescribeASC(std::string_view bytes);

  // State for the window and the scripted users.
  const std::string& SimUserName() const { return userName_; }
  std::uint8_t SimAddress() const { return address_; }
  bool Registered() const { return address_ != 255; }
  int SimModel() const { return model_; }
  int Columns() const;
  int SimExpectedReply() const { return expectedReply_; }
  bool ConnectRequested() const { return connectRequested_; }
  bool MustSend() const { return mustSend_; }
  // The last frame heard gave this calculator the air: its poll, the station below it talking to
  // the server, or an invitation it answers. An acknowledgement owed alone waits for the turn.
  bool HasTurn() const { return hasTurn_; }
  std::uint8_t PendingKind() const { return pendingKind_; }
  const std::string& PendingData() const { return pendingData_; }
  std::string ConnectCaption() const { return Registered() ? "Dis&connect" : "&Connect"; }
  std::string AddressText() const;
  bool ModelLocked() const { return connectRequested_ || Registered(); }
  // 8 rows of Columns() characters, each followed by CR LF (PC text).
  const std::string& ScreenText() const { return screen_; }
  std::string ScreenRow(int row) const;
  int CursorColumn() const { return column_; }
  int CursorRow() const { return row_; }
  bool InputFieldEnabled() const { return inputEnabled_; }
  int InputFieldMaxLength() const { return inputMaxLength_; }
  const std::string& InputFieldText() const { return inputText_; }
  // Counts every complete screen taken, so observers can tell a new screen from an old one.
  std::uint32_t ScreenSerial() const { return screenSerial_; }
  // Counts the frames taken that were sent to this calculator's address.
  std::uint32_t OwnFrames() const { return ownFrames_; }

  // Each line the simulator logs.
  std::function<void(const std::string&)> onLog;

 private:
  void Log(const std::string& line);
  void HandleFrame(std::string_view frame);
  void HandleOwnFrame(std::string_view frame);
  void ShowMenu(std::string_view data);
  void ShowInput(std::string_view data);
  void Disconnected();

  const ServerSettings& settings_;
  std::string userName_ = "TiSim";
  std::uint8_t address_ = 255;
  int model_ = 0;
  int expectedReply_ = -1;
  std::uint8_t pendingKind_;
  std::string pendingData_;
  bool mustSend_ = false;
  bool hasTurn_ = false;
  bool connectRequested_ = false;
  FrameScanner scanner_;
  Reassembler reassembler_;
  std::string screen_;
  int column_ = 0;
  int row_ = 0;
  bool inputEnabled_ = false;
  int inputMaxLength_ = 0;
  std::string inputText_;
  std::uint32_t screenSerial_ = 0;
  std::uint32_t ownFrames_ = 0;
};

}  // namespace velora
