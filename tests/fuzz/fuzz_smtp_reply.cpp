// Target "smtp_reply": what a mail server answers, as the SMTP client reads
// it: received into the 4096-byte reply buffer as the socket delivers it, cut
// into lines at CR LF, and each line's reply code read.
//
// Input: one byte that seeds how the replies are cut into receives, then the
// bytes the mail server sends.
//
// Properties:
// - the lines and the point where the buffer overflows are the same however
//   the bytes arrive (as much as fits in one receive, one byte at a time, or
//   in pieces of varied size);
// - they are the lines of the text cut at each CR LF, up to the first line
//   too long for the buffer (4094 characters and more with its CR LF): that
//   one overflows it, and so does a last line without CR LF that fills it;
// - a line written as a code, "-" or a blank, and text reads as that code,
//   a continuation exactly when "-" follows the digits; a line without
//   digits has no code; blanks before the code change nothing; only codes
//   from 0 to 499 are accepted when a command names none.

#include <climits>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "mail/smtp_reply.h"

namespace zv::fuzz {
namespace {

struct TRead {
    std::vector<std::string> lines;
    bool overflowed = false;
    bool operator==(const TRead&) const = default;
};

// Receives as the client does: never more than the free space of the buffer,
// every complete line taken after each receive, the overflow ends the reading.
TRead readReplies(std::string_view stream, TDelivery delivery, std::uint64_t seed) {
    TRead read;
    TSmtpReplyBuffer buffer;
    for (std::string_view piece : cutIntoPieces(stream, delivery, seed)) {
        while (!piece.empty()) {
            const std::size_t taken = buffer.append(piece);
            piece.remove_prefix(taken);
            while (auto line = buffer.takeLine()) read.lines.push_back(*line);
            if (buffer.overflowed()) {
                read.overflowed = true;
                return read;
            }
            ZV_FUZZ_CHECK(taken > 0 || piece.empty(), "a receive found no room in a buffer that did not overflow");
        }
    }
    return read;
}

// The same from the text itself.
TRead expectedReplies(std::string_view stream) {
    TRead read;
    const std::size_t longest = kSmtpReplyBufferSize - 2;
    for (;;) {
        const std::size_t end = stream.find("\r\n");
        if (end == std::string_view::npos) {
            read.overflowed = stream.size() >= kSmtpReplyBufferSize;
            return read;
        }
        if (end > longest) {
            read.overflowed = true;
            return read;
        }
        read.lines.emplace_back(stream.substr(0, end));
        stream.remove_prefix(end + 2);
    }
}

void checkCode(std::string_view line) {
    const TSmtpReplyCode code = parseSmtpReplyCode(line);
    ZV_FUZZ_CHECK(code.hasDigits || (code.code == 0 && !code.continuation), printable(line));
    const TSmtpReplyCode blanked = parseSmtpReplyCode(" \t\r\n" + std::string(line));
    ZV_FUZZ_CHECK(blanked.code == code.code && blanked.hasDigits == code.hasDigits &&
                      blanked.continuation == code.continuation,
                  "leading blanks change the code of \"" + printable(line) + "\"");
    if (code.hasDigits) ZV_FUZZ_CHECK(smtpReplyAccepted(code.code, {}) == (code.code >= 0 && code.code < 500),
                                      std::to_string(code.code));
}

int fuzzSmtpReply(const std::uint8_t* data, std::size_t size) {
    TFuzzInput input(data, size);
    const std::uint8_t seed = input.byte();
    const std::string_view stream = input.rest();

    const TRead whole = readReplies(stream, TDelivery::kWhole, seed);
    ZV_FUZZ_CHECK(whole == expectedReplies(stream), "lines read differ from the lines of the text");
    ZV_FUZZ_CHECK(readReplies(stream, TDelivery::kByteByByte, seed) == whole, "byte by byte differs from whole");
    ZV_FUZZ_CHECK(readReplies(stream, TDelivery::kRandomPieces, hashBytes(stream) ^ seed) == whole,
                  "in pieces differs from whole");

    for (const std::string& line : whole.lines) {
        checkCode(line);
        // The same line's text after a code of our own.
        const int written = static_cast<int>(hashBytes(line) % 1000);
        for (const char* separator : {" ", "-", ""}) {
            const std::string built = std::to_string(written) + separator + line;
            const TSmtpReplyCode code = parseSmtpReplyCode(built);
            const bool digitsGoOn = *separator == '\0' && !line.empty() && line[0] >= '0' && line[0] <= '9';
            if (digitsGoOn) continue;
            ZV_FUZZ_CHECK(code.hasDigits && code.code == written, "\"" + printable(built) + "\" read as " +
                                                                      std::to_string(code.code));
            const bool dash = *separator == '-' || (*separator == '\0' && !line.empty() && line[0] == '-');
            ZV_FUZZ_CHECK(code.continuation == dash, "\"" + printable(built) + "\" continuation");
        }
    }
    return 0;
}

}  // namespace
}  // namespace zv::fuzz

ZV_FUZZ_TARGET(smtp_reply, zv::fuzz::fuzzSmtpReply)
