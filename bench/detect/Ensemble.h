#pragma once

// The ensemble classifier rich models are scored with: many Fisher linear discriminants, each
// on a random subset of the features and a bootstrap sample of the training pairs, deciding by
// majority vote. The subset's size is chosen by the out-of-bag error, the vote of the learners
// that did not see a pair.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace detect {

using FeatureRows = std::vector<std::vector<float>>;

struct EnsembleOptions {
    int learners = 51;
    std::vector<int> subspaces = {100, 200, 400}; // tried in turn; the best out of bag is kept
};

class FldEnsemble {
public:
    // Trains on pairs: cover[i] and stego[i] are the same picture (a bootstrap draws pairs).
    // `features` are the indices the learners draw their subsets from (all when empty).
    void train(const FeatureRows& cover, const FeatureRows& stego,
               const std::vector<size_t>& features, const EnsembleOptions& options, uint64_t seed);
    // The learners' votes for stego minus those for cover.
    int vote(const std::vector<float>& sample) const;
    int subspace() const { return m_subspace; }
    double outOfBagError() const { return m_outOfBag; }

private:
    struct Learner {
        std::vector<size_t> features;
        std::vector<double> weights;
        double threshold = 0.0;
    };
    std::vector<Learner> m_learners;
    int m_subspace = 0;
    double m_outOfBag = 1.0;
};

struct SplitAreas {
    double mean = 0.5;
    double spread = 0.0; // standard deviation over the splits
    std::vector<double> areas;
    int subspace = 0; // the first split's choice
};

// Areas under the ROC curve of the vote over `splits` random halvings of the pairs: trained on
// one half, scored on the other.
SplitAreas splitAreas(const FeatureRows& cover, const FeatureRows& stego,
                      const std::vector<size_t>& features, int splits,
                      const EnsembleOptions& options, uint64_t seed);

} // namespace detect
