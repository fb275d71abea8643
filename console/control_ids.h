#pragma once
// Control, dialog and icon ids. The views bind widgets to these; the core windows name
// controls only by them.

namespace sc::ids {

// Dialogs (also the ids by which the main window shows and hides its pages).
inline constexpr int kAboutDialog = 100;
inline constexpr int kMainDialog = 102;
inline constexpr int kTimingPage = 129;
inline constexpr int kEdidPage = 132;
inline constexpr int kUtilityPage = 174;
inline constexpr int kAddressDialog = 185;
inline constexpr int kMonitorPage = 187;

// Icons. 133 is both the link-down picture and the unlit input lamp.
inline constexpr int kIconApp = 128;
inline constexpr int kIconLinkDown = 133;
inline constexpr int kIconLampUnlit = 133;
inline constexpr int kIconLinkUp = 134;
inline constexpr int kIconLampLit = 182;

// Main window (dialog 102).
inline constexpr int kTabControl = 1000;
inline constexpr int kLinkIcon = 1007;
inline constexpr int kHdcpText = 1008;
inline constexpr int kSignalText = 1009;
inline constexpr int kTimingText = 1010;
inline constexpr int kColorSpaceText = 1011;
inline constexpr int kColorDepthText = 1012;
inline constexpr int kSampleRateText = 1013;
inline constexpr int kAudioBitText = 1014;
inline constexpr int kAudioTypeText = 1015;
inline constexpr int kChannelsText = 1121;
inline constexpr int kStructureText = 1225;  // 2D/3D
inline constexpr int kHdmiIcon = 1017;
inline constexpr int kSdiIcon = 1018;
inline constexpr int kHdmiLabel = 1178;
inline constexpr int kSdiLabel = 1179;
inline constexpr int kCommList = 1106;
inline constexpr int kSearchButton = 1107;
inline constexpr int kSearchStatus = 1108;
inline constexpr int kHpdOn = 1119;
inline constexpr int kHpdOff = 1120;
inline constexpr int kAddressManagement = 1123;
inline constexpr int kVolumeDown = 1126;
inline constexpr int kVolumeUp = 1127;
inline constexpr int kVolumeBox = 1128;
inline constexpr int kAddressList = 1200;
// Not in the layout: the "Received Signal info" group, greyed while its values are not
// live, and the line over it that says so ("Last received 14:03:22 — link down").
inline constexpr int kSignalPanel = 1310;
inline constexpr int kFreshnessNote = 1311;

// The ten status texts in the order the main window declares them.
inline constexpr int kStatusTexts[10] = {
    kHdcpText,      kSignalText,     kColorSpaceText, kColorDepthText, kAudioBitText,
    kAudioTypeText, kSampleRateText, kTimingText,     kChannelsText,   kStructureText};

// System menu.
inline constexpr unsigned kAboutCommand = 0x0010;

}  // namespace sc::ids
