#pragma once

// Some libraries read their environment once, when the process loads them
// (OpenMP's OMP_THREAD_LIMIT, which Tesseract needs at 1), so setting it later
// has no effect. withEnvironment runs the program again, once, with the variable
// set. Call it first thing in main, before any output.
namespace Relaunch {

// When `name` is unset or empty: sets it to `value` and replaces the process with
// a fresh run of the same executable and arguments (same process id). Returns
// when the variable was already set, or when the program could not be run again
// (logged; the program then carries on as it is).
void withEnvironment(const char* name, const char* value, char** argv);

} // namespace Relaunch
