// The content page format: line 2 names the type, the type fixes what each further line means.
#include "session/content_page.h"

#include "session/content.h"

namespace velora {

namespace {

// The lines a page of the type has at least: up to the last line the type reads.
std::size_t LinesRead(std::int64_t type) {
  switch (type) {
    case ContentTypeText:
      return 3;
    case ContentTypeMenu:
      return 5;
    case ContentTypeInput:
      return 11;
    default:
      return 2;
  }
}

class Reader {
 public:
  explicit Reader(const TAoS& lines) : lines_(lines) {}

  PageLine Line(std::size_t n) const { return {n, lines_[n - 1]}; }

  PageNumber Number(std::size_t n) const {
    const std::string& text = lines_[n - 1];
    const std::size_t first = text.find_first_not_of(' ');
    const bool digits = first != std::string::npos && text[first] >= '0' && text[first] <= '9';
    return {n, LeadingNumber(text), digits};
  }

  ContentPage::Text Text() const {
    ContentPage::Text page{Line(3), {}};
    for (std::size_t n = 4; n <= lines_.size(); ++n) {
      page.text += lines_[n - 1];
      page.text += '\n';
    }
    return page;
  }

  ContentPage::Menu Menu() const {
    ContentPage::Menu page{Line(5), {}, 0};
    const std::size_t count = (lines_.size() - 5) / 2;
    page.items.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
      page.items.push_back({Line(6 + 2 * i), Line(7 + 2 * i)});
    if ((lines_.size() - 5) % 2 != 0) page.unpairedLine = lines_.size();
    return page;
  }

  ContentPage::Input Input() const {
    return {Number(3), Number(4), Line(5), Number(7), Line(8), Line(9), Line(10), Number(11)};
  }

 private:
  const TAoS& lines_;
};

}  // namespace

ContentPage ParseContentPage(const TAoS& lines) {
  ContentPage page;
  page.lines = lines.size();
  if (lines.size() < 2) {
    page.missingLine = 2;
    return page;
  }
  page.type = LeadingNumber(lines[1]);
  if (lines.size() < LinesRead(page.type)) {
    page.missingLine = lines.size() + 1;
    return page;
  }
  const Reader reader(lines);
  switch (page.type) {
    case ContentTypeText:
      page.screen = reader.Text();
      break;
    case ContentTypeMenu:
      page.screen = reader.Menu();
      break;
    case ContentTypeInput:
      page.screen = reader.Input();
      break;
    default:
      break;
  }
  return page;
}

}  // namespace velora
