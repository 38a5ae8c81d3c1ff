#include "CostModels.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace detect {
namespace {

using Plane = std::vector<double>;

struct Picture {
    int w = 0;
    int h = 0;
    std::array<Plane, 3> own;   // blue, green, red
    std::array<Plane, 3> apart; // B - G, G - (R + B) / 2, R - G, as the coder takes them
};

Picture pictureOf(const unsigned char* colour, uint32_t width, uint32_t height) {
    Picture p;
    p.w = static_cast<int>(width);
    p.h = static_cast<int>(height);
    const size_t n = size_t{width} * height;
    for (auto& plane : p.own) {
        plane.resize(n);
    }
    for (auto& plane : p.apart) {
        plane.resize(n);
    }
    const auto clip = [](int v) { return static_cast<double>(std::clamp(v, 0, 255)); };
    for (size_t i = 0; i < n; ++i) {
        const int b = colour[3 * i];
        const int g = colour[3 * i + 1];
        const int r = colour[3 * i + 2];
        p.own[0][i] = b;
        p.own[1][i] = g;
        p.own[2][i] = r;
        p.apart[0][i] = clip(128 + b - g);
        p.apart[1][i] = clip(128 + g - (r + b + 1) / 2);
        p.apart[2][i] = clip(128 + r - g);
    }
    return p;
}

int mirror(int i, int n) {
    if (n < 2) {
        return 0;
    }
    while (i < 0 || i >= n) {
        i = i < 0 ? -i : 2 * n - 2 - i;
    }
    return i;
}

// Correlation with a separable kernel: `across` along rows, `down` along columns, centred at
// index `centre` of each; borders mirrored.
Plane separable(const Plane& in, int w, int h, const std::vector<double>& across,
                const std::vector<double>& down, int centreA, int centreD) {
    Plane mid(in.size());
    Plane out(in.size());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            double s = 0;
            for (size_t k = 0; k < across.size(); ++k) {
                s += across[k] * in[static_cast<size_t>(y * w + mirror(x + int(k) - centreA, w))];
            }
            mid[static_cast<size_t>(y * w + x)] = s;
        }
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            double s = 0;
            for (size_t k = 0; k < down.size(); ++k) {
                s += down[k] * mid[static_cast<size_t>(mirror(y + int(k) - centreD, h) * w + x)];
            }
            out[static_cast<size_t>(y * w + x)] = s;
        }
    }
    return out;
}

Plane boxMean(const Plane& in, int w, int h, int r) {
    const std::vector<double> k(static_cast<size_t>(2 * r + 1), 1.0 / (2 * r + 1));
    return separable(in, w, h, k, k, r, r);
}

// HILL: the KB filter's strength, averaged over l1 x l1, inverted, averaged over l2 x l2.
Plane hill(const Plane& x, int w, int h, int l1, int l2) {
    Plane r(x.size());
    constexpr int kKernel[3][3] = {{-1, 2, -1}, {2, -4, 2}, {-1, 2, -1}};
    for (int y = 0; y < h; ++y) {
        for (int xx = 0; xx < w; ++xx) {
            double s = 0;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    s += kKernel[dy + 1][dx + 1] *
                         x[static_cast<size_t>(mirror(y + dy, h) * w + mirror(xx + dx, w))];
                }
            }
            r[static_cast<size_t>(y * w + xx)] = std::abs(s);
        }
    }
    Plane m = boxMean(r, w, h, l1 / 2);
    for (double& v : m) {
        v = std::min(1.0 / std::max(v, 1e-30), 0x1p20);
    }
    return boxMean(m, w, h, l2 / 2);
}

