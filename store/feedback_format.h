// The form of "resfdbck.txt": three lines per feedback entry (author, text, time), no header.
#pragma once

#include <string>

#include "common/records.h"

namespace velora {

std::string FormatFeedbackFile(const FeedbackList& feedback);
// Entries until the end of the bytes; a last entry cut short reads its missing lines as empty.
FeedbackList ParseFeedbackFile(std::string bytes);

}  // namespace velora
