#include "Ensemble.h"

#include "LinearSolve.h"
#include "Roc.h"
#include "Tile.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace detect {
namespace {

// Scaled to the scatter's mean diagonal: enough to keep a subset larger than the bootstrap's
// rank solvable, small enough not to hide the direction the classes differ in.
constexpr double kRidge = 1e-3;

// Draws k of n indices without repetition.
std::vector<size_t> drawn(const std::vector<size_t>& from, size_t k, Rng& rng) {
    std::vector<size_t> pool = from;
    k = std::min(k, pool.size());
    for (size_t i = 0; i < k; ++i) {
        std::swap(pool[i], pool[i + rng.below(pool.size() - i)]);
    }
    pool.resize(k);
    return pool;
}

struct Standardised {
    std::vector<double> mean;
    std::vector<double> scale;
};

Standardised standardisation(const FeatureRows& cover, const FeatureRows& stego) {
    const size_t n = cover.front().size();
    Standardised s{std::vector<double>(n, 0.0), std::vector<double>(n, 1.0)};
    const double count = static_cast<double>(cover.size() + stego.size());
    for (const FeatureRows* set : {&cover, &stego}) {
        for (const auto& row : *set) {
            for (size_t i = 0; i < n; ++i) {
                s.mean[i] += row[i] / count;
            }
        }
    }
    std::vector<double> variance(n, 0.0);
    for (const FeatureRows* set : {&cover, &stego}) {
        for (const auto& row : *set) {
            for (size_t i = 0; i < n; ++i) {
                variance[i] += (row[i] - s.mean[i]) * (row[i] - s.mean[i]) / count;
            }
        }
    }
    for (size_t i = 0; i < n; ++i) {
        if (variance[i] > 1e-24) {
            s.scale[i] = 1.0 / std::sqrt(variance[i]);
        }
    }
    return s;
}

} // namespace

void FldEnsemble::train(const FeatureRows& cover, const FeatureRows& stego,
                        const std::vector<size_t>& features, const EnsembleOptions& options,
                        uint64_t seed) {
    m_learners.clear();
    m_outOfBag = 1.0;
    const size_t pairs = std::min(cover.size(), stego.size());
    if (pairs < 2) {
        return;
    }
    std::vector<size_t> all = features;
    if (all.empty()) {
        all.resize(cover.front().size());
        std::iota(all.begin(), all.end(), size_t{0});
    }
    const Standardised z = standardisation(cover, stego);
    Rng rng(seed);
    for (int subspace : options.subspaces) {
        const auto d = std::min(static_cast<size_t>(subspace), all.size());
        std::vector<Learner> learners;
        std::vector<int> oobCover(pairs, 0), oobStego(pairs, 0);
        std::vector<bool> seen(pairs, false);
        for (int l = 0; l < options.learners; ++l) {
            Learner learner;
            learner.features = drawn(all, d, rng);
            std::vector<size_t> bag(pairs);
            std::vector<bool> inBag(pairs, false);
            for (size_t& b : bag) {
                b = rng.below(pairs);
                inBag[b] = true;
            }
            // The bag's standardised features, cover rows then stego rows.
            std::vector<double> x(2 * pairs * d);
            std::vector<double> means(2 * d, 0.0);
            for (size_t i = 0; i < pairs; ++i) {
                for (int c = 0; c < 2; ++c) {
                    const std::vector<float>& row = (c == 0 ? cover : stego)[bag[i]];
                    double* out = &x[(c * pairs + i) * d];
                    for (size_t k = 0; k < d; ++k) {
                        const size_t f = learner.features[k];
                        out[k] = (row[f] - z.mean[f]) * z.scale[f];
                        means[c * d + k] += out[k] / static_cast<double>(pairs);
                    }
                }
            }
            std::vector<double> scatter(d * d, 0.0);
            std::vector<double> centred(d);
            for (size_t r = 0; r < 2 * pairs; ++r) {
                const double* m = &means[(r < pairs ? 0 : 1) * d];
                for (size_t k = 0; k < d; ++k) {
                    centred[k] = x[r * d + k] - m[k];
                }
                for (size_t i = 0; i < d; ++i) {
                    double* row = &scatter[i * d];
                    const double ci = centred[i];
                    for (size_t k = 0; k <= i; ++k) {
                        row[k] += ci * centred[k];
                    }
                }
            }
            double trace = 0.0;
            for (size_t i = 0; i < d; ++i) {
                trace += scatter[i * d + i];
            }
            const double ridge = kRidge * std::max(trace / static_cast<double>(d), 1e-12);
            bool solved = false;
            for (double lift = 1.0; !solved && lift <= 1e6; lift *= 100.0) {
                std::vector<double> a = scatter;
                for (size_t i = 0; i < d; ++i) {
                    a[i * d + i] += ridge * lift;
                }
                learner.weights.resize(d);
                for (size_t k = 0; k < d; ++k) {
                    learner.weights[k] = means[d + k] - means[k];
                }
                solved = solveSpd(a, learner.weights, d);
            }
            if (!solved) {
                continue;
            }
            double projected[2] = {0.0, 0.0};
            for (int c = 0; c < 2; ++c) {
                for (size_t k = 0; k < d; ++k) {
                    projected[c] += learner.weights[k] * means[c * d + k];
                }
            }
            learner.threshold = (projected[0] + projected[1]) / 2.0;
            // Each learner's features are kept as raw indices; fold the standardisation into
            // the weights so that voting reads raw rows.
            for (size_t k = 0; k < d; ++k) {
                const size_t f = learner.features[k];
                learner.threshold += learner.weights[k] * z.mean[f] * z.scale[f];
                learner.weights[k] *= z.scale[f];
            }
            for (size_t i = 0; i < pairs; ++i) {
                if (!inBag[i]) {
                    seen[i] = true;
                    const auto decide = [&](const std::vector<float>& row) {
                        double s = 0.0;
                        for (size_t k = 0; k < d; ++k) {
                            s += learner.weights[k] * row[learner.features[k]];
                        }
                        return s > learner.threshold ? 1 : -1;
                    };
                    oobCover[i] += decide(cover[i]);
                    oobStego[i] += decide(stego[i]);
                }
            }
            learners.push_back(std::move(learner));
        }
        double errors = 0.0;
        double counted = 0.0;
        for (size_t i = 0; i < pairs; ++i) {
            if (seen[i]) {
                errors += (oobCover[i] > 0    ? 1.0
                           : oobCover[i] == 0 ? 0.5
                                              : 0.0) +
                          (oobStego[i] < 0    ? 1.0
                           : oobStego[i] == 0 ? 0.5
                                              : 0.0);
                counted += 2.0;
            }
        }
        const double error = counted > 0.0 ? errors / counted : 1.0;
        if (m_learners.empty() || error < m_outOfBag) {
            m_learners = std::move(learners);
            m_outOfBag = error;
            m_subspace = static_cast<int>(d);
        }
    }
}

