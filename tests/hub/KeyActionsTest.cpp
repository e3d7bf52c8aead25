// Key actions against the fake device: HID reports for keys and media keys, latching keys,
// typed text at its pace, page switches by name, and what is logged.

#include "TouchFixture.h"

#include "macros/DesktopActionRunner.h"
#include "macros/HIDKeyTables.h"

using namespace TarvUSB;

TEST_F(TouchTest, ATapOnKeyZeroSendsItsChordThenRestylesTheLatchedKey)
{
    connectAndGreet();
    const bool wasActive = profiles->activeProfile().buttons[0].isActive;
    device.tap(key0X, key0Y);
    ASSERT_TRUE(waitUntil([&] { return hidEmits().size() == 1; }));
    const HidEmitPayload hid = hidEmits().first();
    EXPECT_EQ(hid.report, HidReport::keyboard);
    EXPECT_EQ(hid.mods, (HIDModifiers::shift() | HIDModifiers::command()).rawValue);
    EXPECT_EQ(hid.keys, QList<std::uint16_t>{16});
    EXPECT_EQ(profiles->activeProfile().buttons[0].isActive, !wasActive);
    EXPECT_EQ(logCount(QStringLiteral("Fired MIC: ")), 1);

    // The restyling patch follows the report on the wire.
    ASSERT_TRUE(waitUntil([&] { return hub->outstandingAcks().isEmpty(); }));
    const QList<Frame>& frames = device.received();
    const auto hidAt = std::find_if(frames.cbegin(), frames.cend(), [](const Frame& f) { return f.get<HidEmitPayload>(); });
    ASSERT_NE(hidAt, frames.cend());
    ASSERT_NE(hidAt + 1, frames.cend());
    EXPECT_TRUE((hidAt + 1)->get<PatchPayload>());
}

TEST_F(TouchTest, AMediaKeySendsItsConsumerUsageAndAnOutOfRangeIndexNothing)
{
    connectAndGreet();
    hub->pressMacroKey(2);  // VOL+
    hub->pressMacroKey(12);
    hub->pressMacroKey(-1);
    ASSERT_TRUE(waitUntil([&] { return hidEmits().size() == 1; }));
    const HidEmitPayload hid = hidEmits().first();
    EXPECT_EQ(hid.report, HidReport::consumer);
    EXPECT_EQ(hid.mods, 0);
    EXPECT_EQ(hid.keys, QList<std::uint16_t>{0xE9});
    roundTrip();
    EXPECT_EQ(hidEmits().size(), 1);
}

TEST_F(TouchTest, AnUnassignedKeyLogsNothingButAnUnassignedButtonIsLogged)
{
    connectAndGreet();
    const qsizetype before = hub->log().size();
    hub->pressMacroKey(11);
    EXPECT_EQ(hub->log().size(), before);

    hub->fireMacroKey(MacroAction::unassigned(), QStringLiteral("Lamp"));
    EXPECT_EQ(logTexts().last(), QStringLiteral("Fired Lamp: ") + actionSummary(MacroAction::unassigned()));
}

TEST_F(TouchTest, TypedTextSendsOneReportPerTypableCharacterFortyMillisecondsApart)
{
    makeManualTypingHub();
    connectAndGreet();
    const auto start = monotonicNow;
    hub->fireMacroKey(MacroAction::typeText(QStringLiteral("a\u00E9b")), QStringLiteral("Type"));
    // "é" has no chord on the US layout: a pause and no report.
    QList<HubClock::MonotonicTime> sentAt{monotonicNow};
    for (int k = 0; k < 3; ++k) {
        ASSERT_FALSE(pendingSteps.isEmpty());
        EXPECT_EQ(pendingSteps.first().delay, std::chrono::milliseconds(40));
        ASSERT_TRUE(runNextStep());
        sentAt.append(monotonicNow);
    }
    EXPECT_TRUE(pendingSteps.isEmpty());
    EXPECT_TRUE(hub->typingTask()->isFinished());
    EXPECT_EQ(sentAt[2] - start, std::chrono::milliseconds(80)) << "b goes out two pauses after a";

    ASSERT_TRUE(waitUntil([&] { return hidEmits().size() == 2; }));
    EXPECT_EQ(hidEmits()[0].keys, QList<std::uint16_t>{hidChordForCharacter(u"a")->usage});
    EXPECT_EQ(hidEmits()[1].keys, QList<std::uint16_t>{hidChordForCharacter(u"b")->usage});
}

