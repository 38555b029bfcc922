// Power-up self-tests behind VELT_PowerUpTests.
#pragma once

// A known-answer test: its log message and event number, and the test,
// which returns true when the answers match.
struct KnownAnswerTest {
    const char* log_message;
    long event_number;
    bool (*run)();
};

// Runs the known-answer tests in order, stopping at the first failure (which
// is written to the error log), then the generator's full health check.
// Returns 0 if everything passed, -23 otherwise.
long run_power_up_tests();
