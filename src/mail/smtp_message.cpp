#include "mail/smtp_message.h"

#include <cctype>

namespace zv {

std::string trimmedText(std::string_view text) {
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin])) ++begin;
    while (end > begin && isBlank(text[end - 1])) --end;
    return std::string(text.substr(begin, end - begin));
}

std::vector<std::string> smtpHeaderLines(const TSmtpHeaderValues& values) {
    std::vector<std::string> lines;
    if (!trimmedText(values.ReplyTo).empty()) lines.push_back("Reply-To: " + values.ReplyTo);
    if (!trimmedText(values.ReturnPath).empty()) lines.push_back("Return-Path: " + values.ReturnPath);
    lines.push_back("From: " + values.From);
    lines.push_back("To: " + values.To);
    lines.push_back("Subject: " + values.Subject);
    lines.push_back("Mime-Version: 1.0");
    lines.push_back("Content-Type: " + values.MediaType + "; charset=\"" + values.CharSet + "\"");
    lines.push_back("Date: " + values.Date);
    lines.emplace_back();
    return lines;
}

bool hasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

bool isSafeEnvelopeAddress(std::string_view address) {
    if (hasLineBreak(address)) return false;
    for (char c : trimmedText(address)) {
        if (c == '<' || c == '>' || std::isspace(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

std::vector<std::string> splitBodyLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines.emplace_back(text.substr(start, i - start));
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    lines.emplace_back(text.substr(start));
    return lines;
}

std::string dotStuffed(std::string_view line) {
    if (!line.empty() && line.front() == '.') return "." + std::string(line);
    return std::string(line);
}

}  // namespace zv
