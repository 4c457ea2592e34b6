#pragma once
// INI files of the tool: Tovrin.ini, Tovrin_Key.ini, DeviceInfo.ini and the
// language file. Settings are read where they are used, each time, with a
// default for every key; nothing is cached.
//
// Group and key names match without regard to case (the tool reads group
// "Imagemode" and writes "ImageMode/ImageMode": the same key). A value that is
// not a number reads as 0. Qt's own INI reader cannot do this on Linux (it is
// case-sensitive there, cannot read or write GBK and drops comments), so the
// small INI model below is ours.

#include "TextCodec.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <vector>

namespace tovrin::shell {

inline const QString kSettingsFile = QStringLiteral("Tovrin.ini");
inline const QString kKeySettingsFile = QStringLiteral("Tovrin_Key.ini");
inline const QString kDeviceInfoFile = QStringLiteral("DeviceInfo.ini");
inline const QString kLanguageFile = QStringLiteral("Tovrin_language.lrp");

// An INI document: groups and keys in file order; lookups ignore case.
class IniFile {
public:
    // Reads a file (a bare name: of the configuration folder); missing or unreadable: empty document.
    static IniFile load(const QString& path, Encoding encoding = Encoding::Auto);
    static IniFile parse(const QString& text);

    // The value of group/key, or nullptr when absent. The pointer lives as
    // long as the document: asking a temporary document is refused at
    // compile time (the value would be freed with it at the end of the
    // statement); use value() or keep the document in a variable.
    const QString* find(const QString& group, const QString& key) const&;
    const QString* find(const QString& group, const QString& key) const&& = delete;
    QString value(const QString& group, const QString& key, const QString& fallback = QString()) const;

    // Sets a value, keeping the place of an existing key; a new key goes to
    // the end of its group, a new group to the end of the document.
    void setValue(const QString& group, const QString& key, const QString& value);

    // The document as INI text, groups separated by a blank line.
    QString toText() const;

    bool isEmpty() const { return m_groups.empty(); }
    // Group names and the keys of a group, in file order.
    QStringList groupNames() const;
    QStringList keys(const QString& group) const;

private:
    struct Entry {
        QString key;
        QString value;
    };
    struct Group {
        QString name;
        std::vector<Entry> entries;
        QHash<QString, size_t> index;  // case-folded key -> entry
    };
    Group* findGroup(const QString& name);
    const Group* findGroup(const QString& name) const;
    Group& group(const QString& name);  // found or appended
    static void set(Group& group, const QString& key, const QString& value);

