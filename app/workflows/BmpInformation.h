#pragma once

#include "workflows/WorkflowContext.h"

#include <array>
#include <cstdint>
#include <optional>

namespace brindmar {

inline constexpr int kBmpInformationFields = 14;

// The header of the chosen BMP as the information window lists it: the identifier, then the
// thirteen numbers as stored (signed decimal, unchecked). nullopt when the file cannot be opened
// or read; which it was is concluded then, as the outcome of opening it.
std::optional<std::array<QString, kBmpInformationFields>> ReadBmpInformation(WorkflowContext& ctx,
                                                                             const QString& path);

} // namespace brindmar
