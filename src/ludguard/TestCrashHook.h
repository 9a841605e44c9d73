// A hook for the end-to-end tests of the restart after a crash: with
// LUD_TEST_CRASH_HOLDING_STORE=N (seconds) in the environment, a thread takes
// the state store's lock N seconds after the start and crashes holding it,
// as a fault on a worker thread in the middle of a store operation would.
// Without the variable nothing happens.
#pragma once

void start_test_crash_hook();
