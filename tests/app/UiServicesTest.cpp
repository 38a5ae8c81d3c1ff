#include "AppTestSupport.h"
#include "FakeUiServices.h"

#include <gtest/gtest.h>

using namespace brindmar;
using brindmar::testing::FakeUiServices;

namespace {

TEST(UiServices, AlertPlaysTheSoundOrBeepsTwiceOnlyForErrors) {
    const std::tuple<bool, Sound, const char*> cases[] = {
        {true, Sound::Success, "sound Success"},
        {true, Sound::Error, "sound Error"},
        {true, Sound::Attention, "sound Attention"},
        {false, Sound::Success, "beep 1"},
        {false, Sound::Error, "beep 2"},
        {false, Sound::Attention, "beep 1"},
    };
    for (const auto& [soundOn, sound, expected] : cases) {
        FakeUiServices ui(soundOn);
        ui.alert(sound);
        EXPECT_EQ(ui.transcript(), QStringList{QString::fromLatin1(expected)});
    }
}

TEST(FakeUiServices, AnswersQuestionsFromTheScriptAndCancelsBeyondIt) {
    FakeUiServices ui;
    ui.queueAnswer(MessageAnswer::Ok);
    Message question{QStringLiteral("Title"), QStringLiteral("Go on?"), MessageIcon::Question,
                     MessageButtons::OkCancel, DefaultButton::First};
    Message note{QStringLiteral("Note"), QStringLiteral("Done"), MessageIcon::None,
                 MessageButtons::Ok, DefaultButton::First};

    EXPECT_EQ(ui.showMessage(note), MessageAnswer::Ok); // an OK box takes nothing from the script
    EXPECT_EQ(ui.showMessage(question), MessageAnswer::Ok);
    EXPECT_EQ(ui.showMessage(question), MessageAnswer::Cancel);
    EXPECT_EQ(ui.unscriptedPrompts(), 1);
    EXPECT_EQ(ui.events().size(), 3u);
    EXPECT_EQ(ui.events()[1].answer, MessageAnswer::Ok);
}

} // namespace
