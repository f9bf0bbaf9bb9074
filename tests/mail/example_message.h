#pragma once
// The message the mail tests and the mail benchmark send: R. Customer of
// Supplier Ltd, taken by Desk,Front, with "Called" and "URGENT" set.

#include <string>

#include "stores/records.h"

namespace zv::test {

inline TWYWONode exampleMessage(const std::string& recipient = "Smith,Anna",
                                const std::string& comments = "please call back") {
    TWYWONode msg;
    msg.Recipient = recipient;
    msg.TakenBy = "Desk,Front";
    msg.Date = "12/06/2026";
    msg.Time = "10:15 AM";
    msg.Caller = "R. Customer";
    msg.Company = "Supplier Ltd";
    msg.Phone = "555-0100";
    msg.Regarding = "invoice 12";
    msg.Called = "X";
    msg.Urgent = "X";
    msg.Comments = comments;
    return msg;
}

}  // namespace zv::test
