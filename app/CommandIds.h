#pragma once

// Command numbers of the frame, as the menu and the keys send them.
inline constexpr int ID_SOUNDCARD = 0x8004;
inline constexpr int ID_RECEIVE_START = 0x8006;
inline constexpr int ID_MONITOR = 0x8008;
inline constexpr int ID_SCOPE = 0x800A;
inline constexpr int ID_TIMECODE = 0x800C;
inline constexpr int ID_RECORD = 0x800E;
inline constexpr int ID_CLOCKFEED = 0x8010;
inline constexpr int ID_SPECTRUM = 0x8012;
inline constexpr int ID_FILE_OPEN = 0xE101;
inline constexpr int ID_APP_ABOUT = 0xE140;
inline constexpr int ID_APP_EXIT = 0xE141;
