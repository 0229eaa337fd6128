#include "platform/speech/speech.h"

#include <espeak-ng/espeak_ng.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <regex>
#include <utility>

#include "platform/rtl/fileio.h"

namespace speech {

namespace {

// The engine keeps its state in the process: one voice object at a time.
std::atomic<TSpVoice*> g_owner{nullptr};

std::string statusText(espeak_ng_STATUS status) {
    char buf[512] = {};
    espeak_ng_GetStatusCodeMessage(status, buf, sizeof buf);
    return buf;
}

std::string escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else out += c;
    }
    return out;
}

std::string percent(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f%%", v);
    return buf;
}

void putLe(std::string& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A 16-bit mono PCM WAV file, written beside and renamed into place.
bool writeWav(const std::string& path, const std::vector<int16_t>& samples, int rate, rtl::TFileFailure& why) {
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    std::string head = "RIFF";
    putLe(head, 36 + dataBytes, 4);
    head += "WAVEfmt ";
    putLe(head, 16, 4);
    putLe(head, 1, 2);  // PCM
    putLe(head, 1, 2);  // mono
    putLe(head, static_cast<uint32_t>(rate), 4);
    putLe(head, static_cast<uint32_t>(rate) * 2, 4);
    putLe(head, 2, 2);
    putLe(head, 16, 2);
    head += "data";
    putLe(head, dataBytes, 4);
    // What is read aloud is mostly mail: the sound is its owner's alone.
    rtl::TFileReplaceStream f(path, 0600);
    f.write(head.data(), static_cast<std::streamsize>(head.size()));
    for (int16_t s : samples) {
        const char b[2] = {static_cast<char>(s & 0xFF), static_cast<char>((s >> 8) & 0xFF)};
        f.write(b, 2);
    }
    if (f.Commit()) return true;
    why = f.Failure();
    return false;
}

}  // namespace

std::string MarkupToSsml(std::string_view markup) {
    // One chunk: <PITCH ABSMIDDLE="n"><RATE ABSSPEED="m">words</RATE></PITCH>
    static const std::regex chunk(
        R"re(\s*<PITCH ABSMIDDLE="(-?\d{1,3})"><RATE ABSSPEED="(-?\d{1,3})">([^<>]*)</RATE></PITCH>\s*)re");
    const std::string text(markup);
    const bool tagged = text.find('<') != std::string::npos && text.find('>') != std::string::npos;
    if (!tagged) return "<speak>" + escaped(text) + "</speak>";
    std::string out = "<speak>";
    auto it = text.cbegin();
    std::smatch m;
    while (it != text.cend()) {
        if (!std::regex_search(it, text.cend(), m, chunk, std::regex_constants::match_continuous))
            return text;  // someone else's markup: the engine reads it as it is
        const int pitch = std::stoi(m[1].str());
        const int rate = std::stoi(m[2].str());
        out += "<prosody pitch=\"" + percent(100.0 * std::pow(2.0, pitch / 24.0)) + "\" rate=\"" +
               percent(100.0 * std::pow(3.0, rate / 10.0)) + "\">" + escaped(m[3].str()) + "</prosody> ";
        it = m[0].second;
    }
    if (out.back() == ' ') out.pop_back();
    return out + "</speak>";
}

int speechCallback(short* wav, int count, void*) {
    TSpVoice* v = g_owner.load();
    if (!v) return 1;
    std::lock_guard<std::mutex> lock(v->m_);
    if (v->abort_ || v->stop_) return 1;
    if (wav && count > 0 && !v->wavSink_.empty()) v->samples_.insert(v->samples_.end(), wav, wav + count);
    return 0;
}

namespace {
int callbackShim(short* wav, int count, espeak_EVENT*) { return speechCallback(wav, count, nullptr); }
}  // namespace

TSpVoice::TSpVoice(std::string WavSink, std::string DataPath) : wavSink_(std::move(WavSink)) {
    TSpVoice* none = nullptr;
    if (!g_owner.compare_exchange_strong(none, this)) {
        error_ = "The speech engine is already in use by another voice.";
        return;
    }
    // The engine is set up once per process and kept: shutting it down and
    // starting it again can hang inside the engine.
    static std::mutex engineLock;
    static bool engineUp = false;
    std::lock_guard<std::mutex> engine(engineLock);
    if (!engineUp) {
        espeak_ng_InitializePath(DataPath.empty() ? nullptr : DataPath.c_str());
        espeak_ng_ERROR_CONTEXT context = nullptr;
        const espeak_ng_STATUS status = espeak_ng_Initialize(&context);
        espeak_ng_ClearErrorContext(&context);
        if (status != ENS_OK) {
            error_ = "The speech engine could not start: " + statusText(status) + ".";
            g_owner = nullptr;
            return;
        }
        engineUp = true;
    }
    const int mode = ENOUTPUT_MODE_SYNCHRONOUS | (wavSink_.empty() ? ENOUTPUT_MODE_SPEAK_AUDIO : 0);
    const espeak_ng_STATUS status = espeak_ng_InitializeOutput(static_cast<espeak_ng_OUTPUT_MODE>(mode), 0, nullptr);
    if (status != ENS_OK) {
        error_ = "No sound output for reading aloud: " + statusText(status) + ".";
        g_owner = nullptr;
        return;
    }
    sampleRate_ = espeak_ng_GetSampleRate();
    espeak_SetSynthCallback(&callbackShim);
    if (const espeak_VOICE** list = espeak_ListVoices(nullptr)) {
        for (; *list; ++list) {
            const espeak_VOICE* v = *list;
            TVoiceToken t;
            t.Name = v->name ? v->name : "";
            t.Identifier = v->identifier ? v->identifier : "";
            if (v->languages && v->languages[0]) t.Languages = v->languages + 1;
            if (!t.Identifier.empty()) voices_.push_back(std::move(t));
        }
    }
    if (voices_.empty()) {
        error_ = "The speech engine has no voices installed.";
        g_owner = nullptr;
        return;
    }
    // Start with the engine's default voice (English where installed).
    voice_ = voices_.front();
    for (const TVoiceToken& t : voices_)
        if (t.Identifier == "gmw/en") voice_ = t;
    queue_.push_back({{}, voice_.Identifier});
    worker_ = std::thread([this] { run(); });
}

