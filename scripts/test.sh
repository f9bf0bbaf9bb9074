#!/usr/bin/env bash
# The test command: installs what is missing, builds, and runs every test.
#
#   scripts/test.sh             build/ as usual, every test
#   scripts/test.sh --sanitize  build-sanitize/ with AddressSanitizer and
#                               UndefinedBehaviorSanitizer: the tests of every
#                               layer below the window (no Qt), the end-to-end
#                               tests and the fuzz replays
#   scripts/test.sh --tsan      build-tsan/ with ThreadSanitizer: the tests of
#                               the layers where threads meet (net, mail,
#                               protocol, host, web) and the end-to-end tests
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

start_mail_server() {
  if [ -x scripts/mail_server.sh ]; then
    scripts/mail_server.sh || echo "warning: the local mail server could not be started; mail tests will skip"
  fi
}

# Configures the build folder $1 for a sanitizer: compile flags $2, link
# flags $3, no window layer (the sanitizers are not run over Qt).
configure_sanitized() {
  local launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=None "${launcher[@]}" \
    -DCMAKE_CXX_FLAGS="$2" -DCMAKE_EXE_LINKER_FLAGS="$3" -DZV_WITH_ADMIN=OFF >/dev/null
}

# Runs the tests of the targets built in the build folder $1: the packages
# and the browser journey test the plain build, and the tests of a target
# that was not built are left out.
run_sanitized_tests() {
  cd "$1"
  exec ctest --output-on-failure -j "$(nproc)" --timeout 600 -LE 'packaging|browser' -E '_NOT_BUILT$'
}

if [ "${1:-}" = "--sanitize" ]; then
  # No vptr check: it probes memory through a pipe, which fails as a false
  # finding in the tests that leave the server no descriptor free.
  flags="-O1 -g1 -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize=vptr"
  flags+=" -fno-sanitize-recover=undefined"
  configure_sanitized build-sanitize "$flags" "-fsanitize=address,undefined"
  cmake --build build-sanitize -j "$(nproc)" --target zelvorad stores_tests net_tests mail_tests \
    mail_e2e_tests protocol_tests host_tests e2e_tests fuzz_replay_tests app_tests web_tests web_e2e_tests
  start_mail_server
  # Any finding ends the test that made it; leaks count as findings.
  export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1"
  export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
  run_sanitized_tests build-sanitize
fi

if [ "${1:-}" = "--tsan" ]; then
  configure_sanitized build-tsan "-O1 -g1 -fno-omit-frame-pointer -fsanitize=thread" "-fsanitize=thread"
  cmake --build build-tsan -j "$(nproc)" --target zelvorad net_tests mail_tests protocol_tests \
    host_tests web_tests e2e_tests mail_e2e_tests web_e2e_tests
  start_mail_server
  # Any finding ends the test that made it.
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
  run_sanitized_tests build-tsan
fi

scripts/build.sh
# The browser tests' Node packages, exactly as the lock file pins them.
npm ci --prefix tests/browser --no-audit --no-fund --loglevel=error
start_mail_server
cd build
ctest --output-on-failure -j "$(nproc)" --timeout 600
