#pragma once
// The ids of the messages (texts of the language file) both calibration
// windows show: CalibrationWin and the end-user window.

namespace tovrin::calib::ui::msg {
constexpr int Calibrate = 4;
constexpr int Test = 8;
constexpr int Exit = 11;
constexpr int CommunicateFailed = 14;
constexpr int PulledOut = 61;
constexpr int Initializing = 65;
constexpr int ResetBefore = 66;
constexpr int TouchTheCross = 69;
constexpr int InitFailed = 70;
constexpr int ProcessFailed = 71;
constexpr int Saving = 72;
constexpr int Completed = 107;
constexpr int SixteenPoint = 114;
constexpr int FourPoint = 115;
constexpr int EquipmentAnomalies = 142;
} // namespace tovrin::calib::ui::msg
