#include "protocol/request_split.h"

#include "protocol/wire_texts.h"

namespace zv {

TSplitRequest splitRequest(std::string_view text) {
    TSplitRequest parts;
    std::string_view tail = text;

    if (auto colon = tail.find(':'); colon != std::string_view::npos) {
        parts.command = tail.substr(0, colon);
        tail = tail.substr(colon + 1);
    }
    if (auto colon = tail.find(':'); colon != std::string_view::npos) {
        parts.mode = tail.substr(0, colon);
        tail = tail.substr(colon + 1);
    }
    if (auto colon = tail.find(':'); colon != std::string_view::npos) {
        parts.credentials = tail.substr(0, colon);
        parts.payload = tail.substr(colon + 1);
    } else {
        parts.credentials = tail;
        parts.payload = tail;
    }
    return parts;
}

TClassifiedRequest classifyRequest(std::string_view text) {
    TClassifiedRequest result;
    result.parts = splitRequest(text);
    const TSplitRequest& p = result.parts;

    if (p.command == wire::kPunchOut) {
        result.kind = TRequestKind::kPunchOut;
    } else if (p.command == wire::kSubmitLogin) {
        if (p.mode == wire::kModePunchIn) {
            result.kind = TRequestKind::kPunchInLogin;
        } else if (p.mode == wire::kModeDelta || p.mode == wire::kModeFull || p.mode == wire::kModeOverride) {
            result.kind = TRequestKind::kLogin;
        }
    } else if (text == wire::kSubmitLogin || text == "SUBMIT_LOGINSUBMIT_LOGIN") {
        result.kind = TRequestKind::kLogin;
        result.parts = TSplitRequest{};
    }
    return result;
}

}  // namespace zv