TEST_F(TouchTest, TheLogSaysWhatTypedTextTypedAndWhatItSkipped)
{
    makeManualTypingHub();
    connectAndGreet();
    const QString text = QStringLiteral("h\u00E9llo w\u00F6rld \u20AC5 \u00F1");
    hub->fireMacroKey(MacroAction::typeText(text), QStringLiteral("E"));
    EXPECT_EQ(logCount(QStringLiteral("E typed \u201Chllo wrld 5 \u201D, skipping \u00E9 \u00F6 \u20AC \u00F1")), 1);
    // Text typed whole needs no second line.
    hub->fireMacroKey(MacroAction::typeText(QStringLiteral("hello")), QStringLiteral("E"));
    EXPECT_EQ(logCount(QStringLiteral("E typed ")), 1);
}

TEST_F(TouchTest, ANewTypingStopsTheOldBeforeItsNextCharacter)
{
    makeManualTypingHub();
    connectAndGreet();
    hub->typeText(QStringLiteral("xyz"));
    hub->typeText(QStringLiteral("Q"));
    while (runNextStep()) {
    }
    ASSERT_TRUE(waitUntil([&] { return hidEmits().size() == 2; }));
    roundTrip();
    ASSERT_EQ(hidEmits().size(), 2);
    EXPECT_EQ(hidEmits()[0].keys, QList<std::uint16_t>{hidChordForCharacter(u"x")->usage});
    EXPECT_EQ(hidEmits()[1].keys, QList<std::uint16_t>{hidChordForCharacter(u"Q")->usage});
    EXPECT_EQ(hidEmits()[1].mods, HIDModifiers::shift().rawValue);
}

TEST_F(TouchTest, TypingPacesItselfOnARealTimer)
{
    connectAndGreet();
    hub->typeText(QStringLiteral("hi"));
    ASSERT_TRUE(waitUntil([&] { return hidEmits().size() == 2; }));
    EXPECT_TRUE(waitUntil([&] { return hub->typingTask()->isFinished(); }));
}

TEST_F(TouchTest, AShowScreenActionFindsPagesIgnoringCaseAndLogsAMissingOne)
{
    connectAndGreet();
    hub->fireMacroKey(MacroAction::showScreen(QStringLiteral("NOWPLAYING")), QStringLiteral("Music"));
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::nowPlaying());

    hub->fireMacroKey(MacroAction::showScreen(QStringLiteral("weather")), QStringLiteral("Sky"));
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::nowPlaying());
    EXPECT_EQ(logTexts().last(), QStringLiteral("Sky failed: there is no page named \"weather\""));
}

// Keys sent through the device used to report success as soon as they were fired, even when
// the device had stopped reading or was gone and nothing went to it.
TEST_F(TouchTest, AKeySentThroughTheDeviceSucceedsOnlyOnceItsReportsWentToTheLink)
{
    makeManualTypingHub();
    connectAndGreet();
    std::optional<std::optional<QString>> outcome;
    const auto fire = [&](const MacroAction& action) {
        outcome.reset();
        hub->fireMacroKey(action, QStringLiteral("Key"), [&](const std::optional<QString>& failure) { outcome = failure; });
    };
    const MacroAction keystroke = MacroAction::keystroke({hidChordForCharacter(u"a")->usage, {}});
    const MacroAction media = MacroAction::media(MediaKey::playPause);
    const MacroAction typed = MacroAction::typeText(QStringLiteral("ab"));

    fire(keystroke);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(*outcome, std::nullopt);
    // Typed text succeeds once its last character has gone out.
    fire(typed);
    EXPECT_FALSE(outcome);
    ASSERT_TRUE(runNextStep());
    ASSERT_TRUE(outcome);
    EXPECT_EQ(*outcome, std::nullopt);
    while (runNextStep()) {
    }

    // The device stops reading and the line fills.
    device.setReading(false);
    for (int k = 0; k < 10000 && !hub->isDeviceStalled(); ++k) {
        QList<PatchOp> ops;
        for (std::uint32_t n = 0; n < 60; ++n)
            ops.append(PatchOp::setText(5000 + n, QString(90, QLatin1Char('x'))));
        hub->send(Frame{hub->takeNextSequence(), PatchPayload{ops}});
    }
    ASSERT_TRUE(hub->isDeviceStalled());
    const qsizetype reports = hidEmits().size();
    for (const MacroAction& action : {keystroke, media, typed}) {
        fire(action);
        ASSERT_TRUE(outcome);
        EXPECT_EQ(*outcome, QStringLiteral("the device stopped reading"));
    }
    EXPECT_TRUE(pendingSteps.isEmpty()) << "typing stops at the character that could not go";

    // The device goes.
    device.hangUp();
    ASSERT_TRUE(waitUntil([&] { return !hub->isPortOpen(); }));
    for (const MacroAction& action : {keystroke, media, typed}) {
        fire(action);
        ASSERT_TRUE(outcome);
        EXPECT_EQ(*outcome, QStringLiteral("Tarv is not connected to the device"));
    }
    EXPECT_EQ(logCount(QStringLiteral("Key failed: Tarv is not connected to the device")), 3);
    EXPECT_EQ(hidEmits().size(), reports);
}

