#include "RichModel.h"

#include "RichCooccurrence.h"

#include <array>
#include <map>
#include <optional>
#include <tuple>
#include <utility>

namespace detect {
namespace {

// The submodels of a family of directional residuals (right, left, down, up) after the spatial
// rich model: straight co-occurrences of one direction with its turn (the row's residual along
// rows with the column's along columns, and crosswise), and min/max over all four and over each
// axis's pair.
void addDirectional(std::vector<Submodel>& out, const char* spamH, const char* spamV,
                    const char* minMax4, const char* minMax2H, const char* minMax2V, Residual right,
                    Residual left, Residual down, Residual up) {
    out.push_back({spamH, false, {{{right}, true}, {{down}, false}}});
    out.push_back({spamV, false, {{{right}, false}, {{down}, true}}});
    out.push_back(
        {minMax4, true, {{{right, left, down, up}, true}, {{right, left, down, up}, false}}});
    out.push_back({minMax2H, true, {{{right, left}, true}, {{down, up}, false}}});
    out.push_back({minMax2V, true, {{{right, left}, false}, {{down, up}, true}}});
}

// A square kernel and its four edge halves.
void addSquareAndEdges(std::vector<Submodel>& out, const char* square, const char* edgeH,
                       const char* edgeV, const char* edgeMinMax, Residual sq, Residual eUp,
                       Residual eDown, Residual eLeft, Residual eRight) {
    out.push_back({square, false, {{{sq}, true}, {{sq}, false}}});
    out.push_back({edgeH, false, {{{eUp}, true}, {{eLeft}, false}}});
    out.push_back({edgeV, false, {{{eUp}, false}, {{eLeft}, true}}});
    out.push_back({edgeMinMax,
                   true,
                   {{{eUp, eDown, eLeft, eRight}, true}, {{eUp, eDown, eLeft, eRight}, false}}});
}

std::vector<Submodel> makeSubmodels() {
    std::vector<Submodel> s;
    addDirectional(s, "1st spam h", "1st spam v", "1st minmax 4", "1st minmax 2h", "1st minmax 2v",
                   kFirstRight, kFirstLeft, kFirstDown, kFirstUp);
    s.push_back({"2nd spam h", false, {{{kSecondH}, true}, {{kSecondV}, false}}});
    s.push_back({"2nd spam v", false, {{{kSecondH}, false}, {{kSecondV}, true}}});
    s.push_back(
        {"2nd minmax", true, {{{kSecondH, kSecondV}, true}, {{kSecondH, kSecondV}, false}}});
    addDirectional(s, "3rd spam h", "3rd spam v", "3rd minmax 4", "3rd minmax 2h", "3rd minmax 2v",
                   kThirdRight, kThirdLeft, kThirdDown, kThirdUp);
    addSquareAndEdges(s, "3x3 square", "3x3 edge h", "3x3 edge v", "3x3 edge minmax", kSquare3,
                      kEdge3Up, kEdge3Down, kEdge3Left, kEdge3Right);
    addSquareAndEdges(s, "5x5 square", "5x5 edge h", "5x5 edge v", "5x5 edge minmax", kSquare5,
                      kEdge5Up, kEdge5Down, kEdge5Left, kEdge5Right);
    return s;
}

size_t spatialLength() {
    size_t n = 0;
    for (const Submodel& m : richSubmodels()) {
        n += m.minMax ? kMinMaxBins : kSignBins;
    }
    return n * std::size(kRichSteps);
}

// Residuals of one plane, each computed once, with their quantised symbols per step and the
// min/max planes of each set asked for.
class PlaneResiduals {
public:
    explicit PlaneResiduals(const Plane& plane) : m_plane(plane) {}

    const ResidualPlane& raw(Residual r) {
        std::optional<ResidualPlane>& slot = m_raw[r];
        if (!slot) {
            slot = residual(m_plane, r);
        }
        return *slot;
    }

    const std::vector<uint8_t>& symbols(Residual r, int step) {
        auto [it, fresh] = m_symbols.try_emplace({{r}, step, 0});
        if (fresh) {
            it->second = quantised(raw(r), step * residualKernels()[r].scale);
        }
        return it->second;
    }

    // which: -1 min, +1 max.
    const std::vector<uint8_t>& extreme(const std::vector<Residual>& set, int step, int which) {
        auto [it, fresh] = m_symbols.try_emplace({set, step, which});
        if (fresh) {
            std::vector<const ResidualPlane*> planes;
            for (Residual r : set) {
                planes.push_back(&raw(r));
            }
            const ResidualPlane e = which < 0 ? pixelwiseMin(planes) : pixelwiseMax(planes);
            it->second = quantised(e, step * residualKernels()[set.front()].scale);
        }
        return it->second;
    }

