#pragma once
// Merging what a client sends with its login: its own board record, one memo,
// one message and new phonebook callers. Each merge saves its store at once.

#include <memory>
#include <string>
#include <string_view>

#include "protocol/incoming_sections.h"

namespace zv {

class TServerContext;
struct TWIWONode;
struct TWYWONode;

// Applies the received board record to the logged-in employee's record (never
// to the record its Employee field names), logs a status change record built
// from the received record, and refreshes the user table naming the employee.
void mergeBoardRecord(TServerContext& ctx, std::string_view section, const std::string& employeeKey);
// The same for a record already parsed (a browser's status edit).
void mergeBoardRecord(TServerContext& ctx, const TWIWONode& received, const std::string& employeeKey);

// Stores the received memo.
void mergeMemo(TServerContext& ctx, std::string_view section);

// Stores the received message and hands the stored record to the host's
// message hook (the e-mail notification).
void mergeMessage(TServerContext& ctx, std::string_view section);
// The same for a message already built (one taken in a browser); returns the
// stored record.
TWYWONode& mergeMessage(TServerContext& ctx, std::unique_ptr<TWYWONode> message);

// Adds the received phonebook bundle.
void mergePhonebook(TServerContext& ctx, std::string_view section);

// All four in their order, each skipped when its section is "NO_DATA...".
// Nothing is merged when the payload lacked a tag or had them out of order,
// and an incomplete phonebook section is not merged.
void mergeIncoming(TServerContext& ctx, const TIncomingSections& sections, const std::string& employeeKey);

}  // namespace zv