// Directional costs after S-UNIWARD: the relative change a change makes to the three
// directional residuals of a Daubechies wavelet (3 vanishing moments), summed.
Plane directional(const Plane& x, int w, int h) {
    const double s = std::sqrt(5.0 + 2.0 * std::sqrt(10.0));
    const double q = std::sqrt(10.0);
    const std::vector<double> lo = {
        (1 + q + s) * std::sqrt(2.0) / 32,          (5 + q + 3 * s) * std::sqrt(2.0) / 32,
        (10 - 2 * q + 2 * s) * std::sqrt(2.0) / 32, (10 - 2 * q - 2 * s) * std::sqrt(2.0) / 32,
        (5 + q - 3 * s) * std::sqrt(2.0) / 32,      (1 + q - s) * std::sqrt(2.0) / 32};
    std::vector<double> hi(lo.size());
    for (size_t n = 0; n < lo.size(); ++n) {
        hi[n] = ((n % 2 == 0) ? 1.0 : -1.0) * lo[lo.size() - 1 - n];
    }
    const auto absOf = [](std::vector<double> v) {
        for (double& e : v) {
            e = std::abs(e);
        }
        return v;
    };
    Plane cost(x.size(), 0.0);
    const int c = 2;
    const std::array<std::pair<const std::vector<double>*, const std::vector<double>*>, 3> bands = {
        std::pair{&lo, &hi}, std::pair{&hi, &lo}, std::pair{&hi, &hi}};
    for (const auto& [a, d] : bands) {
        Plane r = separable(x, w, h, *a, *d, c, c);
        for (double& v : r) {
            v = 1.0 / (1.0 + std::abs(v));
        }
        // The residual at p takes pixel p + c - k with weight a[k]: spread back the same way.
        std::vector<double> ra = absOf(*a);
        std::vector<double> rd = absOf(*d);
        std::reverse(ra.begin(), ra.end());
        std::reverse(rd.begin(), rd.end());
        const Plane spread = separable(r, w, h, ra, rd, static_cast<int>(ra.size()) - 1 - c,
                                       static_cast<int>(rd.size()) - 1 - c);
        for (size_t i = 0; i < cost.size(); ++i) {
            cost[i] += spread[i];
        }
    }
    return cost;
}

// After MiPOD: a residual from a 3 x 3 adaptive Wiener filter, its local variance, the Fisher
// information 1 / variance^2 smoothed over 7 x 7, priced on a log scale (the payload-limited
// sender's change rates then fall as a power of it, as MiPOD's do).
Plane fisher(const Plane& x, int w, int h) {
    const Plane mean = boxMean(x, w, h, 1);
    Plane sq(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        sq[i] = x[i] * x[i];
    }
    const Plane meanSq = boxMean(sq, w, h, 1);
    Plane var(x.size());
    double noise = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        var[i] = std::max(0.0, meanSq[i] - mean[i] * mean[i]);
        noise += var[i];
    }
    noise /= static_cast<double>(x.size());
    Plane r(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        const double gain = std::max(var[i] - noise, 0.0) / std::max(var[i], noise);
        r[i] = x[i] - (mean[i] + gain * (x[i] - mean[i]));
    }
    const Plane rm = boxMean(r, w, h, 4);
    for (size_t i = 0; i < x.size(); ++i) {
        sq[i] = r[i] * r[i];
    }
    const Plane rq = boxMean(sq, w, h, 4);
    Plane fi(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        const double v = std::max(rq[i] - rm[i] * rm[i], 0.01);
        fi[i] = 1.0 / (v * v);
    }
    Plane out = boxMean(fi, w, h, 3);
    for (double& v : out) {
        v = std::log1p(v * 1e4);
    }
    return out;
}

using PlaneCost = std::function<Plane(const Plane&, int, int)>;

// own and apart: each channel's cost and its difference's, joined by `join`; weights by channel.
CostFunction model(PlaneCost cost, std::function<double(double, double)> join,
                   std::array<double, 3> weights = {1, 1, 1}, int pool = 0, double power = 1.0) {
    return [=](const unsigned char* colour, uint32_t width, uint32_t height, float* out) {
        const Picture p = pictureOf(colour, width, height);
        std::array<Plane, 3> own;
        std::array<Plane, 3> apart;
        for (size_t c = 0; c < 3; ++c) {
            own[c] = cost(p.own[c], p.w, p.h);
            apart[c] = cost(p.apart[c], p.w, p.h);
        }
        const size_t n = size_t{width} * height;
        for (size_t i = 0; i < n; ++i) {
            std::array<double, 3> o = {own[0][i], own[1][i], own[2][i]};
            if (pool == 1) { // the pixel's dearest channel prices all three
                o.fill(std::max({o[0], o[1], o[2]}));
            } else if (pool == 2) {
                o.fill((o[0] + o[1] + o[2]) / 3);
            }
            for (size_t c = 0; c < 3; ++c) {
                out[3 * i + c] =
                    static_cast<float>(weights[c] * std::pow(join(o[c], apart[c][i]), power));
            }
        }
    };
}

