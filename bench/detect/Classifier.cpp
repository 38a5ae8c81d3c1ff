#include "Classifier.h"

#include "LinearSolve.h"
#include "Roc.h"

#include <cmath>
#include <cstddef>

namespace detect {

bool FisherLinear::train(const Samples& cover, const Samples& stego, double ridge) {
    m_weights.clear();
    if (cover.empty() || stego.empty()) {
        return false;
    }
    const size_t n = cover.front().size();
    for (const Samples* set : {&cover, &stego}) {
        for (const auto& s : *set) {
            if (s.size() != n) {
                return false;
            }
        }
    }
    const double count = static_cast<double>(cover.size() + stego.size());
    m_mean.assign(n, 0.0);
    m_scale.assign(n, 1.0);
    for (const Samples* set : {&cover, &stego}) {
        for (const auto& s : *set) {
            for (size_t i = 0; i < n; ++i) {
                m_mean[i] += s[i] / count;
            }
        }
    }
    std::vector<double> variance(n, 0.0);
    for (const Samples* set : {&cover, &stego}) {
        for (const auto& s : *set) {
            for (size_t i = 0; i < n; ++i) {
                variance[i] += (s[i] - m_mean[i]) * (s[i] - m_mean[i]) / count;
            }
        }
    }
    // Constant features stay at scale 1 and contribute nothing once centred.
    for (size_t i = 0; i < n; ++i) {
        if (variance[i] > 1e-20) {
            m_scale[i] = 1.0 / std::sqrt(variance[i]);
        }
    }
    auto standardised = [&](const std::vector<double>& s) {
        std::vector<double> z(n);
        for (size_t i = 0; i < n; ++i) {
            z[i] = (s[i] - m_mean[i]) * m_scale[i];
        }
        return z;
    };
    std::vector<double> means[2] = {std::vector<double>(n, 0.0), std::vector<double>(n, 0.0)};
    std::vector<Samples> z(2);
    const Samples* sets[2] = {&cover, &stego};
    for (int c = 0; c < 2; ++c) {
        for (const auto& s : *sets[c]) {
            z[c].push_back(standardised(s));
            for (size_t i = 0; i < n; ++i) {
                means[c][i] += z[c].back()[i] / static_cast<double>(sets[c]->size());
            }
        }
    }
    std::vector<double> scatter(n * n, 0.0);
    std::vector<double> centred(n);
    for (int c = 0; c < 2; ++c) {
        for (const auto& s : z[c]) {
            for (size_t i = 0; i < n; ++i) {
                centred[i] = s[i] - means[c][i];
            }
            for (size_t i = 0; i < n; ++i) {
                const double ci = centred[i] / count;
                double* row = &scatter[i * n];
                for (size_t k = 0; k <= i; ++k) {
                    row[k] += ci * centred[k];
                }
            }
        }
    }
    for (size_t i = 0; i < n; ++i) {
        for (size_t k = 0; k < i; ++k) {
            scatter[k * n + i] = scatter[i * n + k];
        }
        scatter[i * n + i] += ridge;
    }
    std::vector<double> direction(n);
    for (size_t i = 0; i < n; ++i) {
        direction[i] = means[1][i] - means[0][i];
    }
    if (!solveSpd(scatter, direction, n)) {
        return false;
    }
    m_weights = std::move(direction);
    return true;
}

double FisherLinear::score(const std::vector<double>& sample) const {
    if (m_weights.empty() || sample.size() != m_weights.size()) {
        return 0.0;
    }
    double s = 0.0;
    for (size_t i = 0; i < m_weights.size(); ++i) {
        s += m_weights[i] * (sample[i] - m_mean[i]) * m_scale[i];
    }
    return s;
}

FisherLinear trainWithChosenRidge(const Samples& cover, const Samples& stego, int folds) {
    constexpr double kRidges[] = {1e-3, 1e-2, 1e-1, 1.0, 10.0};
    double bestRidge = 1.0;
    double bestArea = -1.0;
    const size_t pairs = std::min(cover.size(), stego.size());
    if (folds >= 2 && pairs >= static_cast<size_t>(2 * folds)) {
        for (double ridge : kRidges) {
            double area = 0.0;
            for (int f = 0; f < folds; ++f) {
                Samples trainCover, trainStego;
                std::vector<size_t> held;
                for (size_t i = 0; i < pairs; ++i) {
                    if (static_cast<int>(i % static_cast<size_t>(folds)) == f) {
                        held.push_back(i);
                    } else {
                        trainCover.push_back(cover[i]);
                        trainStego.push_back(stego[i]);
                    }
                }
                FisherLinear model;
                if (!model.train(trainCover, trainStego, ridge)) {
                    area = -1.0;
                    break;
                }
                std::vector<double> sc, ss;
                for (size_t i : held) {
                    sc.push_back(model.score(cover[i]));
                    ss.push_back(model.score(stego[i]));
                }
                area += rocArea(sc, ss) / folds;
            }
            if (area > bestArea) {
                bestArea = area;
                bestRidge = ridge;
            }
        }
    }
    FisherLinear model;
    model.train(cover, stego, bestRidge);
    return model;
}

} // namespace detect
