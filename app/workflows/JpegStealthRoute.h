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
// and the command line both choose a JPEG through the BMP of its pixels (a work copy, or one the
// user converted it into), which gives the figures, thumbnail and checks every carrier has;
// this route then takes the JPEG itself.

// Whether the file starts as a JPEG does (FF D8 FF), whatever it is called.
bool isJpegFile(const QString& path);

// The JPEG the embed carries in: under Stealth, with the format left to the carrier, for a
// carrier converted from a JPEG. Nothing otherwise: PNG and BMP give pixel Stealth.
std::optional<QString> jpegStealthCarrier(const WindowModel& m);

// The JPEG a stealth search reads: the one the chosen carrier was converted or decoded from.
std::optional<QString> jpegSearchSource(const WindowModel& m);

// Whether the window takes picture, chosen as the carrier, through its work copy with no
// question, so that it can stay a JPEG: a JPEG under Stealth, or one chosen with a code that
// could open a stealth payload and no document (to search it). Without either, a JPEG is
// offered for conversion as any other picture.
bool jpegKeptAtChoice(const WindowModel& m, const QString& picture);

// NAME.jpg in folder (which ends in a separator) for a carrier NAME.*.
QString jpegStealthOutputPath(const QString& folder, const QString& jpeg);

// The JPEG route's output for the model's carrier, NAME.jpg in the embed's output folder.
std::optional<QString> jpegStealthOutput(const WindowModel& m);
// Whether output is the JPEG the route carries in.
bool replacesJpegCarrier(const WindowModel& m, const QString& output);

// The JPEG's capacity, recommended length, GPS flag and, when its coefficients do not open,
// why (jpegFault), in the model, read once a file.
void takeJpegFigures(WindowModel& m, const QString& jpeg);

// Whether a JPEG's coefficients open: a JPEG whose pixels Qt decodes may still be one the
// coefficient reader refuses (arithmetic coded, too many scans, damaged past what a decoder
// makes up).
bool jpegCoefficientsOpen(const QString& jpeg);

// Why the JPEG's coefficients do not open (JpegFault in the window model).
JpegFault jpegFaultOf(const QByteArray& file);

// Why a JPEG cannot stay one, from its fault's kind, at length: the window's tooltip for Embed
// max. 0 and both front ends' failure lines say the same; nothing for any other cause.
QString jpegFaultWords(Cause kind);
// The same after a colon, as both front ends end their line with it; nothing for any other cause.
QString jpegFaultClause(Cause kind);

// What the window says of "Embed max. 0" for a JPEG that cannot stay a JPEG: in the status row,
// and in full in the tooltips.
QString jpegFaultStatus(const WindowModel& m);
QString jpegFaultNote(const WindowModel& m);

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
