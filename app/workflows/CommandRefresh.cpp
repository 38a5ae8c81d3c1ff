#include "workflows/CommandRefresh.h"

#include "workflows/StealthEmbedding.h"

namespace brindmar {

namespace {

CommandSwitch switchFor(bool enabled) {
    return enabled ? CommandSwitch::Enable : CommandSwitch::Disable;
}

} // namespace

TextId outputFolderTooltip(uint8_t windowState) {
    return (windowState & state::PayloadFound) != 0 ? TextId::SelectExtractOutputTooltip
                                                    : TextId::SelectEmbedOutputTooltip;
}

CommandRefresh refreshCommands(const WindowModel& model) {
    CommandRefresh result;
    result.helpContext = model.helpContext;
    result.animationMarks = model.animationMarks;

    uint8_t ws = model.windowState;
    if ((ws & state::KeepProgress) != 0) {
        ws = static_cast<uint8_t>(ws & ~state::KeepProgress);
        result.resetProgressBar = false;
    }
    result.windowState = ws;

    auto set = [&result](Command command, CommandSwitch value) {
        result.commands[static_cast<int>(command)] = value;
    };

    const bool idle = ws < 32;
    set(Command::ChooseBmp, switchFor(idle));
    set(Command::ChooseOutputFolder, switchFor(idle));
    set(Command::Stop, switchFor(!idle));
    set(Command::Help, switchFor(idle));
    set(Command::Exit, switchFor(idle));
    set(Command::Wipe, switchFor(idle));
    if (!idle) {
        set(Command::Reset, CommandSwitch::Disable);
    } else if (model.hasOption(option::ValueChanged)) {
        set(Command::Reset, CommandSwitch::Enable);
    } else {
        set(Command::Reset, CommandSwitch::Keep);
    }

    constexpr uint8_t documentBlockers = state::PayloadFound | state::Embedding | state::Extracting;
    set(Command::ChooseDocument, switchFor((ws & documentBlockers) == 0));
    set(Command::BmpInformation, switchFor(ws >= 2 && ws <= 31));
    set(Command::FullSizeView,
        switchFor(ws >= 3 && ws <= 31 && model.hasOption(option::ThumbnailReduced)));

    if ((ws & state::Embedding) != 0) {
        result.helpContext = topic::Embed;
    }
    const bool embedReady =
        (ws & (state::PayloadFound | state::EmbedPossible)) == state::EmbedPossible && idle;
    if (embedReady) {
        result.animationMarks |= animation::EmbedReady;
        result.focus = Command::Embed;
    } else {
        result.animationMarks &= static_cast<uint8_t>(~animation::EmbedReady);
    }
    set(Command::Embed, switchFor(embedReady));

    if ((ws & state::Extracting) != 0) {
        result.helpContext = topic::Extract;
    }
    // A search for a stealth payload is offered while the code is typed: the keys stay there.
    const bool stealthSearch =
        idle && (ws & state::PayloadFound) == 0 && stealthSearchOffered(model);
    const bool extractReady = ((ws & state::PayloadFound) != 0 && idle) || stealthSearch;
    if (extractReady) {
        result.animationMarks |= animation::ExtractReady;
        if (!stealthSearch) {
            result.focus = Command::Extract;
        }
    } else {
        result.animationMarks &= static_cast<uint8_t>(~animation::ExtractReady);
    }
    set(Command::Extract, switchFor(extractReady));

    result.framesEnabled = idle;
    result.outputFolderTooltip = outputFolderTooltip(ws);
    return result;
}

void applyRefresh(WindowModel& model, const CommandRefresh& refresh) {
    model.windowState = refresh.windowState;
    model.helpContext = refresh.helpContext;
    model.animationMarks = refresh.animationMarks;
}

void commandRefresh(WindowModel& model) {
    const CommandRefresh refresh = refreshCommands(model);
    applyRefresh(model, refresh);
    WindowDisplay& shown = model.display;
    if (refresh.resetProgressBar) {
        shown.progress = 0;
    }
    for (size_t i = 0; i < refresh.commands.size(); ++i) {
        if (refresh.commands[i] != CommandSwitch::Keep) {
            shown.commandEnabled[i] = refresh.commands[i] == CommandSwitch::Enable;
        }
    }
    shown.framesEnabled = refresh.framesEnabled;
    shown.documentHint = stealthSearchHint(model);
    showOutputFolder(model);
    shown.outputFolderTooltip =
        shown.extractOutput ? TextId::SelectExtractOutputTooltip : refresh.outputFolderTooltip;
    if (refresh.focus) {
        model.requestFocus(FocusTarget::Command, static_cast<int>(*refresh.focus));
    }
}

} // namespace brindmar
