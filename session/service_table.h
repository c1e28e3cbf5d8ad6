// The one table of the services: for each action number its id (as content files write it after
// "ID"), its handler, and the pages, input values and resource files it uses. Dispatch runs the
// handler from here, ParseAction finds the id here, and the content check takes from here what an
// installation must provide. A new service is its handler, in the file of its area, and one row;
// the compiler refuses a table whose rows disagree.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/constants.h"
#include "session/action.h"
#include "session/content.h"
#include "session/services.h"

namespace velora {

// The pages the services open, each spelled as its service names it (".txt" is added when
// missing). The session's own pages are in content.h.
inline constexpr std::string_view MessageMenu = "menumessage";
inline constexpr std::string_view AfterShowMessage = "menuaftershowmessage";
inline constexpr std::string_view EnterMessageText = "entermessagetext.txt";
inline constexpr std::string_view MailMenu = "menumail";
inline constexpr std::string_view AfterShowMail = "menuaftershowmail";
inline constexpr std::string_view EnterMailText = "entermailtext";
inline constexpr std::string_view EnterMailRcpt = "entermailrcpt.txt";
inline constexpr std::string_view ConfigMenu = "menukonfiguration";
inline constexpr std::string_view AdminMenu = "menuadmin";
inline constexpr std::string_view EditUserMenu = "menuadminedituser";
inline constexpr std::string_view EntertainmentMenu = "menuunterhaltung";
inline constexpr std::string_view FeedbackMenu = "menufeedback";

// The input values the services read or fill, by the name an input field stores them under.
inline constexpr std::string_view MsgRcptInput = "msgrcpt";
inline constexpr std::string_view MsgTextInput = "msgtext";
inline constexpr std::string_view EmailRcptInput = "emailrcpt";
inline constexpr std::string_view EmailSubjInput = "emailsubj";
inline constexpr std::string_view EmailTextInput = "emailtext";
inline constexpr std::string_view PasswordInput = "password";
inline constexpr std::string_view Password2Input = "password2";
inline constexpr std::string_view TempInput = "temp";

// How the content check reads a resource file.
enum class ResourceForm : std::uint8_t {
  Lines,  // one entry a line; an offered service needs one at least
  Pairs,  // a German line followed by its English line
};

// A file in the content folder that a service reads and that is no page.
struct ResourceFile {
  std::string_view file;
  std::string_view what;  // as the check names it: "a page offers the dictionary"
  ResourceForm form = ResourceForm::Lines;
};

inline constexpr ResourceFile MotdResource{MotdFile, "the message of the day", ResourceForm::Lines};
inline constexpr ResourceFile DictionaryResource{DictionaryFile, "the dictionary",
                                                 ResourceForm::Pairs};

// Up to N entries written in place in a row; more do not compile.
template <class T, std::size_t N>
class RowList {
 public:
  constexpr RowList() = default;
  constexpr RowList(std::initializer_list<T> entries) {
    if (entries.size() > N) throw std::length_error("more entries than the row has room for");
    for (const T& entry : entries)
      entries_[size_++] = entry;
  }
  constexpr const T* begin() const { return entries_.data(); }
  constexpr const T* end() const { return entries_.data() + size_; }
  constexpr std::size_t size() const { return size_; }

