#include "selftest/Live.h"

namespace SelfTest {
void platformChecks(RunContext&) {}
}
