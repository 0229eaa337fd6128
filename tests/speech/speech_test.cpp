// The voice object over the real engine, speaking into a WAV file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>
#include <unistd.h>

#include "helpers/kwutil.h"
#include "platform/speech/speech.h"
#include "tests/support/plants.h"

using speech::MarkupToSsml;
using speech::TSpVoice;

namespace {

std::string sinkPath() { return testing::TempDir() + "pwx-speech-" + std::to_string(::getpid()) + ".wav"; }

// Seconds of sound in a 16-bit mono WAV file; -1 when it is not one.
double wavSeconds(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (data.size() < 44 || data.compare(0, 4, "RIFF") != 0 || data.compare(8, 4, "WAVE") != 0) return -1;
    auto le = [&](size_t at, int n) {
        uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(data[at + i]);
        return v;
    };
    const uint32_t rate = le(24, 4), bytes = le(40, 4);
    if (rate == 0 || le(22, 2) != 1 || le(34, 2) != 16 || bytes != data.size() - 44) return -1;
    return bytes / 2.0 / rate;
}

}  // namespace

TEST(SpeechMarkup, BecomesSsmlProsody) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"fish & chips < 5", "<speak>fish &amp; chips &lt; 5</speak>"},
        {"", "<speak></speak>"},
        {"<PITCH ABSMIDDLE=\"0\"><RATE ABSSPEED=\"0\">hello there</RATE></PITCH>",
         "<speak><prosody pitch=\"100.0%\" rate=\"100.0%\">hello there</prosody></speak>"},
        // The ends of the ranges the markup uses: 2^(n/24) and 3^(m/10).
        {"<PITCH ABSMIDDLE=\"-10\"><RATE ABSSPEED=\"-1\">low</RATE></PITCH> "
         "<PITCH ABSMIDDLE=\"11\"><RATE ABSSPEED=\"0\">high &amp;</RATE></PITCH>",
         "<speak><prosody pitch=\"74.9%\" rate=\"89.6%\">low</prosody> "
         "<prosody pitch=\"137.4%\" rate=\"100.0%\">high &amp;amp;</prosody></speak>"},
        // Somebody else's markup goes to the engine as it is.
        {"<b>bold</b> words", "<b>bold</b> words"},
        {"<PITCH ABSMIDDLE=\"0\"><RATE ABSSPEED=\"0\">x</RATE></PITCH> and <i>y</i>",
         "<PITCH ABSMIDDLE=\"0\"><RATE ABSSPEED=\"0\">x</RATE></PITCH> and <i>y</i>"},
    };
    for (const Case& c : cases) EXPECT_EQ(MarkupToSsml(c.in), c.out) << c.in;

    // Whatever the program's markup builder makes is translated whole.
    const std::string made = helpers::speechmarkup("one two three four five six seven & eight", 10, -7);
    const std::string ssml = MarkupToSsml(made);
    EXPECT_EQ(ssml.find("PITCH"), std::string::npos) << ssml;
    EXPECT_NE(ssml.find("seven &amp; eight"), std::string::npos) << ssml;
}

// A missing engine is a message, and a later voice object still works.
TEST(SpVoice, MissingEngineIsAMessage) {
    {
        const std::string empty = testing::TempDir() + "pwx-no-speech-data-" + std::to_string(::getpid());
        std::filesystem::create_directories(empty);
        TSpVoice none(sinkPath(), empty);
        std::filesystem::remove_all(empty);
        EXPECT_FALSE(none.Available());
        EXPECT_NE(none.Error().find("could not start"), std::string::npos) << none.Error();
        EXPECT_FALSE(none.Speak("hello", speech::SVSFlagsAsync));
        EXPECT_TRUE(none.GetVoices().empty());
    }
    TSpVoice voice(sinkPath());
    EXPECT_TRUE(voice.Available()) << voice.Error();
    // Only one voice object drives the engine at a time.
    TSpVoice second(sinkPath() + "2");
    EXPECT_FALSE(second.Available());
    EXPECT_FALSE(second.Error().empty());
}

// The tags set pitch and speed; they are not read out.
TEST(SpVoice, TagsAreNotSpoken) {
    const std::string path = sinkPath();
    TSpVoice voice(path);
    ASSERT_TRUE(voice.Available()) << voice.Error();
    const std::string words = "the quick brown fox jumps over the lazy dog";
    ASSERT_TRUE(voice.Speak(words, speech::SVSFDefault)) << voice.LastSpeakError();
    const double plain = wavSeconds(path);
    EXPECT_GT(plain, 1.0);
    EXPECT_LT(plain, 10.0);

    const std::string markup = helpers::speechmarkup(words, 10, 0);
    ASSERT_TRUE(voice.Speak(markup, speech::SVSFlagsAsync));
    ASSERT_TRUE(voice.WaitUntilDone(30000));
    EXPECT_EQ(voice.LastSpeakError(), "");
    const double marked = wavSeconds(path);
    EXPECT_GT(marked, plain * 0.6);
    EXPECT_LT(marked, plain * 1.6);

    // Read as text, the same markup takes far longer: the check above can tell.
    std::string asText = markup;
    std::replace(asText.begin(), asText.end(), '<', ' ');
    std::replace(asText.begin(), asText.end(), '>', ' ');
    ASSERT_TRUE(voice.Speak(asText, speech::SVSFDefault));
    EXPECT_GT(wavSeconds(path), plain * 2);
    std::remove(path.c_str());
}

TEST(SpVoice, VoicesAndCancel) {
    TSpVoice voice(sinkPath());
    ASSERT_TRUE(voice.Available()) << voice.Error();
    const std::vector<speech::TVoiceToken> voices = voice.GetVoices();
    ASSERT_GT(voices.size(), 1u);
    EXPECT_TRUE(voice.SetVoice(voices.back()));
    EXPECT_EQ(voice.Voice().Identifier, voices.back().Identifier);
    EXPECT_FALSE(voice.SetVoice({"Nobody", "no/such-voice", ""}));
    EXPECT_EQ(voice.Voice().Identifier, voices.back().Identifier);

    // A long reading cut short ends; the object stays usable.
    std::string longText;
    for (int i = 0; i < 200; ++i) longText += "this sentence goes on and on. ";
    ASSERT_TRUE(voice.Speak(longText, speech::SVSFlagsAsync));
    ASSERT_TRUE(voice.Speak(longText, speech::SVSFlagsAsync));
    voice.Cancel();
    EXPECT_TRUE(voice.WaitUntilDone(30000));
    EXPECT_TRUE(voice.Speak("still here", speech::SVSFDefault)) << voice.LastSpeakError();
    std::remove(sinkPath().c_str());
}

// What is read aloud is mostly mail: its sound is its owner's alone under
// the usual umask, and never written through a link or into a pipe.
TEST(SpVoice, TheSoundFileIsPrivateAndNeverWrittenThroughALink) {
    testsupport::TPlantBed bed;
    const std::vector<testsupport::TFileUse> sinks = {
        {"sound file",
         [](const std::string& n) {
             TSpVoice voice(n);
             if (!voice.Speak("hi", speech::SVSFDefault)) throw std::runtime_error(voice.LastSpeakError());
         },
         [](const std::string& n, const std::string& reason) {
             return "The sound could not be written to " + n + ": " + reason + ".";
         }},
    };
    testsupport::ExpectNoWritesThroughPlants(bed, sinks, "sound.wav");
    testsupport::ExpectModes(bed, {{"new sound", -1, sinks[0].use, 0600, "RIFF"},
                                   {"over a readable sound", 0644, sinks[0].use, 0600, "RIFF"}});
}