    bool bigEnough() const { return width() >= 4 && height() >= 4; }
    int width() const { return m_plane.width - 2 * kResidualMargin; }
    int height() const { return m_plane.height - 2 * kResidualMargin; }

private:
    using Key = std::tuple<std::vector<Residual>, int, int>;
    const Plane& m_plane;
    std::array<std::optional<ResidualPlane>, kResidualCount> m_raw;
    std::map<Key, std::vector<uint8_t>> m_symbols;
};

// Every submodel at every step, pooled over the planes given; planes too small give nothing.
void appendSpatial(std::vector<PlaneResiduals>& planes, std::vector<float>& out) {
    for (int step : kRichSteps) {
        for (const Submodel& m : richSubmodels()) {
            QuadrupleCounts least{}, most{};
            for (PlaneResiduals& r : planes) {
                if (!r.bigEnough()) {
                    continue;
                }
                for (const Scan& scan : m.scans) {
                    if (m.minMax) {
                        addQuadruples(r.extreme(scan.residuals, step, -1), r.width(), r.height(),
                                      scan.alongRows, least);
                        addQuadruples(r.extreme(scan.residuals, step, +1), r.width(), r.height(),
                                      scan.alongRows, most);
                    } else {
                        addQuadruples(r.symbols(scan.residuals.front(), step), r.width(),
                                      r.height(), scan.alongRows, least);
                    }
                }
            }
            if (m.minMax) {
                appendMinMax(least, most, out);
            } else {
                appendSignSymmetric(least, out);
            }
        }
    }
}

Plane planeOf(const Tile& tile, int channel, int minus) {
    Plane p{tile.width, tile.height,
            std::vector<int>(static_cast<size_t>(tile.width) * tile.height)};
    for (size_t i = 0; i < p.values.size(); ++i) {
        p.values[i] = tile.bgr[i * 3 + static_cast<size_t>(channel)] -
                      (minus >= 0 ? tile.bgr[i * 3 + static_cast<size_t>(minus)] : 0);
    }
    return p;
}

} // namespace

const std::vector<Submodel>& richSubmodels() {
    static const std::vector<Submodel> submodels = makeSubmodels();
    return submodels;
}

const std::vector<std::vector<Residual>>& colourGroups() {
    static const std::vector<std::vector<Residual>> groups = {
        {kFirstRight, kFirstDown},
        {kSecondH, kSecondV},
        {kThirdRight, kThirdDown},
        {kSquare3},
        {kEdge3Up, kEdge3Down, kEdge3Left, kEdge3Right},
        {kSquare5},
        {kEdge5Up, kEdge5Down, kEdge5Left, kEdge5Right},
    };
    return groups;
}

RichLayout richLayout() {
    const size_t spatial = spatialLength();
    return {spatial, colourGroups().size() * kColourBins * std::size(kRichSteps), spatial};
}

std::vector<float> spatialFeatures(const std::vector<Plane>& planes) {
    std::vector<PlaneResiduals> residuals;
    for (const Plane& p : planes) {
        residuals.emplace_back(p);
    }
    std::vector<float> out;
    appendSpatial(residuals, out);
    return out;
}

std::vector<Plane> colourPlanes(const Tile& tile) {
    return {planeOf(tile, 0, -1), planeOf(tile, 1, -1), planeOf(tile, 2, -1)};
}

std::vector<Plane> differencePlanes(const Tile& tile) {
    return {planeOf(tile, 2, 1), planeOf(tile, 0, 1)};
}

std::vector<float> richFeatures(const Tile& tile) {
    const std::vector<Plane> colour = colourPlanes(tile);
    std::vector<PlaneResiduals> channels;
    for (const Plane& p : colour) {
        channels.emplace_back(p);
    }
    std::vector<float> out;
    out.reserve(richLayout().total());
    appendSpatial(channels, out);
    for (int step : kRichSteps) {
        for (const std::vector<Residual>& group : colourGroups()) {
            TripleCounts counts{};
            if (channels.front().bigEnough()) {
                for (Residual r : group) {
                    // Red, green, blue: the order of the bins, whatever the tile's byte order.
                    addTriples(channels[2].symbols(r, step), channels[1].symbols(r, step),
                               channels[0].symbols(r, step), counts);
                }
            }
            appendColour(counts, out);
        }
    }
    const std::vector<Plane> differences = differencePlanes(tile);
    std::vector<PlaneResiduals> pair;
    for (const Plane& p : differences) {
        pair.emplace_back(p);
    }
    appendSpatial(pair, out);
    return out;
}

} // namespace detect
