#pragma once
// The outgoing bundle of an accepted login, the last-contact stamp, and the
// release of what a confirmed bundle delivered.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/bundle_text.h"

namespace zv {

class TServerContext;

// The memos and messages a bundle carried, by record serial. A confirmation
// deletes exactly these, so that a record stored after the bundle was built
// survives until it has been delivered itself.
struct TDeliveredRecords {
    std::vector<std::uint64_t> memos;
    std::vector<std::uint64_t> messages;
};

// "[*DEPT*]" departments, "[*PHONE*]" phonebook, "[*WIWO*]" whole board,
// "[*POSTI*]" the employee's memos, "[*WYWO*]" the employee's messages. The
// ExpDays text is converted before each of the memo and message bundles;
// building those drops expired memos and messages of every employee and
// saves both files. Throws std::invalid_argument naming the text when ExpDays
// is not a decimal integer (nothing of the memo bundle is built then).
// `carried`, when given, receives the serials of the memos and messages put
// in the bundle. The board, departments and phonebook are the stores' shared
// texts, which the stores keep between logins.
TBundleText buildBundle(TServerContext& ctx, std::string_view employeeKey,
                        TDeliveredRecords* carried = nullptr);

// Sets the employee's LastContact to the current date-time text and saves the
// board; an unknown key changes nothing.
void stampLastContact(TServerContext& ctx, std::string_view employeeKey);

// Deletes the delivered messages, then the delivered memos (each store saves).
void releaseDelivered(TServerContext& ctx, const TDeliveredRecords& carried);

// The ExpDays text as an integer: optional blanks and sign, decimal digits.
// Throws std::invalid_argument naming the text otherwise.
int expDaysValue(const std::string& text);

}  // namespace zv
