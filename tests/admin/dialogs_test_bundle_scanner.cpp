// The bundle scanner behind the shared test client (tests/support).
#include "support/bundle_scanner.cpp"
