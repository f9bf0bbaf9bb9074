#pragma once
// Connection IDs: 8 upper-case hexadecimal digits naming a live session.
// An ID is taken when a session is created and given back when it is freed;
// no two live sessions ever hold the same one.

#include <string>

namespace zv {

std::string acquireConnectionId();
void releaseConnectionId(const std::string& id);

}  // namespace zv
