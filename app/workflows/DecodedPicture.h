#pragma once

#include "workflows/WorkflowContext.h"

#include <optional>

namespace brindmar {

// A picture the engine cannot read as it is (a PNG image, or a JPEG kept a JPEG under Stealth)
// is read through the BMP of its pixels in the private work folder: its work copy, which the
// engine, the information window and the viewer read as they read any BMP, and which every
// message names by the picture. The command line and the window both go through it.

// Makes the work copy; nothing when the picture cannot be decoded, and the user has been told
// why.
std::optional<QString> DecodePicture(WorkflowContext& ctx, const QString& picture);

// The image the user chose, by the name the user knows: the picture while its work copy is the
// carrier, else the chosen BMP.
QString shownImagePath(const WindowModel& model);

// The BMP command's choice, a BMP or a PNG image (by its content): a PNG is taken as
// TakeDecodedPicture takes it, anything else goes through TakeBmp.
void TakeImage(WorkflowContext& ctx, const QString& path);

// Any picture the converter reads, taken through its work copy as the only image of its list.
void TakeDecodedPicture(WorkflowContext& ctx, const QString& picture);

// A picture chosen as the carrier that is neither a BMP nor a PNG: a JPEG that can stay a JPEG
// (jpegKeptAtChoice) is taken through its work copy without a question; any other is offered
// for conversion into a BMP of the user's.
void ChoosePicture(WorkflowContext& ctx, const QString& picture);

// Wipes the work copy of the picture chosen last, if any: when another image is chosen, and as a
// run ends.
void ReleaseDecodedPicture(WorkflowContext& ctx);

// Whether the BMP command takes the file as it is (a BMP, or a PNG image by its content) rather
// than offering to convert it.
bool takenAsImage(const QString& path);

} // namespace brindmar
