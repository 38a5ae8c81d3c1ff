#pragma once

#include "util/UiServices.h"

#include <QString>
#include <cstdint>

namespace brindmar {

// Selection mode: bits 0-1 choose the kind on the way in, values of 64 and above report on the
// way out that no usable choice was made.
inline constexpr uint8_t kSelectKindMask = 3;
inline constexpr uint8_t kSelectFolder = 3;
inline constexpr uint8_t kSelectKeepPresetName = 64;
inline constexpr uint8_t kSelectCancelled = 64;
inline constexpr uint8_t kSelectNoBaseName = 65;
inline constexpr uint8_t kSelectWrongExtension = 66;

// The chooser behind every file and folder choice. The caller fills the request's title, filter,
// initial folder and, with kSelectKeepPresetName, its preset file name. Returns the chosen path,
// empty unless a choice was made; mode is below 64 exactly when one was (the preset bit is
// cleared then, so that a caller that asked for it can tell a choice from a cancel).
//
// A file choice without an extension gets the required one added; a different extension gives
// kSelectWrongExtension. requiredExtension is trimmed and lower-cased in the caller's variable.
// A folder choice returns the folder with its final separator.
QString SelectFile(uint8_t& mode, FileDialogRequest request, QString& requiredExtension,
                   UiServices& ui);

} // namespace brindmar
