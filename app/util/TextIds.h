#pragma once

#include <array>
#include <optional>

namespace brindmar {

// Every number the program asks of its string table, once. The list feeds both the enum and
// kAllTextIds, so a test can check that the shipped table holds every text the code can ask for.
#define BRINDMAR_TEXT_IDS(X)                                                                       \
    X(LayoutVariant, 16)                                                                           \
    X(ProductName, 17)                                                                             \
    X(DefaultOutputFolder, 18)                                                                     \
    X(StartUpFailure, 19)                                                                          \
    X(ToEmbedCaption, 33)                                                                          \
    X(EncryptCaption, 34)                                                                          \
    X(SizeCaption, 35)                                                                             \
    X(BmpFileCaption, 36)                                                                          \
    X(CropPercentCaption, 37)                                                                      \
    X(EmbedMaxCaption, 38)                                                                         \
    X(CropUsingCaption, 39)                                                                        \
    X(CodeCaption, 40)                                                                             \
    X(OutputToCaption, 41)                                                                         \
    X(BmpFileTitle, 42)                                                                            \
    X(CannotBeOpenedSuffix, 43)                                                                    \
    X(CannotBeReadSuffix, 44)                                                                      \
    X(CodeTooltip, 45)                                                                             \
    X(DocumentSelectItem, 48)                                                                      \
    X(BmpSelectItem, 49)                                                                           \
    X(OutputDirectorySelectItem, 52)                                                               \
    X(StopProcessingItem, 53)                                                                      \
    X(WipeFileItem, 54)                                                                            \
    X(OpenHelpTooltip, 55)                                                                         \
    X(EmbedMode, 57)                                                                               \
    X(ExtractMode, 58)                                                                             \
    X(SelectExtractOutputTooltip, 61)                                                              \
    X(UseSoundItem, 63)                                                                            \
    X(FileMenu, 64)                                                                                \
    X(BmpInformationItem, 65)                                                                      \
    X(BmpViewItem, 66)                                                                             \
    X(ZipUnzipItem, 68)                                                                            \
    X(ExitItem, 69)                                                                                \
    X(EmbedItem, 70)                                                                               \
    X(ExtractItem, 71)                                                                             \
    X(KeepOriginalDateItem, 72)                                                                    \
    X(MaskCodeItem, 73)                                                                            \
    X(HelpMenu, 74)                                                                                \
    X(HelpThisWindowItem, 75)                                                                      \
    X(HelpContentsItem, 76)                                                                        \
    X(HelpSearchItem, 77)                                                                          \
    X(CropNone, 80)                                                                                \
    X(CropCentre, 81)                                                                              \
    X(CropLeft, 82)                                                                                \
    X(CropRight, 83)                                                                               \
    X(CropBottom, 84)                                                                              \
    X(CropTop, 85)                                                                                 \
    X(CropVerticalStrip, 86)                                                                       \
    X(CropHorizontalStripTooltip, 87)                                                              \
    X(CropToItem, 88)                                                                              \
    X(FileExtractTitle, 91)                                                                        \
    X(ErrorDuringExtracting, 92)                                                                   \
    X(ErrorDuringExtractUnzip, 93)                                                                 \
    X(CropTooltipPrefix, 94)                                                                       \
    X(NoCropTooltip, 95)                                                                           \
    X(InfoIdentifier, 112)                                                                         \
    X(InfoFileSize, 113)                                                                           \
    X(InfoImageOffset, 114)                                                                        \
    X(InfoHeaderSize, 115)                                                                         \
    X(InfoWidth, 116)                                                                              \
    X(InfoHeight, 117)                                                                             \
    X(InfoPlanes, 118)                                                                             \
    X(InfoBitsPerPixel, 119)                                                                       \
    X(InfoCompression, 120)                                                                        \
    X(InfoCompressedSize, 121)                                                                     \
    X(InfoHorizontalResolution, 122)                                                               \
    X(InfoVerticalResolution, 123)                                                                 \
    X(InfoColoursUsed, 124)                                                                        \
    X(InfoImportantColours, 125)                                                                   \
    X(InfoWindowTitle, 126)                                                                        \
    X(InfoFileLabel, 127)                                                                          \
    X(WipeTitle, 128)                                                                              \
    X(ConfirmDeleteOf, 129)                                                                        \
    X(WipeDeleteFailed, 130)                                                                       \
    X(WipeFailed, 131)                                                                             \
    X(ZipErrorTitle, 132)                                                                          \
    X(ErrorDuringUnzippingOf, 133)                                                                 \
    X(ErrorDuringZippingOf, 134)                                                                   \
    X(ZipToolTitle, 135)                                                                           \
    X(ZippedToDirectory, 136)                                                                      \
    X(EndUnzipFunction, 137)                                                                       \
    X(CloseCaption, 138)                                                                           \
    X(SelectFileToEmbedTooltip, 144)                                                               \
    X(SelectBmpTooltip, 145)                                                                       \
    X(ViewBmpInfoTooltip, 146)                                                                     \
    X(ViewBmpFullSizeTooltip, 147)                                                                 \
    X(SelectEmbedOutputTooltip, 148)                                                               \
    X(EmbedFileTooltip, 149)                                                                       \
    X(ExtractFileTooltip, 150)                                                                     \
    X(StopTooltip, 151)                                                                            \
    X(SelectFileToWipeTooltip, 152)                                                                \
    X(ViewHelpTooltip, 153)                                                                        \
    X(ExitTooltip, 154)                                                                            \
    X(FirstTooltip, 155)                                                                           \
    X(PreviousTooltip, 156)                                                                        \
    X(NextTooltip, 157)                                                                            \
    X(LastTooltip, 158)                                                                            \
    X(CropHorizontalStripItem, 159)                                                                \
    X(SelectBmpDialogTitle, 160)                                                                   \
    X(SelectDocumentDialogTitle, 161)                                                              \
    X(EmbedOutputDialogTitle, 162)                                                                 \
    X(ExtractOutputDialogTitle, 163)                                                               \
    X(SelectWipeDialogTitle, 164)                                                                  \
    X(ToStartValuesTooltip, 165)                                                                   \
    X(InvalidBmpFile, 168)                                                                         \
    X(BmpBelow256Colours, 169)                                                                     \
    X(BmpIsOs2, 170)                                                                               \
    X(NotInBmpFormat, 171)                                                                         \
    X(CodeLengthError, 172)                                                                        \
    X(CodeEntryErrorTitle, 173)                                                                    \
    X(EncryptItem, 174)                                                                            \
    X(ResetItem, 175)                                                                              \
    X(ErrorDuringExtractDecrypt, 176)                                                              \
    X(SelectZipDialogTitle, 180)                                                                   \
    X(OperationalErrorTitle, 181)                                                                  \
    X(ProcessingFailure, 182)                                                                      \
    X(ProcessingFailureUnknown, 183)                                                               \
    X(CannotBeOpened, 184)                                                                         \
    X(AnInvalidFile, 185)                                                                          \
    X(UnzipError01, 191)                                                                           \
    X(UnzipError02, 192)                                                                           \
    X(UnzipError03, 193)                                                                           \
    X(UnzipError04, 194)                                                                           \
    X(UnzipError05, 195)                                                                           \
    X(UnzipError06, 196)                                                                           \
    X(UnzipError07, 197)                                                                           \
    X(UnzipError08, 198)                                                                           \
    X(UnzipError09, 199)                                                                           \
    X(UnzipError10, 200)                                                                           \
    X(UnzipError11, 201)                                                                           \
    X(UnzipError12, 202)                                                                           \
    X(UnzipError13, 203)                                                                           \
    X(UnzipError14, 204)                                                                           \
    X(UnzipError15, 205)                                                                           \
    X(UnzipError16, 206)                                                                           \
    X(UnzipError17, 207)                                                                           \
    X(ZipError02, 208)                                                                             \
    X(ZipError03, 209)                                                                             \
    X(ZipError04, 210)                                                                             \
    X(ZipError05, 211)                                                                             \
    X(ZipError06, 212)                                                                             \
    X(ZipError07, 213)                                                                             \
    X(ZipError08, 214)                                                                             \
    X(ZipError09, 215)                                                                             \
    X(ZipError10, 216)                                                                             \
    X(ZipError11, 217)                                                                             \
    X(ZipError12, 218)                                                                             \
    X(ZipError13, 219)                                                                             \
    X(ZipError14, 220)                                                                             \
    X(ZipError15, 221)                                                                             \
    X(ZipError16, 222)                                                                             \
    X(ZipError17, 223)                                                                             \
    X(AlreadyExistsSuffix, 224)                                                                    \
    X(OverwriteExistingFile, 225)                                                                  \
    X(ConfirmOverwriteTitle, 226)                                                                  \
    X(CloseWindowTooltip, 233)                                                                     \
    X(HelpCaption, 234)                                                                            \
    X(CompletionTitle, 276)                                                                        \
    X(ExtractionSucceeded, 278)                                                                    \
    X(WipeSucceeded, 279)                                                                          \
    X(FileSelectErrorTitle, 280)                                                                   \
    X(InvalidFilename, 281)                                                                        \
    X(InvalidFileExtension, 282)

enum class TextId : int {
#define BRINDMAR_TEXT_ID_ENUM(name, number) name = number,
    BRINDMAR_TEXT_IDS(BRINDMAR_TEXT_ID_ENUM)
#undef BRINDMAR_TEXT_ID_ENUM
};

inline constexpr std::array kAllTextIds = {
#define BRINDMAR_TEXT_ID_ENTRY(name, number) TextId::name,
    BRINDMAR_TEXT_IDS(BRINDMAR_TEXT_ID_ENTRY)
#undef BRINDMAR_TEXT_ID_ENTRY
};

// The ZIP service reports failures by code; the table holds a text for codes 1 to 17 of the
// unpacking call and 2 to 17 of the packing call.
constexpr std::optional<TextId> unzipErrorText(int code) {
    if (code < 1 || code > 17) {
        return std::nullopt;
    }
    return static_cast<TextId>(190 + code);
}

constexpr std::optional<TextId> zipErrorText(int code) {
    if (code < 2 || code > 17) {
        return std::nullopt;
    }
    return static_cast<TextId>(206 + code);
}

} // namespace brindmar