// Green's difference cost as the colour detectors see it: a change of green moves both R - G
// and B - G, so it pays both of their costs; blue and red pay their own.
CostFunction asSeen(double power) {
    return [=](const unsigned char* colour, uint32_t width, uint32_t height, float* out) {
        const Picture p = pictureOf(colour, width, height);
        std::array<Plane, 3> own;
        std::array<Plane, 3> apart;
        for (size_t c = 0; c < 3; ++c) {
            own[c] = hill(p.own[c], p.w, p.h, 3, 15);
            apart[c] = hill(p.apart[c], p.w, p.h, 3, 15);
        }
        const size_t n = size_t{width} * height;
        for (size_t i = 0; i < n; ++i) {
            const std::array<double, 3> d = {apart[0][i], apart[0][i] + apart[2][i], apart[2][i]};
            for (size_t c = 0; c < 3; ++c) {
                out[3 * i + c] = static_cast<float>(std::pow(own[c][i] + d[c], power));
            }
        }
    };
}

PlaneCost hillOf(int l1, int l2) {
    return [=](const Plane& x, int w, int h) { return hill(x, w, h, l1, l2); };
}

double add(double a, double b) {
    return a + b;
}

} // namespace

std::vector<CostModel> costModels() {
    const auto ownOnly = [](double a, double) { return a; };
    return {
        {"cost hill", model(hillOf(3, 15), add)},
        {"cost hill L2=7", model(hillOf(3, 7), add)},
        {"cost hill L2=31", model(hillOf(3, 31), add)},
        {"cost hill L1=5", model(hillOf(5, 15), add)},
        {"cost min", model(hillOf(3, 15), [](double a, double b) { return std::min(a, b); })},
        {"cost max", model(hillOf(3, 15), [](double a, double b) { return std::max(a, b); })},
        {"cost pmean2",
         model(hillOf(3, 15), [](double a, double b) { return std::sqrt(a * a + b * b); })},
        {"cost harmonic", model(hillOf(3, 15), [](double a, double b) { return a * b / (a + b); })},
        {"cost own only", model(hillOf(3, 15), ownOnly)},
        {"cost green x2", model(hillOf(3, 15), add, {1, 2, 1})},
        {"cost green x0.5", model(hillOf(3, 15), add, {1, 0.5, 1})},
        {"cost pooled max", model(hillOf(3, 15), add, {1, 1, 1}, 1)},
        {"cost pooled mean", model(hillOf(3, 15), add, {1, 1, 1}, 2)},
        {"cost2 green x4", model(hillOf(3, 15), add, {1, 4, 1})},
        {"cost2 green x8", model(hillOf(3, 15), add, {1, 8, 1})},
        {"cost2 as seen", asSeen(1.0)},
        {"cost2 sum^0.5", model(hillOf(3, 15), add, {1, 1, 1}, 0, 0.5)},
        {"cost3 directional", model(directional, add)},
        {"cost3 fisher", model(fisher, add)},
        {"cost3 flat dry", model(hillOf(3, 15), add), false},
        {"cost3 sum^0.25", model(hillOf(3, 15), add, {1, 1, 1}, 0, 0.25)},
        {"cost4 hill", model(hillOf(3, 15), add)},
        {"cost4 L1=5", model(hillOf(5, 15), add)},
        {"cost4 green x2", model(hillOf(3, 15), add, {1, 2, 1})},
        {"cost3 sum^2", model(hillOf(3, 15), add, {1, 1, 1}, 0, 2.0)},
    };
}

} // namespace detect
