#include "util/UiServices.h"

namespace brindmar {

void UiServices::alert(Sound sound) {
    if (soundOn()) {
        playSound(sound);
    } else {
        beep(sound == Sound::Error ? 2 : 1);
    }
}

} // namespace brindmar