int FldEnsemble::vote(const std::vector<float>& sample) const {
    int votes = 0;
    for (const Learner& l : m_learners) {
        double s = 0.0;
        for (size_t k = 0; k < l.features.size(); ++k) {
            s += l.weights[k] * sample[l.features[k]];
        }
        votes += s > l.threshold ? 1 : -1;
    }
    return votes;
}

SplitAreas splitAreas(const FeatureRows& cover, const FeatureRows& stego,
                      const std::vector<size_t>& features, int splits,
                      const EnsembleOptions& options, uint64_t seed) {
    SplitAreas result;
    const size_t pairs = std::min(cover.size(), stego.size());
    Rng rng(seed);
    std::vector<size_t> order(pairs);
    for (int s = 0; s < splits && pairs >= 4; ++s) {
        std::iota(order.begin(), order.end(), size_t{0});
        order = drawn(order, pairs, rng);
        const size_t half = pairs / 2;
        FeatureRows trainCover, trainStego;
        for (size_t i = 0; i < half; ++i) {
            trainCover.push_back(cover[order[i]]);
            trainStego.push_back(stego[order[i]]);
        }
        FldEnsemble ensemble;
        ensemble.train(trainCover, trainStego, features, options, rng.next());
        if (s == 0) {
            result.subspace = ensemble.subspace();
        }
        std::vector<double> coverVotes, stegoVotes;
        for (size_t i = half; i < pairs; ++i) {
            coverVotes.push_back(ensemble.vote(cover[order[i]]));
            stegoVotes.push_back(ensemble.vote(stego[order[i]]));
        }
        result.areas.push_back(rocArea(coverVotes, stegoVotes));
    }
    if (!result.areas.empty()) {
        const double n = static_cast<double>(result.areas.size());
        result.mean = std::accumulate(result.areas.begin(), result.areas.end(), 0.0) / n;
        double sq = 0.0;
        for (double a : result.areas) {
            sq += (a - result.mean) * (a - result.mean);
        }
        result.spread = result.areas.size() > 1 ? std::sqrt(sq / (n - 1.0)) : 0.0;
    }
    return result;
}

} // namespace detect