 private:
  std::array<T, N> entries_{};
  std::size_t size_ = 0;
};

// A row's handler: a service's function, or nullptr for number 0. Whether one is written is kept
// apart, because some builds (with sanitizers) do not compare a function's address with null at
// compile time.
struct RowHandler {
  constexpr RowHandler(std::nullptr_t) {}
  constexpr RowHandler(ActionHandler handler) : function(handler), written(true) {}
  ActionHandler function = nullptr;
  bool written = false;
};

struct ServiceRow {
  ActionNumber number;
  std::string_view id;  // lower case; empty for number 0
  RowHandler handler;   // none for number 0, which the session's page loading runs
  RowList<std::string_view, 4> pages;
  RowList<std::string_view, 3> inputs;  // the values it reads; an input field stores one of them
  RowList<ResourceFile, 1> resources;
};

// clang-format off
inline constexpr ServiceRow ServiceTable[] = {
    // number            id              handler         pages; input values read; resource files
    // Number 0: the login page, the kick page and the main menus are the session's own.
    {ActionLoadFile,     "",             nullptr,        {LoginFile, KickFile, MainMenuFile, AdminMainMenuFile}, {}, {}},
    {ActionSendMail,     "sendmail",     SendMail,       {EnterMailText, MailMenu}, {EmailRcptInput, EmailSubjInput, EmailTextInput}, {}},
    {ActionGetMail,      "getmail",      GetMail,        {MailMenu}, {}, {}},
    {ActionSendSms,      "sendsms",      SendSms,        {}, {}, {}},
    {ActionInbox,        "posteingang",  ListInbox,      {MailMenu}, {}, {}},
    {ActionMotd,         "motd",         ShowMotd,       {EntertainmentMenu}, {}, {MotdResource}},
    {ActionShowMail,     "showmail",     ShowMail,       {AfterShowMail}, {}, {}},
    {ActionSendMessage,  "sendmessage",  SendMessage,    {MessageMenu}, {MsgRcptInput, MsgTextInput}, {}},
    {ActionListMessages, "listmessages", ListMessages,   {MessageMenu}, {}, {}},
    {ActionShowMessage,  "showmessage",  ShowMessage,    {AfterShowMessage}, {}, {}},
    {ActionLogin,        "login",        Login,          {LoginFile}, {PasswordInput}, {}},
    {ActionLogout,       "logout",       Logout,         {}, {}, {}},
    {ActionTime,         "time",         ShowTime,       {}, {}, {}},
    {ActionTransDe,      "transde",      TranslateDe,    {}, {TempInput}, {DictionaryResource}},
    {ActionTransEd,      "transed",      TranslateEd,    {}, {TempInput}, {DictionaryResource}},
    {ActionMsgDelete,    "msgdelete",    DeleteMessage,  {MessageMenu}, {}, {}},
    {ActionMsgReply,     "msgreply",     ReplyMessage,   {EnterMessageText}, {}, {}},
    {ActionMailReply,    "mailreply",    ReplyMail,      {EnterMailRcpt, EnterMailText}, {}, {}},
    {ActionMailNext,     "mailnext",     NextMail,       {AfterShowMail}, {}, {}},
    {ActionMenuMain,     "menumain",     MenuMain,       {MainMenuFile, AdminMainMenuFile}, {}, {}},
    {ActionKickUser,     "kickuser",     KickUserAction, {AdminMenu, KickFile}, {}, {}},
    {ActionCreateUser,   "createuser",   CreateUser,     {AdminMenu}, {TempInput}, {}},
    {ActionListUsers,    "listusers",    ListUsers,      {EditUserMenu}, {}, {}},
    {ActionEditUser,     "edituser",     EditUser,       {EditUserMenu}, {}, {}},
    {ActionJumpToPage,   "jumptopage",   JumpToPage,     {}, {TempInput}, {}},
    {ActionListFeedback, "listfeedback", ListFeedback,   {FeedbackMenu}, {}, {}},
    {ActionShowFeedback, "showfeedback", ShowFeedback,   {}, {}, {}},
    {ActionSaveFeedback, "savefeedback", SaveFeedback,   {FeedbackMenu}, {TempInput}, {}},
    {ActionChangePasswd, "changepasswd", ChangePassword, {ConfigMenu}, {PasswordInput, Password2Input}, {}},
};
// clang-format on

inline constexpr int ActionCount = static_cast<int>(std::size(ServiceTable));

// --- What the table must hold; a row that breaks a rule stops the build.
namespace service_rules {

constexpr bool NumbersRunInOrder() {
  for (int i = 0; i < ActionCount; ++i) {
    if (ServiceTable[i].number != i) return false;
  }
  return ActionCount <= ActionUnknown;
}

constexpr bool OnlyNumberZeroHasNoHandler() {
  if (ServiceTable[0].handler.written || !ServiceTable[0].id.empty()) return false;
  for (int i = 1; i < ActionCount; ++i) {
    if (!ServiceTable[i].handler.written) return false;
  }
  return true;
}

// ParseAction compares the lower-cased text after "ID", at most ActionIdMaxLength characters.
constexpr bool IdsCanBeFound() {
  for (int i = 1; i < ActionCount; ++i) {
    const std::string_view id = ServiceTable[i].id;
    if (id.empty() || id.size() > ActionIdMaxLength) return false;
    for (char c : id) {
      if (c < 'a' || c > 'z') return false;
    }
  }
  return true;
}

constexpr bool IdsUnique() {
  for (int i = 0; i < ActionCount; ++i) {
    for (int j = i + 1; j < ActionCount; ++j) {
      if (ServiceTable[i].id == ServiceTable[j].id) return false;
    }
  }
  return true;
}

// Actions and input names are lower-cased before use, so a name with a capital is never met.
constexpr bool LowerCaseName(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name) {
    if (c >= 'A' && c <= 'Z') return false;
  }
  return true;
}

constexpr bool NamesLowerCase() {
  for (const ServiceRow& row : ServiceTable) {
    for (std::string_view page : row.pages) {
      if (!LowerCaseName(page)) return false;
    }
    for (std::string_view input : row.inputs) {
      if (!LowerCaseName(input)) return false;
    }
  }
  return true;
}

constexpr bool SamePage(std::string_view page, std::string_view file) {
  return page == file || (file.size() == page.size() + 4 && file.substr(0, page.size()) == page &&
                          file.substr(page.size()) == ".txt");
}

// The check passes over resource files when it reads the pages.
constexpr bool ResourcesAreNoPages() {
  for (const ServiceRow& row : ServiceTable) {
    for (const ResourceFile& resource : row.resources) {
      if (!LowerCaseName(resource.file) || resource.what.empty()) return false;
      for (const ServiceRow& other : ServiceTable) {
        for (std::string_view page : other.pages) {
          if (SamePage(page, resource.file)) return false;
        }
      }
    }
  }
  return true;
}

}  // namespace service_rules

static_assert(service_rules::NumbersRunInOrder(),
              "rows are numbered 0, 1, 2 ... in table order, below ActionUnknown");
static_assert(service_rules::OnlyNumberZeroHasNoHandler(),
              "number 0 (load a page) has no id and no handler; every other row has a handler");
static_assert(service_rules::IdsCanBeFound(),
              "an id is lower-case letters, at most ActionIdMaxLength of them");
static_assert(service_rules::IdsUnique(), "two rows with the same id");
static_assert(service_rules::NamesLowerCase(), "pages and input names are lower case");
static_assert(service_rules::ResourcesAreNoPages(), "a resource file is named as a page");

// What the table asks of an installation, for the content check: every page a row names, as file
// names (".txt" added), in name order.
std::set<std::string> PagesOpenedByName();
// Every input value a service reads.
std::set<std::string, std::less<>> InputNamesRead();
// The resource files, each once, in table order.
std::vector<ResourceFile> ResourceFiles();

}  // namespace velora
