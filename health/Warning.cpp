#include "health/Warning.h"

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
        case WarningCode::NotDecoded:
            return "not-decoded";
        case WarningCode::ReceptionLog:
            return "reception-log";
    }
    return "unknown";
}

std::string WarningText(WarningCode code) {
    switch (code) {
        case WarningCode::NoUltrasound:
            return NoUltrasoundText(kSampleRate);
        case WarningCode::Clipping:
            return "入力が飽和しています。入力レベルを下げてください";
        case WarningCode::Silence:
            return "入力が無音です。接続と録音デバイスを確認してください";
        case WarningCode::DeviceLost:
            return "録音デバイスが失われたため、受信を停止しました";
        case WarningCode::SamplesDropped:
            return SamplesDroppedText(0, 0);
        case WarningCode::StoredDeviceMissing:
            return StoredDeviceMissingText({});
        default:
            break;  // the others are told with their figures where they happen
    }
    return {};
}

std::string NoUltrasoundText(int rate) {
    const std::string choose = "「サウンドカードの設定」で hw: デバイスを選んでください";
    if (rate > kSampleRate) {
        return "48 kHz 以上の成分がありません (サウンドサーバーが 96 kHz 以下)。" + choose;
    }
    return "24 kHz 以上の成分がありません (サウンドサーバーが 48 kHz)。" + choose;
}

std::string SamplesDroppedText(std::int64_t ms, std::int64_t totalMs) {
    return std::to_string(ms) + " ms 分のサンプルが失われました (この受信で計 " +
           std::to_string(totalMs) + " ms)";
}

std::string StoredDeviceMissingText(const std::string& name) {
    return "保存されたサウンドカード「" + name + "」が見つかりません。既定のデバイスを使います";
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