TEST_F(TouchTest, ADesktopActionFailureIsLoggedWithTheKeysLabel)
{
    makeHub();
    hub->fireMacroKey(MacroAction::openURL(QStringLiteral("not a url")), QStringLiteral("Site"));
    const QStringList texts = logTexts();
    ASSERT_GE(texts.size(), 2);
    EXPECT_TRUE(texts[texts.size() - 2].startsWith(QStringLiteral("Fired Site: ")));
    EXPECT_TRUE(texts.last().startsWith(QStringLiteral("Site failed: "))) << texts.last().toStdString();
}

// A screen button opens the address read when its file loaded, as its approval shows it, never
// its text read again; a macro key's own address is read when the key is pressed.
TEST_F(TouchTest, AButtonOpensTheAddressItsApprovalShows)
{
    makeHub();
    QList<QUrl> opened;
    hub->actionRunner().urlOpener = [&](const QUrl& url) {
        opened << url;
        return true;
    };
    const QUrl read(QStringLiteral("https://example.com/a%20b"));
    hub->fireMacroKey(MacroAction::openURL(QStringLiteral("https://example.com%2Eevil.example/"), read),
                      QStringLiteral("Site"));
    hub->fireMacroKey(MacroAction::openURL(QStringLiteral("https://macro.example/x")), QStringLiteral("Key"));
    EXPECT_EQ(opened, (QList<QUrl>{read, QUrl(QStringLiteral("https://macro.example/x"))}));
}

TEST_F(TouchTest, AShortcutThatIsNotThereIsLoggedWhenTheToolEnds)
{
    makeHub();
    hub->actionRunner().shortcutsFolder = dir.filePath(QStringLiteral("Shortcuts"));
    hub->fireMacroKey(MacroAction::runShortcut(QStringLiteral("Nope")), QStringLiteral("Run"));
    EXPECT_TRUE(waitUntil([&] { return logCount(QStringLiteral("Run failed: ")) == 1; }));
}

TEST_F(TouchTest, PressedFromTheEditorOnAnotherPageALatchFlipsWithoutARedraw)
{
    connectAndGreet();
    hub->showScreen(DeviceScreen::stocks());
    // The page's refresh fails (nothing listens at the quotes' address) and draws it again.
    ASSERT_TRUE(waitUntil([&] { return hub->stocks().errorMessage().has_value(); }));
    waitForQuiet();
    const qsizetype patches = count<PatchPayload>();
    const bool wasActive = profiles->activeProfile().buttons[1].isActive;
    hub->pressMacroKey(1);
    EXPECT_EQ(profiles->activeProfile().buttons[1].isActive, !wasActive);
    ASSERT_TRUE(waitUntil([&] { return hidEmits().size() == 1; }));
    roundTrip();
    EXPECT_EQ(count<PatchPayload>(), patches);
}

TEST_F(TouchTest, AFullScreenImageGoesOutAsSeventySevenNumberedFramesAcrossTheWrap)
{
    attach();
    hub->setNextSequenceForTesting(65535 - 35);
    hub->uploadAsset(QByteArray(480 * 320 * 2, '\x11'));
    QList<std::uint16_t> numbers;
    for (const Frame& frame : hub->queuedFrames())
        numbers.append(frame.q);
    for (std::uint16_t q : hub->outstandingAcks())
        numbers.append(q);
    std::sort(numbers.begin(), numbers.end());
    ASSERT_EQ(numbers.size(), 77);
    EXPECT_EQ(numbers.first(), 0);
    EXPECT_EQ(numbers[40], 40);
    EXPECT_EQ(numbers[41], 65500);
    EXPECT_EQ(numbers.last(), 65535);
    EXPECT_EQ(hub->nextSequence(), 41);
}
