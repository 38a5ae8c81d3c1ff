#pragma once

#include "payload/PayloadHeader.h"
#include "workflows/WorkflowContext.h"

#include <string>

namespace brindmar {

// The work files in the temporary folder: the packed document, the copy of a document whose
// file name is too long to be an archive member, and the uncompressed copy of an 8-bit carrier
// the engine cannot read as it is.
inline const QString kWorkArchiveName = QStringLiteral("vokbdat1.tmp");
inline const QString kWorkCopyName = QStringLiteral("vokbdat2.tmp");
inline const QString kWorkCarrierName = QStringLiteral("vokbdat3.tmp");

// Packs the chosen document into the work archive (compressed, or encrypted when the user asked
// for it), or keeps it as it is when compression does not pay or the ZIP service fails; then
// the document size, payload length and crop figures follow.
void PackDocument(WorkflowContext& ctx, bool clearSubstituteName);

// The document's file name exactly as it is, blanks at its ends included.
QString exactFileName(const QString& path);

// The name the payload header carries for the chosen document: its own, or a stand-in when the
// archive has to carry it.
QString headerDocumentName(const WindowModel& m);

// How the payload header names the chosen document, as the last packing decided.
NameRoute nameRouteOf(const WindowModel& m);

// The header of a document that is not sealed. An encrypted archive's header stores the time its
// password was made from, as read then; any other reads the document's time now.
std::string plainPayloadHeader(const WindowModel& m, const Platform& platform);

// How the stored document is kept, as the packing left it: this, not the wish to encrypt, is
// what the header must say, or it would describe bytes other than those it is stored with.
StorageMode storageModeOf(const WindowModel& m);

// Whether the chosen document can only be embedded packed: an empty one (the payload cannot say
// "no bytes") and one whose name only the archive can carry.
bool mustTravelPacked(const WindowModel& m);

// Why the zip service did not pack or unpack: Fault::None where it could not say (or could not
// be called at all), else its step, its status and the errno behind it.
struct ZipFailure {
    Fault fault = Fault::None;
    int status = 0;
    int error = 0;
};

// Where the service said why, the failure in an outcome's fault, figure and error, for the front
// ends to word; nothing changes where it did not.
void describeZipFailure(Outcome& outcome, const ZipFailure& failure);

// Creates the archive and adds the document.
bool ZipDocument(WorkflowContext& ctx, const QString& documentPath, const QString& archivePath,
                 bool encrypted, ZipFailure& failure);

// The 76-character archive password for the code and the password number (the last-write DOS
// time of the document); the extraction derives it the same way.
std::string DeriveArchivePassword(const QString& code, int32_t passwordNumber);

// Whether the stored document is what the header built from the model would describe: the
// packing it went through, and its length now.
bool storedDocumentCurrent(const WindowModel& m, const QString& temporaryFolder);

} // namespace brindmar
