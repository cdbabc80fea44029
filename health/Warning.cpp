#include "health/Warning.h"

#include <array>

#include "base/Translatable.h"

namespace velto {

const char* WarningCodeName(WarningCode code) {
    switch (code) {
        case WarningCode::NoUltrasound:
            return "no-ultrasound";
        case WarningCode::Clipping:
            return "clipping";
        case WarningCode::Silence:
            return "silence";
        case WarningCode::DeviceLost:
            return "device-lost";
        case WarningCode::SamplesDropped:
            return "samples-dropped";
        case WarningCode::StoredDeviceMissing:
            return "stored-device-missing";
        case WarningCode::DecoderGap:
            return "decoder-gap";
        case WarningCode::MonitorLate:
            return "monitor-late";
        case WarningCode::RecordingStopped:
            return "recording-stopped";
        case WarningCode::CaptureOpenFailed:
            return "capture-open-failed";
        case WarningCode::PlaybackOpenFailed:
            return "playback-open-failed";
        case WarningCode::AudioError:
            return "audio-error";
        case WarningCode::ClockFeed:
            return "clock-feed";
        case WarningCode::ReceptionLog:
            return "reception-log";
        case WarningCode::OutputLeftOut:
            return "output-left-out";
    }
    return "unknown";
}

namespace {

// The sentences for the user, with %1, %2 where a figure goes.

constexpr const char* kClipping =
    VELTO_TRANSLATE_NOOP("Warning", "入力が飽和しています。入力レベルを下げてください");
constexpr const char* kSilence =
    VELTO_TRANSLATE_NOOP("Warning", "入力が無音です。接続と録音デバイスを確認してください");
constexpr const char* kDeviceLost =
    VELTO_TRANSLATE_NOOP("Warning", "録音デバイスが失われたため、受信を停止しました");
constexpr const char* kNoUltrasound48 =
    VELTO_TRANSLATE_NOOP("Warning",
                         "24 kHz 以上の成分がありません (サウンドサーバーが 48 kHz)。"
                         "「サウンドカードの設定」で hw: デバイスを選んでください");
constexpr const char* kNoUltrasound96 =
    VELTO_TRANSLATE_NOOP("Warning",
                         "48 kHz 以上の成分がありません (サウンドサーバーが 96 kHz 以下)。"
                         "「サウンドカードの設定」で hw: デバイスを選んでください");
constexpr const char* kSamplesDropped =
    VELTO_TRANSLATE_NOOP("Warning", "%1 ms 分のサンプルが失われました (この受信で計 %2 ms)");
constexpr const char* kStoredDeviceMissing = VELTO_TRANSLATE_NOOP(
    "Warning", "保存されたサウンドカード「%1」が見つかりません。既定のデバイスを使います");
constexpr const char* kOutputLeftOut =
    VELTO_TRANSLATE_NOOP("Warning",
                         "標準出力の読み手が読まないか、標準出力に書けなかったため、%1 "
                         "行を書きませんでした。受信は続いています");
constexpr const char* kReceptionLogInUse = VELTO_TRANSLATE_NOOP(
    "Warning",
    "受信ログのフォルダ %1 にはほかの Velto (プロセス %2) が書いているため、この受信ではログを"
    "書きません");
constexpr const char* kReceptionLogLock = VELTO_TRANSLATE_NOOP(
    "Warning",
    "受信ログの鍵のファイル %1 が使えないため、この受信ではログを書きません。ほかの Velto が"
    "書いていなければ、このファイルを消してください");
constexpr const char* kCaptureOpenFailed =
    VELTO_TRANSLATE_NOOP("Warning", "録音デバイスがオープンできません。");
constexpr const char* kPlaybackOpenFailed =
    VELTO_TRANSLATE_NOOP("Warning", "再生デバイスがオープンできません。");

constexpr std::array kSentences = {
    kClipping,           kSilence,        kDeviceLost,          kNoUltrasound48,
    kNoUltrasound96,     kSamplesDropped, kStoredDeviceMissing, kCaptureOpenFailed,
    kPlaybackOpenFailed, kOutputLeftOut,  kReceptionLogInUse,   kReceptionLogLock};

}  // namespace

std::string FillSentence(std::string_view sentence, const std::vector<std::string>& figures) {
    std::string text;
    for (std::size_t i = 0; i < sentence.size(); ++i) {
        const char c = sentence[i];
        if (c == '%' && i + 1 < sentence.size() && sentence[i + 1] >= '1' &&
            sentence[i + 1] <= '9') {
            const auto n = static_cast<std::size_t>(sentence[i + 1] - '1');
            if (n < figures.size()) {
                text += figures[n];
            }
            ++i;
        } else {
            text += c;
        }
    }
    return text;
}

std::span<const char* const> WarningSentences() { return kSentences; }

std::string WarningText(WarningCode code) {
    switch (code) {
        case WarningCode::NoUltrasound:
            return NoUltrasoundText(kSampleRate);
        case WarningCode::Clipping:
            return kClipping;
        case WarningCode::Silence:
            return kSilence;
        case WarningCode::DeviceLost:
            return kDeviceLost;
        case WarningCode::SamplesDropped:
            return SamplesDroppedText(0, 0);
        case WarningCode::StoredDeviceMissing:
            return StoredDeviceMissingText({});
        case WarningCode::CaptureOpenFailed:
            return kCaptureOpenFailed;
        case WarningCode::PlaybackOpenFailed:
            return kPlaybackOpenFailed;
        default:
            break;  // the others are told with their figures where they happen
    }
    return {};
}

std::string NoUltrasoundText(int rate) {
    return rate > kSampleRate ? kNoUltrasound96 : kNoUltrasound48;
}

std::string SamplesDroppedText(std::int64_t ms, std::int64_t totalMs) {
    return FillSentence(kSamplesDropped, {std::to_string(ms), std::to_string(totalMs)});
}

std::string StoredDeviceMissingText(const std::string& name) {
    return FillSentence(kStoredDeviceMissing, {name});
}

std::string OutputLeftOutText(std::uint64_t lines) {
    return FillSentence(kOutputLeftOut, {std::to_string(lines)});
}

std::string ReceptionLogInUseText(const std::string& directory, std::int64_t pid) {
    return FillSentence(kReceptionLogInUse, {directory, std::to_string(pid)});
}

std::string ReceptionLogLockText(const std::string& path) {
    return FillSentence(kReceptionLogLock, {path});
}

std::optional<WarningCode> WarningOfInput(InputState state) {
    switch (state) {
        case InputState::NoUltrasound:
            return WarningCode::NoUltrasound;
        case InputState::Clipping:
            return WarningCode::Clipping;
        case InputState::Silence:
            return WarningCode::Silence;
        case InputState::Unknown:
        case InputState::Good:
            break;
    }
    return std::nullopt;
}

}  // namespace velto
