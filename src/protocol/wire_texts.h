#pragma once
// The texts a session exchanges with a Zelvora Client, in one table.
// Nothing is framed on the wire: no line ends, length prefixes or terminators.

#include <cstddef>
#include <string_view>

namespace zv::wire {

// Requests, client to server.
inline constexpr std::string_view kSubmitLogin = "SUBMIT_LOGIN";
inline constexpr std::string_view kPunchOut = "PUNCH_OUT";
inline constexpr std::string_view kReadyToReceive = "READY_TO_RECEIVE";
inline constexpr std::string_view kConfirm = "CONFIRM";
inline constexpr std::string_view kConfirmAlias = "READY_T";  // counts as a confirmation

// How many characters of a client's reply during a transfer are compared:
// READY_TO_RECEIVE on all 16, a confirmation on 7 (CONFIRM or READY_T).
inline constexpr std::size_t kReadyToReceiveCompared = 16;
inline constexpr std::size_t kConfirmCompared = 7;
static_assert(kReadyToReceive.size() == kReadyToReceiveCompared);
static_assert(kConfirm.size() == kConfirmCompared && kConfirmAlias.size() == kConfirmCompared);

// Login modes.
inline constexpr std::string_view kModePunchIn = "PUNCH_IN";
inline constexpr std::string_view kModeDelta = "DLTA";
inline constexpr std::string_view kModeFull = "FULL";
inline constexpr std::string_view kModeOverride = "OVRD";

// Replies, server to client.
inline constexpr std::string_view kLoginDenied = "LOGIN_DENIED";
inline constexpr std::string_view kNonExist = "NON_EXIST";
inline constexpr std::string_view kPrepareToReceive = "PREPARE_TO_RECEIVE";
inline constexpr std::string_view kDataComplete = "DATA_COMPLETE";

// Results of the login check that are not an employee key.
inline constexpr std::string_view kDenied = "*DENIED*";
inline constexpr std::string_view kNonExistResult = "*NON_EXIST*";

// Section tags, shared by the incoming payload and the outgoing bundle.
inline constexpr std::string_view kTagDept = "[*DEPT*]";
inline constexpr std::string_view kTagPhone = "[*PHONE*]";
inline constexpr std::string_view kTagWiwo = "[*WIWO*]";
inline constexpr std::string_view kTagPosti = "[*POSTI*]";
inline constexpr std::string_view kTagWywo = "[*WYWO*]";

// A section that has nothing to give starts with this (first 7 characters).
inline constexpr std::string_view kNoData = "NO_DATA";

// Record codec separators.
inline constexpr std::string_view kFieldSeparator = "<~FLD~>";
inline constexpr std::string_view kRecordSeparator = "<~REC~>";

// The names of the session states (TSessionState).
inline constexpr std::string_view kStateReady = "READY";
inline constexpr std::string_view kStateSendingData = "SENDING_DATA";
inline constexpr std::string_view kStateWaitingForConfirm = "WAITING_FOR_CONFIRM";

// True when the first n characters of text equal the first n of word (a text
// shorter than n never matches).
constexpr bool startsWithFirst(std::string_view text, std::string_view word, std::size_t n) {
    return text.size() >= n && word.size() >= n && text.substr(0, n) == word.substr(0, n);
}

}  // namespace zv::wire
