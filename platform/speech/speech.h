#pragma once
// The voice object the viewer reads aloud with, over espeak-ng: the installed
// voices as tokens, a settable voice, and speaking that queues behind what is
// still being spoken. Sound goes to the audio device, or for tests into a WAV
// file. A machine without the engine or without audio gets a message, not a
// crash.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace speech {

struct TVoiceToken {
    std::string Name;        // as the engine names it, e.g. "English (Great Britain)"
    std::string Identifier;  // the engine's voice file, e.g. "gmw/en"
    std::string Languages;   // the first language it speaks, e.g. "en-gb"
};

// The program's speech markup (chunks of words inside PITCH ABSMIDDLE and
// RATE ABSSPEED elements) as SSML prosody inside <speak>, the words escaped.
// Plain text is escaped inside <speak>; other text holding both "<" and ">"
// goes through as it is.
std::string MarkupToSsml(std::string_view markup);

enum TSpeakFlags : int { SVSFDefault = 0, SVSFlagsAsync = 1 };

class TSpVoice {
public:
    // WavSink empty: speak through the audio device; otherwise every finished
    // Speak call writes its sound to that WAV file. DataPath: the engine's
    // data, read once per process (empty: the installed data).
    explicit TSpVoice(std::string WavSink = {}, std::string DataPath = {});
    ~TSpVoice();
    TSpVoice(const TSpVoice&) = delete;
    TSpVoice& operator=(const TSpVoice&) = delete;

    // False when the engine or the audio output could not be set up; Error
    // then says why in words for the user.
    bool Available() const { return error_.empty(); }
    const std::string& Error() const { return error_; }

    std::vector<TVoiceToken> GetVoices() const { return voices_; }
    // Takes effect for what is spoken after it; false for an unknown token.
    bool SetVoice(const TVoiceToken& Token);
    const TVoiceToken& Voice() const { return voice_; }

    // Speaks Markup (see MarkupToSsml). With SVSFlagsAsync it returns at once
    // and the text waits behind earlier ones; otherwise it returns once spoken.
    bool Speak(std::string_view Markup, int Flags);
    // True once everything queued has been spoken (or Ms passed: false).
    bool WaitUntilDone(int Ms);
    // Drops what waits and cuts short what is being spoken.
    void Cancel();
    // The last failure while speaking (empty when none).
    std::string LastSpeakError() const;
    // The last failure not yet taken, emptied as it is taken: speaking runs
    // in the background, so the caller asks once the voice is done.
    std::string TakeSpeakError();

private:
    struct Job {
        std::string ssml;
        std::string voice;  // non-empty: switch to this voice first
    };
    void run();
    void speakOne(const Job& job);

    std::string error_;
    std::vector<TVoiceToken> voices_;
    TVoiceToken voice_;
    std::string wavSink_;
    int sampleRate_ = 0;

    mutable std::mutex m_;
    std::condition_variable cv_;
    std::deque<Job> queue_;
    bool busy_ = false;
    bool stop_ = false;
    bool abort_ = false;
    std::string speakError_;
    std::string untaken_;
    std::vector<int16_t> samples_;
    std::thread worker_;

    friend int speechCallback(short*, int, void*);
};

}  // namespace speech
