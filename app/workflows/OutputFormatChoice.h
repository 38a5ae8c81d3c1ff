#pragma once

#include "workflows/ImageFormat.h"
#include "workflows/WorkflowContext.h"

namespace brindmar {

// The new image's format as the window offers it next to the output folder, in the order it
// lists the entries: as the carrier (the format outputFormatFor gives), BMP, PNG.
inline constexpr int kFormatChoiceCount = 3;

QString formatChoiceCaption(int index);
int formatChoiceIndex(std::optional<ImageFormat> asked);

// The user's choice, kept in the model until the settings take it.
void ChooseOutputFormat(WorkflowContext& ctx, int index);

// The format the embed asks for: the user's choice, else, for a carrier the window converted
// from a picture, the one that picture gives; nothing leaves it to the carrier itself.
std::optional<ImageFormat> outputFormatAsked(const WindowModel& model);

// What says, for the chosen carrier, which format "as carrier" stands for.
QString formatChoiceTooltip(const WindowModel& model);

// Only while nothing runs: an embed under way has fixed its output's name.
bool formatChoiceEnabled(const WindowModel& model);

// The settings' text: "bmp", "png", or "carrier"; anything else reads as the carrier's format.
QString formatSettingText(std::optional<ImageFormat> asked);
std::optional<ImageFormat> formatFromSetting(const QString& text);

} // namespace brindmar
