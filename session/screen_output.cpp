// TProcess screen output: text screens with paging, message screens, queuing packets.
#include "session/process.h"
#include "session/screen.h"

#include "common/cp1252.h"

namespace velora {

std::string TProcess::TranslateText(std::string_view text) const {
  return velora::TranslateText(text, calcType_);
}

std::string TProcess::WrapText(std::string_view text) const {
  if (ctx_.settings.NoWrap) return std::string(text);
  return velora::WrapText(text, ScreenColumns[calcType_]);
}

void TProcess::ShowTextScreen(std::string_view text) {
  pageText_ = std::string(text);
  lastPage_ = TextLastPage(pageText_.size(), calcType_);
  textPage_ = 0;
  QueuePackets(KindTextScreen, TextPagePayload(pageText_, 0, lastPage_, calcType_));
}

void TProcess::ShowTextPage(std::int32_t page) {
  if (page < 0) page = lastPage_;
  if (page > lastPage_) page = 0;
  textPage_ = page;
  QueuePackets(KindTextScreen, TextPagePayload(pageText_, textPage_, lastPage_, calcType_));
}

void TProcess::ShowMessageScreen(std::string_view text, std::string_view action) {
  pageActions_.assign(1, ParseAction(0, action));
  ShowTextScreen(WrapText(text));
}

void TProcess::QueuePackets(std::uint8_t kind, std::string_view data) {
  expectedReply_ = ReplyKindOf(kind);
  if (kind < KindTextScreen) {
    // Control packets are read whole by the calculator (the confirmation's address is its ninth
    // byte), so a small MaxSinglePacketLen must not cut them into parts.
    outQueue_.push_back(TPacket{kind, 1, std::string(data)});
    return;
  }
  bool truncated = false;
  std::vector<TPacket> packets =
      SplitIntoPackets(kind, data, ctx_.settings.MaxSinglePacketLen, truncated);
  if (truncated) {
    std::string line("Multi-Packet hätte mehr als 255 Teilpakete! Daten:"_cp);
    line += data;
    LogText(line);
  }
  for (TPacket& packet : packets)
    outQueue_.push_back(std::move(packet));
}

void TProcess::ShowInputScreen(std::uint8_t promptRow, std::string prompt, std::uint8_t fieldRow,
                               std::uint8_t width, std::uint8_t maxLength, std::string current) {
  InputScreen screen;
  screen.promptRow = promptRow;
  screen.prompt = std::move(prompt);
  screen.fieldRow = fieldRow;
  screen.width = width;
  screen.maxLength = maxLength;
  screen.current = std::move(current);
  QueuePackets(KindInputScreen, InputScreenPayload(screen));
}

}  // namespace velora
