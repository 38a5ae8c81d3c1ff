#pragma once

// The seal moved to the protection room; the stealth coder and the benchmarks still name it here.
#include "protection/StrongSeal.h"