TSpVoice::~TSpVoice() {
    {
        std::lock_guard<std::mutex> lock(m_);
        stop_ = true;
        queue_.clear();
    }
    cv_.notify_all();
    if (worker_.joinable()) worker_.join();
    TSpVoice* self = this;
    g_owner.compare_exchange_strong(self, nullptr);
}

bool TSpVoice::SetVoice(const TVoiceToken& Token) {
    if (!Available()) return false;
    for (const TVoiceToken& t : voices_) {
        if (t.Identifier != Token.Identifier) continue;
        std::lock_guard<std::mutex> lock(m_);
        voice_ = t;
        queue_.push_back({{}, t.Identifier});
        cv_.notify_all();
        return true;
    }
    return false;
}

bool TSpVoice::Speak(std::string_view Markup, int Flags) {
    if (!Available()) return false;
    {
        std::lock_guard<std::mutex> lock(m_);
        queue_.push_back({MarkupToSsml(Markup), {}});
    }
    cv_.notify_all();
    if (Flags & SVSFlagsAsync) return true;
    WaitUntilDone(-1);
    return LastSpeakError().empty();
}

bool TSpVoice::WaitUntilDone(int Ms) {
    std::unique_lock<std::mutex> lock(m_);
    auto done = [this] { return queue_.empty() && !busy_; };
    if (Ms < 0) {
        cv_.wait(lock, done);
        return true;
    }
    return cv_.wait_for(lock, std::chrono::milliseconds(Ms), done);
}

void TSpVoice::Cancel() {
    std::lock_guard<std::mutex> lock(m_);
    // Voice changes still apply; only the speaking goes.
    std::deque<Job> keep;
    for (Job& j : queue_)
        if (!j.voice.empty()) keep.push_back(std::move(j));
    queue_.swap(keep);
    abort_ = busy_;
}

std::string TSpVoice::LastSpeakError() const {
    std::lock_guard<std::mutex> lock(m_);
    return speakError_;
}

std::string TSpVoice::TakeSpeakError() {
    std::lock_guard<std::mutex> lock(m_);
    return std::exchange(untaken_, std::string());
}

void TSpVoice::run() {
    std::unique_lock<std::mutex> lock(m_);
    while (true) {
        cv_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (stop_) return;
        Job job = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        speakOne(job);
        lock.lock();
        busy_ = false;
        abort_ = false;
        cv_.notify_all();
    }
}

void TSpVoice::speakOne(const Job& job) {
    if (!job.voice.empty()) {
        const espeak_ng_STATUS s = espeak_ng_SetVoiceByName(job.voice.c_str());
        if (s != ENS_OK) {
            std::lock_guard<std::mutex> lock(m_);
            speakError_ = "The voice " + job.voice + " could not be used: " + statusText(s) + ".";
            untaken_ = speakError_;
        }
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_);
        samples_.clear();
        speakError_.clear();
    }
    const espeak_ng_STATUS s = espeak_ng_Synthesize(job.ssml.c_str(), job.ssml.size() + 1, 0, POS_CHARACTER, 0,
                                                    espeakCHARS_UTF8 | espeakSSML, nullptr, nullptr);
    std::lock_guard<std::mutex> lock(m_);
    if (s == ENS_AUDIO_ERROR)
        speakError_ = "Reading aloud failed: the sound device could not be opened (" + statusText(s) + ").";
    else if (s != ENS_OK && s != ENS_SPEECH_STOPPED)
        speakError_ = "Reading aloud failed: " + statusText(s) + ".";
    rtl::TFileFailure why;
    if (!wavSink_.empty() && !writeWav(wavSink_, samples_, sampleRate_, why))
        speakError_ = "The sound could not be written to " + wavSink_ + ": " + why.Text() + ".";
    if (!speakError_.empty()) untaken_ = speakError_;
}

}  // namespace speech