    // Lookups go through the indexes, so that reading a file of many keys
    // stays linear in its size.
    std::vector<Group> m_groups;
    QHash<QString, size_t> m_groupIndex;  // case-folded name -> group
};

// Splits "Group/key" into its two parts (a key without a group is in "General").
void splitKey(const QString& groupSlashKey, QString& group, QString& key);

// Typed reads of one key from a file (Tovrin.ini unless told otherwise).
int readInt(const QString& groupSlashKey, int fallback, const QString& file = kSettingsFile);
QString readText(const QString& groupSlashKey, const QString& fallback, const QString& file = kSettingsFile);
// Hexadecimal text with or without "0x"; not a number reads 0.
unsigned readHex(const QString& groupSlashKey, const QString& fallback, const QString& file = kSettingsFile);

// Conversions used by the reads above.
int toIntOrZero(const QString& text);
unsigned hexToUintOrZero(const QString& text);

// The keys of Tovrin.ini with their defaults.
struct IntSetting {
    const char* key;
    int fallback;
    int read(const QString& file = kSettingsFile) const { return readInt(QString::fromLatin1(key), fallback, file); }
};
struct HexSetting {
    const char* key;
    const char* fallback;
    unsigned read(const QString& file = kSettingsFile) const
    {
        return readHex(QString::fromLatin1(key), QString::fromLatin1(fallback), file);
    }
};

namespace settings {
inline constexpr IntSetting ChooseToolEnable{"Tovrin_Config/ChooseToolEnable", 1};
inline constexpr IntSetting Language{"Tovrin_Config/Language", 0};
inline constexpr IntSetting LineNum{"Tovrin_Config/LineNum", 5};
inline constexpr IntSetting CalibTime{"Tovrin_Config/CalibTime", 40};
inline constexpr IntSetting FiveCalibration_en{"Tovrin_Config/FiveCalibration_en", 0};
inline constexpr IntSetting CalibWay{"Tovrin_Config/CalibWay", 1};
inline constexpr IntSetting FourCalib_en{"Tovrin_Config/FourCalib_en", 0};
inline constexpr IntSetting InfraredExpGainM{"Tovrin_Config/InfraredExpGainM", 24};
inline constexpr IntSetting InfraredExpTimeM{"Tovrin_Config/InfraredExpTimeM", 255};
inline constexpr IntSetting InfraredExpGainS{"Tovrin_Config/InfraredExpGainS", 24};
inline constexpr IntSetting InfraredExpTimeS{"Tovrin_Config/InfraredExpTimeS", 255};
inline constexpr IntSetting XPRightClickMode{"Tovrin_Config/XPRightClickMode", 0};
inline constexpr IntSetting TouchRightClickDistThres{"Tovrin_Config/TouchRightClickDistThres", 10};
inline constexpr IntSetting TouchRightClickTimeThres{"Tovrin_Config/TouchRightClickTimeThres", 240};
inline constexpr IntSetting Compress_en{"Tovrin_Config/Compress_en", 1};
inline constexpr IntSetting PreviewOnly_en{"Tovrin_Config/PreviewOnly_en", 1};
inline constexpr IntSetting TouchButtonEnable{"Tovrin_Config/TouchButtonEnable", 0};
inline constexpr IntSetting TestSensor{"Tovrin_Config/TestSensor", 0};
inline constexpr IntSetting ExpValue{"Tovrin_Config/ExpValue", 18};
inline constexpr IntSetting AdjustDebug{"Tovrin_Debug/AdjustDebug", 0};
inline constexpr IntSetting WriteDeviceInfo{"Tovrin_Debug/WriteDeviceInfo", 0};
inline constexpr IntSetting GetImageData{"Tovrin_Debug/GetImageData", 0};
inline constexpr IntSetting Screen_Direction{"Tovrin_ScreenInfo/Screen_Direction", 0};
inline constexpr IntSetting Vertical_Mode{"Tovrin_ScreenInfo/Vertical_Mode", 0};
inline constexpr IntSetting Screen_Size{"Tovrin_ScreenInfo/Screen_Size", 3};
inline constexpr IntSetting OperationMode{"OperationMode/OperationMode", 0};
inline constexpr IntSetting ImageMode{"ImageMode/ImageMode", 1};
inline constexpr IntSetting Smoothness{"Smoothness/smoothness", 1};
inline constexpr IntSetting TouchType{"os_check/TouchType", 0};
inline constexpr IntSetting AutoCheck{"os_check/AutoCheck", 0};
inline constexpr IntSetting Shortcuts_en{"Shortcut_keys/Shortcuts_en", 0};
inline constexpr HexSetting expValue{"TEST_PARA/expValue", "0xc0"};
inline constexpr HexSetting pointValueBegin{"TEST_PARA/pointValueBegin", "0x08"};
inline constexpr HexSetting pointValueEnd{"TEST_PARA/pointValueEnd", "0x1e"};
inline constexpr HexSetting vsyncDiff{"TEST_PARA/vsyncDiff", "0x02"};
inline constexpr IntSetting autoUpdateBk{"TEST_PARA/autoUpdateBk", 1};
inline constexpr IntSetting autoImageEval{"TEST_PARA/autoImageEval", 1};
inline constexpr IntSetting autoStartLine{"TEST_PARA/autoStartLine", 1};
// ImagePath/imagePath is text: readText("ImagePath/imagePath", QString()).
// Key groups Top_Key, Left_Key, Bottom_Key, Right_Key: GroupCnt, Group1_Num,
// Group2_Num, Group3_Num, all int with default 0.
int readKeyGroupSetting(const QString& edgeGroup, const QString& key);

// CalibTime as the number of held frames a calibration point needs (40-120).
int waitFrameCount();
} // namespace settings

} // namespace tovrin::shell
