#pragma once
// The churn: many connections in a row, each sending nothing or a little and
// closing (mostly with a reset); afterwards the server's descriptors and
// threads must come back to what they were (within a settle time), and a
// valid login must still be served. Prints its figures; 0 when it passed.

namespace zv::bench {

int runConnectionChurn(long connections, int idleTimeout);

}  // namespace zv::bench
