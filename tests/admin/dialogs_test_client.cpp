// The blocking TCP client that the other test folders share (tests/support),
// compiled into this binary for the tests of clients served while a dialog is
// open.
#include "support/tcp_client.cpp"
