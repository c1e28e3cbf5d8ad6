// The services behind the action numbers. A service is a function of the session and the action
// that started it; offering a new one is writing it and entering it in the service table.
#pragma once

#include <string_view>

#include "common/records.h"
#include "session/action.h"
#include "session/service.h"

namespace velora {

using ActionHandler = void (*)(ServiceSession& session, const TAction& action);

// Pages (services.cpp).
void MenuMain(ServiceSession& session, const TAction& action);
// The answer to the page prompt of a text screen with more than one page.
void JumpToPage(ServiceSession& session, const TAction& action);

// Accounts (account_service.cpp).
void Login(ServiceSession& session, const TAction& action);
void Logout(ServiceSession& session, const TAction& action);
void ChangePassword(ServiceSession& session, const TAction& action);

// Administration (admin_service.cpp). All but the user list refuse a session that is not an
// administrator's.
void CreateUser(ServiceSession& session, const TAction& action);
void ListUsers(ServiceSession& session, const TAction& action);  // edit items for administrators
void EditUser(ServiceSession& session, const TAction& action);
void KickUserAction(ServiceSession& session, const TAction& action);

// Messages between users (message_service.cpp).
void SendMessage(ServiceSession& session, const TAction& action);
void ListMessages(ServiceSession& session, const TAction& action);
void ShowMessage(ServiceSession& session, const TAction& action);
void DeleteMessage(ServiceSession& session, const TAction& action);
void ReplyMessage(ServiceSession& session, const TAction& action);

// E-mail (mail_service.cpp). Sending and fetching run a conversation with the user's own servers
// and show their screen when it ends; a session runs one conversation at a time.
void SendMail(ServiceSession& session, const TAction& action);
void GetMail(ServiceSession& session, const TAction& action);
void SendSms(ServiceSession& session, const TAction& action);  // not available: says so
void ListInbox(ServiceSession& session, const TAction& action);
void ShowMail(ServiceSession& session, const TAction& action);  // Param: the mail's index
void NextMail(ServiceSession& session, const TAction& action);
void ReplyMail(ServiceSession& session, const TAction& action);

// Time, message of the day, dictionary, feedback (small_services.cpp).
void ShowTime(ServiceSession& session, const TAction& action);
void ShowMotd(ServiceSession& session, const TAction& action);
void TranslateDe(ServiceSession& session, const TAction& action);
void TranslateEd(ServiceSession& session, const TAction& action);
void ListFeedback(ServiceSession& session, const TAction& action);
void ShowFeedback(ServiceSession& session, const TAction& action);
void SaveFeedback(ServiceSession& session, const TAction& action);

// --- Shared by the services.

// The session's own account when the session may act for it: bound at registration (not
// refused) and logged in where a login is required. Otherwise the session is told why (the
// refusal, or the login page) and the answer is null.
Tuserdata* OwnAccount(ServiceSession& session);
// True for the session of a logged-in administrator.
bool IsAdministrator(ServiceSession& session);
// Refuses and logs the action for any other session; true when it may go ahead.
bool RequireAdministrator(ServiceSession& session, const TAction& action);
// A menu item of a service's list: the action text parsed, the list index as its Param.
TLMenuItem ListItem(ServiceSession& session, std::string_view caption, std::string_view action,
                    std::int32_t param = 0);
// The user table or the feedback list has changed: the one place that learns of every change a
// service makes, so that keeping the files current hooks in here.
void Changed(ServiceSession& session);

}  // namespace velora
