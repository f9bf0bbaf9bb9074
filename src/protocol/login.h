#pragma once
// The login check and punching in and out. All run inside a session step on
// the main thread.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

class TServerContext;
struct TWIWONode;
struct TLOGNode;

// credentials: "employee key|password" (without "|" the key is empty and the
// password is the whole text). Returns the employee key when the key is on
// the board and the password matches exactly; then the registry entry of
// `connectionId` is labelled with the key and the user table refreshed
// naming it. Otherwise returns "*NON_EXIST*" (no such employee, or an empty
// key) or "*DENIED*" (wrong password), changing nothing. Writes no file.
std::string validateLogin(TServerContext& ctx, std::string_view credentials, const std::string& connectionId);

// The comparison of validateLogin alone: the same result for the same
// credentials, but nothing is labelled or refreshed. For sign-ins that are
// not client sessions (a browser's).
std::string checkLogin(TServerContext& ctx, std::string_view credentials);

// Sets the employee "In", empties Returning, ReachedAt and Comments, stamps
// StatusChanged, saves the board and appends a status log record. An unknown
// key does nothing.
void punchIn(TServerContext& ctx, std::string_view employeeKey);

// As punchIn with "Out", but only for an employee whose Status is exactly
// "In"; anything else is left alone, saved and logged nowhere.
void punchOut(TServerContext& ctx, std::string_view employeeKey);

// punchOut for every employee whose Status is "In", in board order, with one
// save of the board and of the log for all of them (the end of the day).
// Returns the keys of the employees punched out.
std::vector<std::string> punchOutEveryoneIn(TServerContext& ctx);

// Appends a status change record built from a board record: its Employee and
// Department, the current short date and long time, its Status, Returning,
// ReachedAt and Comments.
void appendStatusRecord(TServerContext& ctx, const TWIWONode& boardRecord);
// The record appendStatusRecord appends.
std::unique_ptr<TLOGNode> makeStatusRecord(TServerContext& ctx, const TWIWONode& boardRecord);

}  // namespace zv
