#pragma once

#include "util/TextIds.h"
#include "workflows/WindowModel.h"

#include <array>
#include <cstdint>
#include <optional>

namespace brindmar {

// What a refresh does to one command: its button and its menu item always move together. Reset
// is only ever switched on by a refresh when a value has changed; otherwise it keeps whatever
// state the restore of the start values left it in.
enum class CommandSwitch : uint8_t { Keep, Enable, Disable };

struct CommandRefresh {
    uint8_t windowState = 0; // the state with the keep-progress bit used up
    bool resetProgressBar = true;
    std::array<CommandSwitch, kCommandCount> commands{};
    // The document, BMP and output frames are enabled and the step buttons shown.
    bool framesEnabled = true;
    // The Embed or Extract button takes the focus when it is the command the user is led to.
    std::optional<Command> focus;
    int32_t helpContext = topic::MainWindow;
    uint8_t animationMarks = 0;
    TextId outputFolderTooltip = TextId::SelectEmbedOutputTooltip;

    CommandSwitch at(Command command) const { return commands[static_cast<int>(command)]; }
};

// The rules that decide which commands the window offers, free of widgets so that they can be
// checked state by state.
CommandRefresh refreshCommands(const WindowModel& model);

// Takes over the parts of a refresh the model keeps.
void applyRefresh(WindowModel& model, const CommandRefresh& refresh);

// The command refresh as the window runs it: the refresh worked out and taken over into the model
// and what it displays (enabled commands, frames, progress bar, focus, tooltip).
void commandRefresh(WindowModel& model);

// The output-folder command names the folder of the current mode.
TextId outputFolderTooltip(uint8_t windowState);

} // namespace brindmar
