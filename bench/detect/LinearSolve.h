#pragma once

#include <cstddef>
#include <vector>

namespace detect {

// Solves a x = b in place for a symmetric positive definite a (n x n, row major; only its lower
// triangle is read, and it is overwritten by its Cholesky factor) into b. False when a is not
// positive definite as far as the arithmetic can tell.
bool solveSpd(std::vector<double>& a, std::vector<double>& b, size_t n);

} // namespace detect
