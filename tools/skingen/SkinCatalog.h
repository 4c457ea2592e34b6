#pragma once
// Every picture the windows load by name, relative to a skin folder
// ("./skin/1024/", "./skin/1440/", "./skin/1920/"). The generator draws each
// of them for each screen class; the widget tests check that each exists and
// is not blank. A window that starts loading a new picture adds it here.

#include <array>
#include <string_view>

namespace tovrin::skingen {

inline constexpr std::array<int, 3> kSkinClasses{1024, 1440, 1920};

// Main-window buttons: base name + "" (normal), "1" (focus), "2" (pressed),
// "3" (disabled), each + ".png".
inline constexpr auto kTileBases = std::to_array<std::string_view>({
    "about", "update", "keyCalibration", "MP1_set", "MP_adjustScreen",
    "User_set", "User1_calibration", "User2_calibration",
});

inline constexpr auto kSkinPictures = std::to_array<std::string_view>({
    // Top folder: icon, main-window background and decorations.
    "Tovrin.png", "back_pixmap.png", "1.png", "d.png", "set.png", "messageBox.png",
    "min1.png", "min2.png", "quit1.png", "quit2.png",
    // Main-window buttons (four looks each).
    "about.png", "about1.png", "about2.png", "about3.png",
    "update.png", "update1.png", "update2.png", "update3.png",
    "keyCalibration.png", "keyCalibration1.png", "keyCalibration2.png", "keyCalibration3.png",
    "MP1_set.png", "MP1_set1.png", "MP1_set2.png", "MP1_set3.png",
    "MP_adjustScreen.png", "MP_adjustScreen1.png", "MP_adjustScreen2.png", "MP_adjustScreen3.png",
    "User_set.png", "User_set1.png", "User_set2.png", "User_set3.png",
    "User1_calibration.png", "User1_calibration1.png", "User1_calibration2.png", "User1_calibration3.png",
    "User2_calibration.png", "User2_calibration1.png", "User2_calibration2.png", "User2_calibration3.png",
    // Push buttons and the step buttons beside the sliders.
    "button_Normal.png", "button_Press.png", "button_Enabled.png", "button_Focus.png",
    "button_Normal2.png", "button_Press2.png", "button_Focus2.png",
    "add_Normal.png", "add_Press.png", "add_Enabled.png", "add_Focus.png",
    "minus_Normal.png", "minus_Press.png", "minus_Enabled.png", "minus_Focus.png",
    // Calibration marks: captured point, idle target animation, hold progress.
    "calibration.png",
    "calibration1-1.png", "calibration1-2.png", "calibration1-3.png", "calibration1-4.png", "calibration1-5.png",
    "calibration2-1.png", "calibration2-2.png", "calibration2-3.png", "calibration2-4.png",
    // Message box: background, its quit button and answer buttons.
    "messageBox/messageBox.png", "messageBox/quit1.png", "messageBox/quit2.png",
    "messageBox/button_Normal.png", "messageBox/button_Press.png",
    "messageBox/button_Enabled.png", "messageBox/button_Focus.png",
    // Settings window.
    "set/set.png", "set/min1.png", "set/min2.png", "set/quit1.png", "set/quit2.png",
    "set/button_Normal.png", "set/button_Press.png", "set/button_Enabled.png", "set/button_Focus.png",
    "set/button_Normal2.png", "set/button_Press2.png", "set/button_Focus2.png",
    // Shortcut-key calibration window.
    "keyCalibration/min1.png", "keyCalibration/min2.png", "keyCalibration/quit1.png", "keyCalibration/quit2.png",
    "keyCalibration/button_Normal.png", "keyCalibration/button_Press.png",
    "keyCalibration/button_Enabled.png", "keyCalibration/button_Focus.png",
    "keyCalibration/calibration.png",
    // Touch calibration window (also used by the end-user main window).
    "calibration/calibration.png",
    "calibration/calibration1-1.png", "calibration/calibration1-2.png", "calibration/calibration1-3.png",
    "calibration/calibration1-4.png", "calibration/calibration1-5.png",
    "calibration/calibration2-1.png", "calibration/calibration2-2.png",
    "calibration/calibration2-3.png", "calibration/calibration2-4.png",
    "calibration/button_Normal.png", "calibration/button_Press.png",
    "calibration/button_Enabled.png", "calibration/button_Focus.png",
    "calibration/min1.png", "calibration/min2.png", "calibration/quit1.png", "calibration/quit2.png",
});

} // namespace tovrin::skingen
