#pragma once

// Fisher's linear discriminant with a ridge on the within-class scatter, on standardised
// features: the simple classifier the feature detectors are judged with.

#include <vector>

namespace detect {

using Samples = std::vector<std::vector<double>>;

class FisherLinear {
public:
    // Trains on cover and stego samples of equal length; ridge is added to the diagonal of the
    // within-class covariance of the standardised features. False when the samples are empty,
    // of unequal lengths, or the system cannot be solved.
    bool train(const Samples& cover, const Samples& stego, double ridge);
    // Higher for stego. 0 when untrained.
    double score(const std::vector<double>& sample) const;

private:
    std::vector<double> m_mean;
    std::vector<double> m_scale;
    std::vector<double> m_weights;
};

// Trains with the ridge that gives the best mean ROC area over `folds` cross-validation folds of
// the training samples (cover i and stego i stay in the same fold), from a fixed grid.
FisherLinear trainWithChosenRidge(const Samples& cover, const Samples& stego, int folds = 4);

} // namespace detect
