#pragma once

#include "workflows/StealthEmbedding.h"
#include "workflows/WorkflowContext.h"

#include <QString>
#include <memory>
#include <optional>

namespace brindmar {

class ReplacementFile;

// Under Stealth a JPEG carrier stays a JPEG: the document goes into its own coefficients, and
// the new image has the carrier's size, tables, sampling, progression and markers. The window
// and the command line both choose a JPEG through the BMP converted from it, which gives the
// figures and checks every carrier has; this route then takes the JPEG itself.

// Whether the file starts as a JPEG does (FF D8 FF), whatever it is called.
bool isJpegFile(const QString& path);

// The JPEG the embed carries in: under Stealth, with the format left to the carrier, for a
// carrier converted from a JPEG. Nothing otherwise: PNG and BMP give pixel Stealth.
std::optional<QString> jpegStealthCarrier(const WindowModel& m);

// The JPEG a stealth search reads: the one the chosen carrier was converted from.
std::optional<QString> jpegSearchSource(const WindowModel& m);

// NAME.jpg in folder (which ends in a separator) for a carrier NAME.*.
QString jpegStealthOutputPath(const QString& folder, const QString& jpeg);

// The JPEG route's output for the model's carrier, NAME.jpg in the embed's output folder.
std::optional<QString> jpegStealthOutput(const WindowModel& m);
// Whether output is the JPEG the route carries in.
bool replacesJpegCarrier(const WindowModel& m, const QString& output);

// The JPEG's capacity, recommended length and GPS flag in the model, read once a file.
void takeJpegFigures(WindowModel& m, const QString& jpeg);

// Whether a JPEG's coefficients open, and why it cannot be kept a JPEG when they do not
// (arithmetic coded, or damaged past what a decoder makes up), though its pixels may.
bool jpegCoefficientsOpen(const QString& jpeg);
QString notReadableText(const QString& jpeg);

// Hidden bits per non-zero AC coefficient at the recommended rate, as the texts say it.
QString jpegRecommendedRateText();

// Writes the JPEG stealth image of jpeg carrying the work archive into out, without committing
// it: the file as written is read back from the disk with the embed's key before it is done.
// Warns above the recommended rate, and asks (or tells, when the request has answered) about an
// EXIF that names a place.
StealthOutcome EmbedJpegStealthImage(WorkflowContext& ctx, const QString& jpeg,
                                     std::shared_ptr<ReplacementFile> out);

// The stealth image of the model's carrier: in the JPEG's coefficients on the JPEG route, else
// in carrier's pixels (EmbedStealthImage).
StealthOutcome EmbedStealthCarrier(WorkflowContext& ctx, const QString& carrier,
                                   std::shared_ptr<ReplacementFile> out);

// Looks for a JPEG stealth payload in jpeg with the model's code; when done the work archive
// holds what it carried.
StealthOutcome SearchJpegStealthPayload(WorkflowContext& ctx, const QString& jpeg);

} // namespace brindmar
