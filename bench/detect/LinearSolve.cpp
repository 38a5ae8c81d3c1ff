#include "LinearSolve.h"

#include <cmath>

namespace detect {

bool solveSpd(std::vector<double>& a, std::vector<double>& b, size_t n) {
    for (size_t j = 0; j < n; ++j) {
        double d = a[j * n + j];
        for (size_t k = 0; k < j; ++k) {
            d -= a[j * n + k] * a[j * n + k];
        }
        if (!(d > 0.0)) {
            return false;
        }
        const double root = std::sqrt(d);
        a[j * n + j] = root;
        for (size_t i = j + 1; i < n; ++i) {
            double s = a[i * n + j];
            const double* ri = &a[i * n];
            const double* rj = &a[j * n];
            for (size_t k = 0; k < j; ++k) {
                s -= ri[k] * rj[k];
            }
            a[i * n + j] = s / root;
        }
    }
    for (size_t i = 0; i < n; ++i) {
        double s = b[i];
        for (size_t k = 0; k < i; ++k) {
            s -= a[i * n + k] * b[k];
        }
        b[i] = s / a[i * n + i];
    }
    for (size_t i = n; i-- > 0;) {
        double s = b[i];
        for (size_t k = i + 1; k < n; ++k) {
            s -= a[k * n + i] * b[k];
        }
        b[i] = s / a[i * n + i];
    }
    return true;
}

} // namespace detect
