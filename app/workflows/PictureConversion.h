#pragma once

#include "workflows/WorkflowContext.h"

namespace brindmar {

// The Convert picture command: a picture of any kind the converter reads becomes NAME.bmp in a
// folder the user picks (the picture's own by default), and then the carrier, as if chosen with
// the BMP command. Nothing happens without a converter.
void ConvertPicture(WorkflowContext& ctx);

// The same for a picture already chosen (dropped on the window, named on the command line);
// folder, when given, is where the BMP goes without asking, and half says whether at half size;
// without it, the user is asked both (half size for a JPEG only). The new BMP's path, or nothing
// when the conversion did not happen (the user has been told why, or cancelled).
std::optional<QString> ConvertPictureFile(WorkflowContext& ctx, const QString& picture,
                                          const std::optional<QString>& folder = std::nullopt,
                                          bool half = false);

// Asks whether a JPEG's copy is to be made at half size; false for any other picture, nothing
// when the user cancels the conversion there.
std::optional<bool> AskHalfSize(WorkflowContext& ctx, const QString& picture);

// A picture dropped on the thumbnail that is no BMP: asks whether to convert it, and so chooses
// the converted carrier.
void OfferConversion(WorkflowContext& ctx, const QString& picture);

// Where the BMP for picture goes in folder: NAME.bmp, or NAME-converted.bmp where that would be
// the picture itself, which is never replaced.
QString convertedBmpPath(const QString& picture, const QString& folder);

} // namespace brindmar
