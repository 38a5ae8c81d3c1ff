#include "operations/ZipService.h"

#include "util/ReplacementFile.h"
#include "util/StringTable.h"
#include "util/TextIds.h"

namespace brindmar {

namespace {

QString withCode(std::optional<TextId> id, int code) {
    if (!id) {
        return {};
    }
    return StringTable::builtin().text(*id) + QStringLiteral(" (%1)").arg(code);
}

} // namespace

QString unzipFailureText(int code) {
    return withCode(unzipErrorText(code), code);
}

QString zipFailureText(int code) {
    return withCode(zipErrorText(code), code);
}

QString createFailureText() {
    // A literal of its own, not in the string table.
    return QStringLiteral("Cannot create ZIP file");
}

QString zipStepFailureText(ZipStep step, int status, int error) {
    switch (step) {
    case ZipStep::Create:
        return createFailureText();
    case ZipStep::NotZip:
        return QStringLiteral("Is not ZIP file");
    case ZipStep::Zip:
        return zipFailureText(status) + systemReason(error);
    case ZipStep::Unzip:
        return unzipFailureText(status) + systemReason(error);
    }
    return {};
}

} // namespace brindmar
