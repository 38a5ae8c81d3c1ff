#pragma once

#include "workflows/WorkflowContext.h"

#include <optional>

namespace brindmar {

// The BMP of a PNG image's pixels, made in the private work folder, which the engine, the
// information window and the viewer read as they read any BMP. The command line and the window
// both go through it. Nothing when the PNG cannot be decoded; the user has been told why.
std::optional<QString> DecodePngImage(WorkflowContext& ctx, const QString& png);

// The image the user chose, by the name the user knows: the PNG while its work BMP is the
// carrier, else the chosen BMP.
QString shownImagePath(const WindowModel& model);

// The BMP command's choice, a BMP or a PNG image. A PNG is decoded into the work folder and
// taken as the only image of its list; anything else goes through TakeBmp.
// anyPicture takes any picture the converter reads as a PNG is taken, and records it as the
// picture the work BMP was converted from.
void TakeImage(WorkflowContext& ctx, const QString& path, bool anyPicture = false);

// Wipes the work BMP of the PNG chosen last, if any: when another image is chosen, and as a run
// ends.
void ReleasePngImage(WorkflowContext& ctx);

// Whether the BMP command takes the file as it is (a BMP, or a PNG image by its content) rather
// than offering to convert it.
bool takenAsImage(const QString& path);

} // namespace brindmar
